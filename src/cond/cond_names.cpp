#include "cond/cond_names.h"

#include <cstring>
#include <string>

#include "cond/cond_eval.h"
#include "cond/cond_lex.h"
#include "cond/cond_line.h"
#include "cond/cond_match.h"
#include "cond/cond_options.h"
#include "support/sj_string.h"

namespace cond {

namespace {

name_sink sink;         // names_scan: where the names go
void *sink_ctx;         // and the context handed along
std::string long_line;  // read_line: a line longer than the line buffer, whole: a blank, its
                        // text and a NUL, as a line stands in buff; kept for its capacity
int extra_pieces;       // read_line: line_no counts each piece of a long line; these are extra
bool in_condition;      // the last line was a conditional continued on the next one
bool line_comment_on;   // a line comment carried on by a backslash

bool is_name_start(unsigned char c) { return support::is_letter(c) || c == '_'; }
bool is_name_char(unsigned char c) { return support::is_ident_char(c); }

bool word_is(const char *s, std::size_t len, const char *word)
{
    return std::strlen(word) == len && std::memcmp(s, word, len) == 0;
}

// The encoding prefixes a character or string literal may carry: L'x' is no name L.
bool is_literal_prefix(const char *s, std::size_t len)
{
    for (const char *p : {"L", "u", "U", "u8", "R", "LR", "uR", "UR", "u8R"}) {
        if (word_is(s, len, p)) {
            return true;
        }
    }
    return false;
}

// Past a preprocessing number (10UL, 0x1Fu, 1.5e+3, 1'000) starting at q.
char *skip_number(char *q)
{
    ++q;
    for (;;) {
        const unsigned char c = static_cast<unsigned char>(*q);
        if (is_name_char(c) || c == '.') {
            ++q;
        } else if ((c == '+' || c == '-') && std::strchr("eEpP", q[-1]) != nullptr) {
            ++q;
        } else if (c == '\'' && is_name_char(static_cast<unsigned char>(q[1]))) {
            ++q;
        } else {
            return q;
        }
    }
}

// Past the parenthesised operand of __has_include at q (blanks first), header name and all; at
// the end of the line when it is not closed there.
char *skip_operand(char *q)
{
    q = support::sp_skip(q);
    if (*q != '(') {
        return q;
    }
    int depth = 0;
    while (*q != '\n' && *q != '\0') {
        if (*q == '(') {
            ++depth;
        } else if (*q == ')' && --depth == 0) {
            return q + 1;
        }
        q = step_char(q);
    }
    return q;
}

// Walks the text of a conditional from q to the end of its line, reporting each name that stands
// outside comments and literals. Comments and literals are tracked whatever -T says, as the
// evaluator steps over them in an operand.
void walk_condition(char *q, int line)
{
    for (;;) {
        const unsigned char c = static_cast<unsigned char>(*q);
        if (c == '\n' || c == '\0' || comment2_f) {
            return;
        }
        if (char *r = lex_skip_tracked(q)) {
            q = r;
            continue;
        }
        if (comment_f || string_f) {
            q = step_char(q);
            continue;
        }
        if (is_name_start(c)) {
            char *s = q;
            while (is_name_char(static_cast<unsigned char>(*q))) {
                ++q;
            }
            const std::size_t len = static_cast<std::size_t>(q - s);
            if (is_literal_prefix(s, len) && (*q == '\'' || *q == '"')) {
                continue;
            }
            if (word_is(s, len, "defined")) {
                continue;
            }
            if (word_is(s, len, "__has_include") || word_is(s, len, "__has_include_next")) {
                q = skip_operand(q);
                continue;
            }
            sink(NAME_TESTED, s, len, line, sink_ctx);
            continue;
        }
        if (support::is_digit(c) ||
            (c == '.' && support::is_digit(static_cast<unsigned char>(q[1])))) {
            q = skip_number(q);
            continue;
        }
        // A Shift_JIS pair is one character: its second byte never starts a name.
        q = step_char(q);
    }
}

// The name of the #define or #undef directive at p ('#'), if it is one.
void record_define(const char *p, int line)
{
    if (!is_define(p)) {
        return;
    }
    const char *q = support::sp_skip(p + 1);
    while (is_name_char(static_cast<unsigned char>(*q))) {
        ++q;
    }
    q = support::sp_skip(q);
    const char *name = q;
    if (!is_name_start(static_cast<unsigned char>(*q))) {
        return;
    }
    while (is_name_char(static_cast<unsigned char>(*q))) {
        ++q;
    }
    sink(NAME_DEFINED, name, static_cast<std::size_t>(q - name), line, sink_ctx);
}

// One physical line, as read_line found it.
struct Line {
    char *text;      // its first byte; a blank before it, a NUL behind its end
    bool in_buff;    // it stands in buff (lex_line reads it there)
    bool backslash;  // its text (without a CR before the newline) ends in a backslash
};

// Reads the next physical line: into buff, or into long_line when the line buffer cuts it.
// Returns false at the end of the input.
bool read_line(Line *ln)
{
    if (!line_read()) {
        return false;
    }
    char *text = buff + 1;
    std::size_t len = static_cast<std::size_t>(line_len);
    bool newline = text[len - 1] == '\n';
    ln->in_buff = true;
    if (!newline && len >= static_cast<std::size_t>(LINE_READ)) {
        long_line.assign(1, ' ');
        long_line.append(text, len);
        while (!newline && line_read()) {
            ++extra_pieces;
            len = static_cast<std::size_t>(line_len);
            long_line.append(buff + 1, len);
            newline = buff[len] == '\n';
        }
        len = long_line.size() - 1;
        // A CR before the newline is no part of the line, also when the cut fell between them.
        if (newline && len >= 2 && long_line[len - 1] == '\r') {
            long_line.erase(len - 1, 1);
            --len;
        }
        long_line.push_back('\0');
        text = &long_line[1];
        ln->in_buff = false;
    }
    ln->text = text;
    const std::size_t text_len = newline ? len - 1 : len;
    ln->backslash = text_len > 0 && text[text_len - 1] == '\\';
    return true;
}

// One line, in the state the lines before it left.
void take_line(const Line &ln)
{
    const int line = line_no - extra_pieces;
    if (!in_condition && line_comment_on) {
        // The whole line belongs to the comment; so may the next one.
        line_comment_on = ln.backslash;
        return;
    }
    comment2_f = line_comment_on ? 1 : 0;
    line_comment_on = false;
    if (in_condition) {
        walk_condition(ln.text, line);
    } else {
        // The position of a '#' reached with nothing open, the rest of the line not yet walked.
        char *p;
        int kind;
        if (ln.in_buff) {
            p = lex_line();
            kind = line_kind;
        } else {
            char *dir = support::sp_skip(ln.text);
            p = lex_walk(ln.text, dir);
            if (p != nullptr && *p != '#') {
                lex_walk(step_char(p), p);
                p = nullptr;
            }
            kind = p != nullptr ? directive_kind(p) : -1;
        }
        if (p == nullptr) {
            line_comment_on = comment2_f && ln.backslash;
            return;
        }
        if (kind != DIR_IF && kind != DIR_IFDEF && kind != DIR_IFNDEF && kind != DIR_ELIF) {
            record_define(p, line);
            if (ln.in_buff) {
                lex_finish(p);
            } else {
                lex_walk(step_char(p), p);
            }
            line_comment_on = comment2_f && ln.backslash;
            return;
        }
        // The filter never walks a conditional's line; the names behind its keyword are read.
        char *q = support::sp_skip(p + 1);
        while (is_name_char(static_cast<unsigned char>(*q))) {
            ++q;
        }
        sink(NAME_CONDITION, nullptr, 0, line, sink_ctx);
        walk_condition(q, line);
    }
    // A conditional goes on past a backslash at the end of its line, and through a comment still
    // open there, as in the C preprocessor.
    if (ln.backslash || comment_f) {
        in_condition = true;
        line_comment_on = ln.backslash && comment2_f;
        return;
    }
    in_condition = false;
    lex_reset();
}

}  // namespace

int names_scan(const char *file, name_sink to, void *ctx)
{
    sink = to;
    sink_ctx = ctx;
    extra_pieces = 0;
    in_condition = false;
    line_comment_on = false;
    if (line_try_open(file) < 0) {
        return -1;
    }
    lex_reset();
    Line ln;
    for (;;) {
        if (!in_condition && !line_comment_on) {
            // Runs of lines that hold nothing to report are passed over in the read block; the
            // skim writes nothing when told to keep what -v drops.
            lex_skim(opt_v, true);
        }
        if (!read_line(&ln)) {
            break;
        }
        take_line(ln);
    }
    lex_reset();
    return 0;
}

int name_value(const char *name, std::size_t len)
{
    int value = COND_UNKNOWN;
    if (len <= static_cast<std::size_t>(NAME_MAX_LEN)) {
        char text[NAME_MAX_LEN + 1];
        std::memcpy(text, name, len);
        text[len] = '\0';
        eval_name(text, &value);
        return value;
    }
    const std::string text(name, len);
    for (int i = 0; i < list_count; ++i) {
        if (match(list_name[i], text.c_str())) {
            return list_value[i];
        }
    }
    return (list_mode & LIST_MODE_UNDEF) ? COND_FALSE : COND_UNKNOWN;
}

void names_reset()
{
    sink = nullptr;
    sink_ctx = nullptr;
    long_line.clear();
    long_line.shrink_to_fit();
    extra_pieces = 0;
    in_condition = false;
    line_comment_on = false;
}

}  // namespace cond
