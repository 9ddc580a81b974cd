#include "cond/cond_lex.h"

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

char *lex_walk(char *p, const char *dir_pos)
{
    while (*p != '\n' && *p != '\0') {
        char *q = lex_skip(p);
        if (q != nullptr) {
            p = q;
        } else if (p == dir_pos && !comment_f && !comment2_f && !string_f) {
            return p;
        } else {
            p = step_char(p);
        }
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
    const size_t len = std::strlen(word);
    if (std::strncmp(q, word, len) != 0) {
        return 0;
    }
    const unsigned char c = static_cast<unsigned char>(q[len]);
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
