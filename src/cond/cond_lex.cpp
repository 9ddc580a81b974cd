#include "cond/cond_lex.h"

#include <cstdint>
#include <cstring>

#include "cond/cond_eval.h"
#include "cond/cond_line.h"
#include "cond/cond_options.h"
#include "cond/cond_output.h"
#include "cond/cond_skim.h"
#include "support/sj_string.h"

namespace cond {

int comment_f;
int comment2_f;
int string_f;
int line_kind = -1;

char *lex_skip(char *p) { return opt_T ? nullptr : lex_skip_tracked(p); }

char *lex_skip_tracked(char *p)
{
    if (string_f && *p == '\\') {
        // A backslash that ends the text escapes nothing: the walk stops at the string end.
        return p[1] == '\0' ? p + 1 : p + 2;
    }
    if (comment_f) {
        if (p[0] == '*' && p[1] == '/') {
            comment_f = 0;
            return p + 2;
        }
        return nullptr;
    }
    if (string_f) {
        if (static_cast<unsigned char>(*p) == string_f) {
            string_f = 0;
            return p + 1;
        }
        return nullptr;
    }
    if (comment2_f) {
        return p + 1;
    }
    if (p[0] == '/' && p[1] == '/') {
        comment2_f = 1;
        return p + 2;
    }
    if (p[0] == '/' && p[1] == '*') {
        comment_f = 1;
        return p + 2;
    }
    if (*p == '"' || *p == '\'') {
        string_f = static_cast<unsigned char>(*p);
        return p + 1;
    }
    return nullptr;
}

char *step_char(char *p) { return p + support::char_width(p); }

// Byte classes of the walk: which bytes can end a run of bytes that change nothing, per state.
// Lead bytes stop every run because they take the next byte along, whatever it is.
constexpr unsigned char STOP_CODE = 1;     // NUL, newline, '/', quotes, lead bytes
constexpr unsigned char STOP_COMMENT = 2;  // NUL, newline, '*', lead bytes
constexpr unsigned char STOP_STRING = 4;   // NUL, newline, backslash, quotes, lead bytes

struct StopTable {
    unsigned char cls[256];
    constexpr StopTable() : cls()
    {
        for (int c = 0; c < 256; c++) {
            unsigned char k = 0;
            if (c == '\0' || c == '\n' || support::is_sj_lead(static_cast<unsigned char>(c))) {
                k = STOP_CODE | STOP_COMMENT | STOP_STRING;
            } else if (c == '"' || c == '\'') {
                k = STOP_CODE | STOP_STRING;
            } else if (c == '/') {
                k = STOP_CODE;
            } else if (c == '*') {
                k = STOP_COMMENT;
            } else if (c == '\\') {
                k = STOP_STRING;
            }
            cls[c] = k;
        }
    }
};
constexpr StopTable stop_table;

// Eight bytes at a time: the bytes of a word that can stop the run, flagged as word_first
// wants them. High bytes are flagged whether or not they lead a two-byte character.
template <unsigned char stop>
static std::uint64_t word_stops(std::uint64_t w)
{
    std::uint64_t m = w | word_borrow(w, '\0') | word_borrow(w, '\n');
    if (stop == STOP_CODE) {
        m |= word_borrow(w, '/') | word_borrow(w, '"') | word_borrow(w, '\'');
    } else if (stop == STOP_COMMENT) {
        m |= word_borrow(w, '*');
    } else {
        m |= word_borrow(w, '\\') | word_borrow(w, '"') | word_borrow(w, '\'');
    }
    return m & WORD_HIGHS;
}

// Position of the first byte at or behind p whose class holds stop. Words are read only while
// they lie wholly before end; with end null the bytes are looked at one by one.
template <unsigned char stop>
static char *skip_run(char *p, const char *end)
{
    if (end != nullptr && word_low_first()) {
        while (end - p >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, sizeof w);
            const std::uint64_t m = word_stops<stop>(w);
            if (m == 0) {
                p += 8;
                continue;
            }
            p += word_first(m);
            if (stop_table.cls[static_cast<unsigned char>(*p)] & stop) {
                return p;
            }
            p++;  // a high byte that leads nothing
        }
    }
    while (!(stop_table.cls[static_cast<unsigned char>(*p)] & stop)) {
        p++;
    }
    return p;
}

