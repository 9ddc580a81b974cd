#include "tree/tree_symbols.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "cli/cli_run.h"
#include "cond/cond_block.h"
#include "cond/cond_eval.h"
#include "cond/cond_lex.h"
#include "cond/cond_line.h"
#include "cond/cond_match.h"
#include "cond/cond_options.h"
#include "support/sj_string.h"
#include "tree/tree_args.h"
#include "tree/tree_fs.h"
#include "tree/tree_report.h"

namespace tree {

namespace {

// The filter's lexer keeps its state (comment_f, comment2_f, string_f) in module-level flags, so
// one file at a time is lexed; reading the files and everything else runs in parallel.
std::mutex lex_lock;

std::vector<std::string> option_text;  // symbols_setup: the velkrun options; the table points in
std::vector<char *> option_argv;       // symbols_setup: argv over option_text

struct tally {
    int files = 0;  // files whose conditionals test the name
    int lines = 0;  // conditional directives that test it
};
// symbols_add: the names of every file added, kept whole so that the tallies' keys can point into
// them; each file's #define and #undef names beside, counted for the tested names at the end.
std::deque<sym_file> kept;
std::unordered_map<std::string_view, tally> tallies;  // symbols_add: every tested name

bool is_ident_start(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_ident(unsigned char c) { return is_ident_start(c) || is_digit(c); }

bool word_is(const char *s, std::size_t len, const char *word)
{
    return std::strlen(word) == len && std::memcmp(s, word, len) == 0;
}

// The encoding prefixes a character or string literal may carry: L'x' is no name L.
bool is_literal_prefix(const char *s, std::size_t len)
{
    for (const char *p : {"L", "u", "U", "u8", "R", "LR", "uR", "UR", "u8R"})
        if (word_is(s, len, p)) {
            return true;
        }
    return false;
}

// Past a preprocessing number (10UL, 0x1Fu, 1.5e+3, 1'000) starting at q.
char *skip_number(char *q)
{
    ++q;
    for (;;) {
        const unsigned char c = static_cast<unsigned char>(*q);
        if (is_ident(c) || c == '.') {
            ++q;
        } else if ((c == '+' || c == '-') && std::strchr("eEpP", q[-1]) != nullptr) {
            ++q;
        } else if (c == '\'' && is_ident(static_cast<unsigned char>(q[1]))) {
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
    while (*q == ' ' || *q == '\t') {
        ++q;
    }
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
        q = cond::step_char(q);
    }
    return q;
}

// Appends the len bytes at s to out.text.
sym_name keep_name(sym_file &out, const char *s, std::size_t len)
{
    const sym_name n{static_cast<unsigned>(out.text.size()), static_cast<unsigned>(len)};
    out.text.append(s, len);
    return n;
}

// Records name for the directive whose names begin at uses[first], once per directive.
void add_use(sym_file &out, std::size_t first, const char *s, std::size_t len, int line_no)
{
    for (std::size_t i = first; i < out.uses.size(); ++i) {
        const sym_name &n = out.uses[i].name;
        if (n.length == len && std::memcmp(out.text.data() + n.offset, s, len) == 0) {
            return;
        }
    }
    out.uses.push_back(sym_use{keep_name(out, s, len), line_no});
}

// Walks the text of a conditional from q to the end of its physical line through the filter's
// lexer, recording each name that stands outside comments and literals. The condition evaluator
// steps over comments under -T as well, so the walk tracks them whatever -T says.
void walk_condition(char *q, int line_no, sym_file &out, std::size_t first)
{
    const int saved_T = cond::opt_T;
    cond::opt_T = 0;
    for (;;) {
        const unsigned char c = static_cast<unsigned char>(*q);
        if (c == '\n' || c == '\0' || cond::comment2_f) {
            break;
        }
        if (char *r = cond::lex_skip(q)) {
            q = r;
            continue;
        }
        if (cond::comment_f || cond::string_f) {
            q = cond::step_char(q);
            continue;
        }
        if (is_ident_start(c)) {
            char *s = q;
            while (is_ident(static_cast<unsigned char>(*q))) {
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
            add_use(out, first, s, len, line_no);
            continue;
        }
        if (is_digit(c) || (c == '.' && is_digit(static_cast<unsigned char>(q[1])))) {
            q = skip_number(q);
            continue;
        }
        // A Shift_JIS pair is one character: its second byte never starts a name.
        q = cond::step_char(q);
    }
    cond::opt_T = saved_T;
}

// The name of a #define or #undef directive at p ('#'), if it is one.
void record_define(const char *p, sym_file &out)
{
    const char *q = support::sp_skip(p + 1);
    const char *word = q;
    while (is_ident(static_cast<unsigned char>(*q))) {
        ++q;
    }
    const std::size_t wlen = static_cast<std::size_t>(q - word);
    if (!word_is(word, wlen, "define") && !word_is(word, wlen, "undef")) {
        return;
    }
    q = support::sp_skip(q);
    const char *name = q;
    if (!is_ident_start(static_cast<unsigned char>(*q))) {
        return;
    }
    while (is_ident(static_cast<unsigned char>(*q))) {
        ++q;
    }
    out.defines.push_back(keep_name(out, name, static_cast<std::size_t>(q - name)));
}

// One physical line of a file that the lexer must see, as the first pass over it finds it.
struct line_info {
    int line_no;           // from 1
    std::size_t start;     // first byte
    std::size_t text_end;  // end of its text: before a CR LF or LF, or the end of the file
    bool newline;          // ends in a newline
    bool plain;            // holds no '/' and no quote: walking it opens and closes nothing
    bool hash;             // its first byte that is no blank or tab is '#'
    bool backslash;        // its text ends in a backslash
};

// The whole line that begins at start (line number line_no), classified.
line_info take_line(const char *d, std::size_t n, std::size_t start, int line_no)
{
    line_info li{line_no, start, n, false, true, false, false};
    const char *nl = static_cast<const char *>(std::memchr(d + start, '\n', n - start));
    if (nl) {
        li.newline = true;
        li.text_end = static_cast<std::size_t>(nl - d);
        if (li.text_end > start && d[li.text_end - 1] == '\r') {
            --li.text_end;
        }
    }
    std::size_t q = start;
    while (q < li.text_end && (d[q] == ' ' || d[q] == '\t')) {
        ++q;
    }
    li.hash = q < li.text_end && d[q] == '#';
    for (; q < li.text_end; ++q) {
        const char c = d[q];
        if (c == '/' || c == '"' || c == '\'') {
            li.plain = false;
            break;
        }
    }
    li.backslash = li.text_end > start && d[li.text_end - 1] == '\\';
    return li;
}

// First pass, without the lexer: the lines the lexer must see. A line that holds none of '/',
// quotes, '#' and backslashes is plain, holds no directive and continues nothing: it changes no
// state and is passed over with nothing but its newline counted. The bytes are tested eight at a
// time with the line reader's word tests; only the lines holding one of those bytes, and each
// line behind a backslash (it may continue a conditional or a line comment), are looked at.
void find_lines(const char *d, std::size_t n, std::vector<line_info> &lines)
{
    const bool words = cond::word_low_first();
    const std::uint64_t nl_word = cond::WORD_ONES * '\n';
    std::size_t pos = 0;         // scanned up to here
    std::size_t line_start = 0;  // the line holding pos begins here
    int line_no = 1;             // and has this number
    while (pos < n) {
        // The next byte that matters, counting the newlines passed on the way.
        std::size_t hit = n;
        if (words) {
            while (n - pos >= 8) {
                std::uint64_t w;
                std::memcpy(&w, d + pos, sizeof w);
                const std::uint64_t m = cond::word_has_byte(w, '/') | cond::word_has_byte(w, '"') |
                                        cond::word_has_byte(w, '\'') | cond::word_has_byte(w, '#') |
                                        cond::word_has_byte(w, '\\');
                if (m != 0) {
                    break;
                }
                const std::uint64_t nls = ~cond::word_nonzero(w ^ nl_word) & cond::WORD_HIGHS;
                if (nls != 0) {
                    std::uint64_t k = nls;
                    int count = 0;
                    std::size_t last = 0;
                    while (k != 0) {
                        last = cond::word_first(k);
                        k &= k - 1;
                        ++count;
                    }
                    line_no += count;
                    line_start = pos + last + 1;
                }
                pos += 8;
            }
        }
        for (; pos < n; ++pos) {
            const char c = d[pos];
            if (c == '/' || c == '"' || c == '\'' || c == '#' || c == '\\') {
                hit = pos;
                break;
            }
            if (c == '\n') {
                ++line_no;
                line_start = pos + 1;
            }
            if (words && n - pos >= 8 && ((pos + 1) & 7) == 0) {
                ++pos;
                break;  // back to whole words
            }
        }
        if (hit == n) {
            continue;
        }
        // The line holding the hit, and each line continued by a backslash behind it.
        bool after_backslash = false;
        for (;;) {
            const line_info li = take_line(d, n, line_start, line_no);
            if (!li.plain || li.hash || li.backslash || after_backslash) {
                lines.push_back(li);
            }
            after_backslash = li.backslash;
            if (!li.newline) {
                pos = n;
                break;
            }
            line_start = li.text_end + 1;
            while (d[line_start - 1] != '\n') {
                ++line_start;
            }
            ++line_no;
            pos = line_start;
            if (!after_backslash || pos >= n) {
                break;
            }
        }
    }
}

// Second pass, through the filter's lexer, line by line as the filter reads them: a CR before the
// newline is no part of the line, the line sits behind a blank and ends in a NUL. Lines the
// lexer has no use for (plain, no directive) are passed over.
void scan_text(const char *data, const std::vector<line_info> &lines, sym_file &out)
{
    thread_local std::vector<char> lb;
    std::lock_guard<std::mutex> g(lex_lock);
    cond::lex_reset();
    bool in_condition = false;     // the last line was a conditional continued on this one
    bool line_comment_on = false;  // a line comment continued by a backslash
    std::size_t first = 0;         // out.uses index of the current conditional's first name
    for (const line_info &li : lines) {
        const int line_no = li.line_no;
        if (!in_condition) {
            if (line_comment_on) {
                // The whole line belongs to the comment; so may the next one.
                line_comment_on = li.backslash;
                continue;
            }
            if (li.plain && !(li.hash && !cond::comment_f && !cond::string_f)) {
                continue;
            }
        }
        lb.assign(1, ' ');
        lb.insert(lb.end(), data + li.start, data + li.text_end);
        if (li.newline) {
            lb.push_back('\n');
        }
        lb.push_back('\0');
        char *const line = lb.data() + 1;
        cond::comment2_f = line_comment_on ? 1 : 0;
        line_comment_on = false;

        if (!in_condition) {
            char *dir = line;
            while (*dir == ' ' || *dir == '\t') {
                ++dir;
            }
            char *p = cond::lex_walk(line, dir);
            if (p == nullptr) {
                line_comment_on = cond::comment2_f && li.backslash;
                continue;
            }
            if (*p != '#' || (cond::open_kind(p) < 0 && !cond::is_elif(p))) {
                if (*p == '#') {
                    record_define(p, out);
                }
                cond::lex_walk(cond::step_char(p), p);
                line_comment_on = cond::comment2_f && li.backslash;
                continue;
            }
            // The filter never walks a conditional's line; the names behind its keyword are read.
            char *q = support::sp_skip(p + 1);
            while (is_ident(static_cast<unsigned char>(*q))) {
                ++q;
            }
            first = out.uses.size();
            walk_condition(q, line_no, out, first);
        } else {
            walk_condition(line, line_no, out, first);
        }
        // A conditional goes on past a backslash at the end of its line, and through a comment
        // still open there, as in the C preprocessor.
        if (li.backslash || cond::comment_f) {
            in_condition = true;
            line_comment_on = li.backslash && cond::comment2_f;
            continue;
        }
        in_condition = false;
        cond::lex_reset();
    }
    cond::lex_reset();
}

const char *settled_word(int value)
{
    return value == cond::COND_TRUE ? "defined" : value == cond::COND_FALSE ? "undefined" : "open";
}

// What the pattern table makes of name, decided as the filter decides it for a condition.
int settle(const std::string &name)
{
    int value = cond::COND_UNKNOWN;
    if (name.size() <= static_cast<std::size_t>(cond::NAME_MAX_LEN)) {
        std::vector<char> buf(name.begin(), name.end());
        buf.push_back('\0');
        cond::eval_name(buf.data(), &value);
        return value;
    }
    // Longer names make the filter refuse the line; the table still says what it would match.
    value = (cond::list_mode & cond::LIST_MODE_UNDEF) ? cond::COND_FALSE : cond::COND_UNKNOWN;
    for (int i = 0; i < cond::list_count; ++i)
        if (cond::match(cond::list_name[i], name.c_str())) {
            return cond::list_value[i];
        }
    return value;
}

}  // namespace

int symbols_setup()
{
    cond::cond_reset();
    option_text.assign(1, "velkrun");
    option_text.insert(option_text.end(), vopts.begin(), vopts.end());
    option_text.push_back("file");
    option_argv.clear();
    for (std::string &s : option_text) {
        option_argv.push_back(&s[0]);
    }
    option_argv.push_back(nullptr);
    const int argc = static_cast<int>(option_text.size());
    if (cli::set_option(argc, option_argv.data()) != argc - 1) {
        report_note("velkrun refused the options");
        return 2;
    }
    return 0;
}

bool symbols_scan(const std::string &file, sym_file &out, std::string &err)
{
    // Each thread keeps its buffers from file to file: no allocation, no fresh pages per file.
    thread_local std::string data;
    thread_local std::vector<line_info> lines;
    std::size_t size = 0;
    if (!fs_read_all(file, data, &size, err)) {
        err = "cannot read the file: " + err;
        return false;
    }
    lines.clear();
    find_lines(data.data(), size, lines);
    scan_text(data.data(), lines, out);
    return true;
}

std::string symbols_add(const std::string &file, sym_file &scan, bool locate)
{
    kept.push_back(std::move(scan));
    const sym_file &f = kept.back();
    const auto view = [&f](const sym_name &n) {
        return std::string_view(f.text.data() + n.offset, n.length);
    };
    std::string text;
    std::vector<std::string_view> seen;
    for (const sym_use &u : f.uses) {
        const std::string_view name = view(u.name);
        ++tallies[name].lines;
        seen.push_back(name);
        if (locate) {
            text += file;
            text += ':';
            text += std::to_string(u.line);
            text += ": ";
            text += name;
            text += '\n';
        }
    }
    std::sort(seen.begin(), seen.end());
    for (std::size_t i = 0; i < seen.size(); ++i)
        if (i == 0 || seen[i] != seen[i - 1]) {
            ++tallies[seen[i]].files;
        }
    return text;
}

std::string symbols_table(int *names, int *open)
{
    std::unordered_map<std::string_view, int> define_counts;
    for (const sym_file &f : kept)
        for (const sym_name &d : f.defines) {
            const std::string_view name(f.text.data() + d.offset, d.length);
            if (tallies.find(name) != tallies.end()) {
                ++define_counts[name];
            }
        }
    std::vector<std::pair<std::string_view, const tally *>> rows;
    rows.reserve(tallies.size());
    for (const auto &e : tallies) {
        rows.emplace_back(e.first, &e.second);
    }
    std::sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) {
        return a.second->files != b.second->files ? a.second->files > b.second->files
                                                  : a.first < b.first;
    });
    std::string text;
    *names = static_cast<int>(rows.size());
    *open = 0;
    for (const auto &r : rows) {
        const int value = settle(std::string(r.first));
        if (value == cond::COND_UNKNOWN) {
            ++*open;
        }
        const auto d = define_counts.find(r.first);
        text += r.first;
        text += "\t" + std::to_string(r.second->files) + "\t" + std::to_string(r.second->lines) +
                "\t" + std::to_string(d == define_counts.end() ? 0 : d->second) + "\t" +
                settled_word(value) + "\n";
    }
    return text;
}

int symbols_count() { return static_cast<int>(tallies.size()); }

void symbols_reset()
{
    tallies.clear();
    kept.clear();
    option_text.clear();
    option_argv.clear();
}

}  // namespace tree
