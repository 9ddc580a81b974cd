#include "cond/cond_lex.h"

#include <cstdint>
#include <cstring>

#include "cond/cond_eval.h"
#include "cond/cond_line.h"
#include "cond/cond_options.h"
#include "cond/cond_output.h"
#include "support/sj_string.h"

namespace cond {

int comment_f;
int comment2_f;
int string_f;

char *lex_skip(char *p)
{
    if (opt_T) {
        return nullptr;
    }
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

char *step_char(char *p)
{
    return (support::is_sj_lead(static_cast<unsigned char>(p[0])) && p[1] != '\0') ? p + 2 : p + 1;
}

// Byte classes of the walk: which bytes can end a run of bytes that change nothing, per state.
// Lead bytes stop every run because they take the next byte along, whatever it is.
constexpr unsigned char STOP_CODE = 1;     // NUL, newline, '/', quotes, lead bytes
constexpr unsigned char STOP_COMMENT = 2;  // NUL, newline, '*', lead bytes
constexpr unsigned char STOP_STRING = 4;   // NUL, newline, backslash, quotes, lead bytes

// Lead bytes as in support::is_sj_lead, which cannot be used in a constant expression.
struct StopTable {
    unsigned char cls[256];
    constexpr StopTable() : cls()
    {
        for (int c = 0; c < 256; c++) {
            unsigned char k = 0;
            if (c == '\0' || c == '\n' || (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
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
    char *p = skip_blanks(line, line + line_len);
    const bool open = comment_f || comment2_f || string_f;
    if (*p == '#' && !open) {
        return p;  // lex_skip declines a '#'
    }
    // Without '/' and quotes a line can open or close nothing, whatever state it starts in. At a
    // directive position that holds no '#' the walk goes on as anywhere else.
    if (!opt_T && !line_plain) {
        walk_rest(p, line + line_len);
    }
    return nullptr;
}

// The shared recogniser: '#', blanks, the keyword, then a byte that is no identifier character.
static int is_directive(const char *p, const char *word)
{
    if (*p != '#') {
        return 0;
    }
    const char *q = support::sp_skip(p + 1);
    while (*word != '\0') {
        if (*q++ != *word++) {
            return 0;
        }
    }
    const unsigned char c = static_cast<unsigned char>(*q);
    const bool ident = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       c == '_';
    return ident ? 0 : 1;
}

int is_if(const char *p) { return is_directive(p, "if"); }
int is_ifdef(const char *p) { return is_directive(p, "ifdef"); }
int is_ifndef(const char *p) { return is_directive(p, "ifndef"); }
int is_elif(const char *p) { return is_directive(p, "elif"); }
int is_else(const char *p) { return is_directive(p, "else"); }
int is_endif(const char *p) { return is_directive(p, "endif"); }

int open_kind(const char *p)
{
    if (is_ifndef(p)) {
        return DIR_IFNDEF;
    }
    if (is_if(p)) {
        return DIR_IF;
    }
    if (is_ifdef(p)) {
        return DIR_IFDEF;
    }
    return -1;
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

void lex_reset()
{
    comment_f = 0;
    comment2_f = 0;
    string_f = 0;
}

}  // namespace cond