// The walk from p to the end of the line with the directive position behind it (or not to be
// tested): lex_skip at every position, one character stepped over where it declines. Runs of
// bytes that cannot change the state are passed over whole; end as in skip_run.
static void walk_rest(char *p, const char *end)
{
    for (;;) {
        if (comment2_f) {
            return;  // a line comment takes the rest of the line
        }
        unsigned char c;
        if (comment_f) {
            p = skip_run<STOP_COMMENT>(p, end);
            c = static_cast<unsigned char>(*p);
            if (c == '*') {
                if (p[1] == '/') {
                    comment_f = 0;
                    p += 2;
                } else {
                    p++;
                }
                continue;
            }
        } else if (string_f) {
            p = skip_run<STOP_STRING>(p, end);
            c = static_cast<unsigned char>(*p);
            if (c == '\\') {
                p += p[1] == '\0' ? 1 : 2;
                continue;
            }
            if (c == string_f) {
                string_f = 0;
                p++;
                continue;
            }
        } else {
            p = skip_run<STOP_CODE>(p, end);
            c = static_cast<unsigned char>(*p);
            if (c == '/') {
                if (p[1] == '/') {
                    comment2_f = 1;
                    return;
                }
                if (p[1] == '*') {
                    comment_f = 1;
                    p += 2;
                } else {
                    p++;
                }
                continue;
            }
            if (c == '"' || c == '\'') {
                string_f = c;
                p++;
                continue;
            }
        }
        if (c == '\n' || c == '\0') {
            return;
        }
        p = step_char(p);  // a lead byte, or in a literal the other quote
    }
}

char *lex_walk(char *p, const char *dir_pos)
{
    if (p <= dir_pos) {
        // Only blanks lie before the directive position, and a blank changes no state. There
        // the walk stops unless a comment or literal is open or begins at it.
        p = const_cast<char *>(dir_pos);
        const char c = *p;
        if (c == '\n' || c == '\0') {
            return nullptr;
        }
        const bool open = comment_f || comment2_f || string_f;
        if (opt_T) {
            return open ? nullptr : p;
        }
        if (!open && c != '"' && c != '\'' && !(c == '/' && (p[1] == '/' || p[1] == '*'))) {
            return p;
        }
    } else if (opt_T) {
        return nullptr;
    }
    walk_rest(p, nullptr);
    return nullptr;
}

// Position of the first byte at or behind p that is neither a blank nor a tab; words as in
// skip_run. Header code is often indented by long runs of blanks.
static char *skip_blanks(char *p, const char *end)
{
    if (word_low_first()) {
        while (end - p >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, sizeof w);
            const std::uint64_t other =
                word_nonzero(w ^ (WORD_ONES * ' ')) & word_nonzero(w ^ (WORD_ONES * '\t'));
            if (other != 0) {
                return p + word_first(other);
            }
            p += 8;
        }
    }
    while (*p == ' ' || *p == '\t') {
        p++;
    }
    return p;
}

char *lex_line()
{
    char *const line = buff + 1;
    if (line_dir_kind >= 0) {
        line_kind = line_dir_kind;  // the skim found it, in the same state
        return line + line_dir_at;
    }
    char *p = skip_blanks(line, line + line_len);
    const bool open = comment_f || comment2_f || string_f;
    if (*p == '#' && !open) {
        line_kind = directive_kind(p);
        return p;  // lex_skip declines a '#'
    }
    line_kind = -1;
    // Without '/' and quotes a line can open or close nothing, whatever state it starts in. At a
    // directive position that holds no '#' the walk goes on as anywhere else.
    if (!opt_T && !line_plain) {
        walk_rest(p, line + line_len);
    }
    return nullptr;
}

int directive_kind(const char *p)
{
    if (*p != '#') {
        return -1;
    }
    const char *w = p + 1;
    while (*w == ' ' || *w == '\t') {
        w++;
    }
    // The word is the whole run of identifier characters: "#ifdefX" and "#if_" are no directives,
    // "#if(" and "#if" followed by a two-byte character are. Compared a byte at a time, the first
    // mismatch stops the reading, so no byte behind the text's end is looked at.
    const auto ends = [](char c) { return !support::is_ident_char(static_cast<unsigned char>(c)); };
    if (w[0] == 'i' && w[1] == 'f') {
        if (ends(w[2])) {
            return DIR_IF;
        }
        if (w[2] == 'd' && w[3] == 'e' && w[4] == 'f' && ends(w[5])) {
            return DIR_IFDEF;
        }
        if (w[2] == 'n' && w[3] == 'd' && w[4] == 'e' && w[5] == 'f' && ends(w[6])) {
            return DIR_IFNDEF;
        }
        return -1;
    }
    if (w[0] != 'e') {
        return -1;
    }
    if (w[1] == 'l') {
        if (w[2] == 's' && w[3] == 'e' && ends(w[4])) {
            return DIR_ELSE;
        }
        if (w[2] == 'i' && w[3] == 'f' && ends(w[4])) {
            return DIR_ELIF;
        }
        return -1;
    }
    return w[1] == 'n' && w[2] == 'd' && w[3] == 'i' && w[4] == 'f' && ends(w[5]) ? DIR_ENDIF : -1;
}

int is_define(const char *p)
{
    if (*p != '#') {
        return 0;
    }
    const char *w = p + 1;
    while (*w == ' ' || *w == '\t') {
        w++;
    }
    // Compared a byte at a time, as in directive_kind: nothing behind the text's end is read.
    const auto ends = [](char c) { return !support::is_ident_char(static_cast<unsigned char>(c)); };
    if (w[0] == 'd') {
        return w[1] == 'e' && w[2] == 'f' && w[3] == 'i' && w[4] == 'n' && w[5] == 'e' &&
               ends(w[6]);
    }
    return w[0] == 'u' && w[1] == 'n' && w[2] == 'd' && w[3] == 'e' && w[4] == 'f' && ends(w[5]);
}

int is_if(const char *p) { return directive_kind(p) == DIR_IF; }
int is_ifdef(const char *p) { return directive_kind(p) == DIR_IFDEF; }
int is_ifndef(const char *p) { return directive_kind(p) == DIR_IFNDEF; }
int is_elif(const char *p) { return directive_kind(p) == DIR_ELIF; }
int is_else(const char *p) { return directive_kind(p) == DIR_ELSE; }
int is_endif(const char *p) { return directive_kind(p) == DIR_ENDIF; }

int open_kind(const char *p)
{
    const int kind = directive_kind(p);
    return kind == DIR_IFNDEF || kind == DIR_IF || kind == DIR_IFDEF ? kind : -1;
}

void lex_finish(char *p)
{
    // The '#' is one byte that changes nothing; the directive word and what follows are walked
    // like any text, so a comment or literal opened there carries on into the next lines. A line
    // without '/' and quotes opens and closes nothing.
    if (!opt_T && !line_plain) {
        walk_rest(p + 1, buff + 1 + line_len);
    }
}

void lex_check_removed(char *p)
{
    if (opt_T) {
        return;
    }
    lex_finish(p);
    const bool open = comment_f != 0;
    // The directive position was reached with nothing open, and the text behind a removed
    // directive is not tracked any further: the state is put back as it was.
    lex_reset();
    if (open) {
        line_error("Error: %d: %s: a comment opened behind a removed directive runs on.\n", p);
    }
}

int lex_next_line(const char *too_long_fmt)
{
    if (!line_read()) {
        return 0;
    }
    comment2_f = 0;
    if (line_len > LINE_MAX) {
        line_error(too_long_fmt, buff + 1);
    }
    return 1;
}

void lex_skim(int keep, bool names)
{
    SkimLex lex{opt_T != 0, comment_f, string_f};
    lex.names = names;
    if (line_skim(&lex, keep)) {
        comment_f = lex.comment;
        string_f = lex.quote;
        comment2_f = 0;  // a line comment ends with its line
    }
}

void lex_reset()
{
    line_kind = -1;
    comment_f = 0;
    comment2_f = 0;
    string_f = 0;
}

}  // namespace cond
