#include "cond/cond_eval.h"

#include <cstring>

#include "cond/cond_line.h"
#include "cond/cond_memo.h"
#include "cond/cond_options.h"
#include "cond/cond_output.h"
#include "support/sj_string.h"

namespace cond {

static char work[OPERAND_MAX + 1];  // eval_*_expr: working copy of the operand, rewritten

using support::is_digit;
using support::is_ident_char;
using support::is_letter;

// Copies the operand into the working copy; ends the run when it does not fit.
static void take_operand(const char *operand)
{
    if (std::strlen(operand) > static_cast<size_t>(OPERAND_MAX)) {
        line_error("Error: %d: %s: too long data\n", operand);
    }
    std::strcpy(work, operand);
}

// What a comment at the read position of a working copy does to the operand.
enum CommentAt { NO_COMMENT, LINE_COMMENT, BLOCK_COMMENT };

// At p: "//" ends the operand; "/*" is left out through its "*/", searched from p itself so that
// "/*/" counts as closed, and *after is set behind it; an unclosed one ends the run with
// unclosed_fmt and the operand excerpt. Reading on at *after sees what deleting the comment
// would have put at p.
static CommentAt take_comment(char *p, char **after, const char *unclosed_fmt, const char *operand)
{
    if (p[0] != '/' || (p[1] != '/' && p[1] != '*')) {
        return NO_COMMENT;
    }
    if (p[1] == '/') {
        return LINE_COMMENT;
    }
    char *close = support::index1(p, "*/");
    if (close == nullptr) {
        line_error(unclosed_fmt, operand);
    }
    *after = close + 2;
    return BLOCK_COMMENT;
}

// support::sp_skip, here where the compiler can inline it: a directive line calls it many times.
template <typename Char>
static Char *skip_blanks(Char *p)
{
    while (*p == ' ' || *p == '\t') {
        p++;
    }
    return p;
}

// Value of the name of len bytes at p, from the pattern table.
static int name_value(const char *p, size_t len)
{
    const int pat = memo_pattern(p, len);
    if (pat >= 0) {
        return list_value[pat];
    }
    return (list_mode & LIST_MODE_UNDEF) ? COND_FALSE : COND_UNKNOWN;
}

// is_ident_char as a table: the name scan is the inner loop of every lookup.
struct IdentTable {
    bool ident[256];
    constexpr IdentTable() : ident()
    {
        for (int c = 0; c < 256; c++) {
            ident[c] = is_ident_char(static_cast<unsigned char>(c));
        }
    }
};
static constexpr IdentTable ident_table;

// Bytes of the name at p: the identifier characters from p on.
static size_t name_len(const char *p)
{
    const char *end = p;
    while (ident_table.ident[static_cast<unsigned char>(*end)]) {
        end++;
    }
    return static_cast<size_t>(end - p);
}

char *eval_name(char *p, int *value)
{
    const char *start = p;
    p = support::sp_skip(p);
    const size_t len = name_len(p);
    if (len > static_cast<size_t>(NAME_MAX_LEN)) {
        line_error("Error: %d: %s: cannot analyze.\n", start);
    }
    *value = name_value(p, len);
    return p + len;
}

char *eval_defined(char *p, int *value)
{
    const char *start = p;
    p = support::sp_skip(p);
    if (*p != '(') {
        line_error("Error: %d: %s: invalid statement.\n", start);
    }
    p = support::sp_skip(eval_name(p + 1, value));
    if (*p != ')') {
        line_error("Error: %d: %s: invalid statement.\n", start);
    }
    return p + 1;
}

int eval_ifdef_full(const char *operand, int *value)
{
    take_operand(operand);
    *value = COND_FALSE;
    bool named = false;
    char *p = work;
    while (*p != '\0') {
        const CommentAt c = take_comment(p, &p, "Error: %d: %s: invalid statement.\n", operand);
        if (c == LINE_COMMENT) {
            break;
        }
        if (c == BLOCK_COMMENT) {
            continue;
        }
        if (is_letter(*p)) {
            if (named) {
                line_error("Error(#1): %d: %s: cannot analyze.\n", operand);
            }
            p = eval_name(p, value);
            named = true;
            continue;
        }
        if (*p == ' ' || *p == '\t' || *p == '\n') {
            p++;
            continue;
        }
        line_error("Error(#2): %d: %s: cannot analyze.\n", operand);
    }
    return 0;
}

// Three-valued AND and OR over the order COND_FALSE < COND_UNKNOWN < COND_TRUE.
static int rank(int v) { return v == COND_UNKNOWN ? 1 : (v == COND_TRUE ? 2 : 0); }
static int cond_and(int a, int b) { return rank(a) <= rank(b) ? a : b; }
static int cond_or(int a, int b) { return rank(a) >= rank(b) ? a : b; }

// Pass 1: every name and defined term becomes a one-digit token; literals 0 and 1 become 2 while
// names outside the lists are unsettled.
static void rewrite_terms(const char *operand)
{
    // Tokens are written at w while the text is read at r; w never passes r, so the text from r
    // on is always the rest of the operand as if each term had been replaced where it stood.
    // That keeps the cost linear in the operand however many terms it holds.
    char *r = work;
    char *w = work;
    while (*r != '\0') {
        const CommentAt c = take_comment(r, &r, "Error: %d: %s: comment is not closed.\n", operand);
        if (c == LINE_COMMENT) {
            break;
        }
        if (c == BLOCK_COMMENT) {
            continue;
        }
        const bool neg = *r == '!' && std::strncmp(r, "!defined", 8) == 0;
        if (neg || (*r == 'd' && std::strncmp(r, "defined", 7) == 0)) {
            int v;
            char *rest = eval_defined(r + (neg ? 8 : 7), &v);
            if (neg && v != COND_UNKNOWN) {
                v = v == COND_TRUE ? COND_FALSE : COND_TRUE;
            }
            *w++ = static_cast<char>('0' + v);
            *w++ = ' ';
            r = rest;
            continue;
        }
        if (is_letter(*r)) {
            int v;
            char *rest = eval_name(r, &v);
            *w++ = static_cast<char>('0' + v);
            r = rest;
            continue;
        }
        char ch = *r;
        if (is_digit(ch)) {
            if ((ch != '0' && ch != '1') || is_ident_char(r[1])) {
                line_error("Error(#3): %d: %s: cannot analyze.\n", buff + 1);
            }
            if (!(list_mode & LIST_MODE_UNDEF)) {
                ch = '2';
            }
        }
        *w++ = ch;
        r++;
    }
    *w = '\0';
}

int eval_if_full(const char *operand, int *value)
{
    take_operand(operand);
    rewrite_terms(operand);

    enum { OP_NONE, OP_OR, OP_AND } op = OP_NONE;
    int result = -1;  // none yet
    bool last_operator = false;
    for (const char *p = work; *p != '\0' && *p != '\n';) {
        if (p[0] == '|' && p[1] == '|') {
            if (op == OP_AND) {
                line_error("Error(#4): %d: %s: cannot analyze.\n", buff + 1);
            }
            op = OP_OR;
            last_operator = true;
            p += 2;
        } else if (p[0] == '&' && p[1] == '&') {
            if (op == OP_OR) {
                line_error("Error(#5): %d: %s: cannot analyze.\n", buff + 1);
            }
            op = OP_AND;
            last_operator = true;
            p += 2;
        } else if (*p >= '0' && *p <= '2' && !is_ident_char(p[1])) {
            const int v = *p - '0';
            if (result < 0) {
                result = v;
            } else if (op == OP_OR) {
                result = cond_or(result, v);
            } else if (op == OP_AND) {
                result = cond_and(result, v);
            }
            last_operator = false;
            p++;
        } else if (*p == ' ' || *p == '\t') {
            p++;
        } else {
            line_error("Error(#6): %d: %s: cannot analyze.\n", buff + 1);
        }
    }
    if (result < 0 || last_operator) {
        line_error("Error: %d: %s: invalid statement.\n", buff + 1);
    }
    *value = result;
    return 0;
}

// The common operands, read in place. Each shape taken here is one the full reading gives a value
// to without a message; anything else is declined and read in full, so the messages stay where
// they are made.

// True when the text at p begins with word.
static bool starts_with(const char *p, const char *word)
{
    for (; *word != '\0'; p++, word++) {
        if (*p != *word) {
            return false;
        }
    }
    return true;
}

// Skips blanks and closed block comments; null at a comment that is not closed. The full reading
// leaves a comment out, searching its end from the '/' itself, and reads on behind it.
static const char *skip_gap(const char *p)
{
    for (;;) {
        p = skip_blanks(p);
        if (p[0] != '/' || p[1] != '*') {
            return p;
        }
        const char *close = support::index1(p, "*/");
        if (close == nullptr) {
            return nullptr;
        }
        p = close + 2;
    }
}

// True when the operand ends at p: at its terminator, or at "//" (nothing behind it is read); and
// it is short enough for the working copy of the full reading.
static bool ends_at(const char *operand, const char *p)
{
    if (p[0] == '/' && p[1] == '/') {
        p += std::strlen(p);
    }
    return *p == '\0' && p - operand <= OPERAND_MAX;
}

bool eval_ifdef_common(const char *operand, int *value)
{
    int v = COND_FALSE;
    bool named = false;
    const char *p = operand;
    for (;;) {
        p = skip_gap(p);
        if (p == nullptr) {
            return false;
        }
        if (*p == '\n') {
            p++;
        } else if (is_letter(*p) && !named) {
            const size_t len = name_len(p);
            if (len > static_cast<size_t>(NAME_MAX_LEN)) {
                return false;
            }
            v = name_value(p, len);
            named = true;
            p += len;
        } else {
            break;
        }
    }
    if (!ends_at(operand, p)) {
        return false;
    }
    *value = v;
    return true;
}

bool eval_if_common(const char *operand, int *value)
{
    const char *p = operand;
    int result = -1;  // none yet
    char op = 0;      // '|' or '&' once an operator is read
    for (;;) {
        p = skip_gap(p);
        if (p == nullptr) {
            return false;
        }
        int v;
        const bool neg = *p == '!';
        if (neg && !starts_with(p, "!defined")) {
            return false;
        }
        if (neg || (*p == 'd' && starts_with(p, "defined"))) {
            const char *q = skip_blanks(p + (neg ? 8 : 7));
            if (*q != '(') {
                return false;
            }
            q = skip_blanks(q + 1);
            const size_t len = name_len(q);
            if (len == 0 || len > static_cast<size_t>(NAME_MAX_LEN)) {
                return false;
            }
            v = name_value(q, len);
            q = skip_blanks(q + len);
            if (*q != ')') {
                return false;
            }
            p = q + 1;
            if (neg && v != COND_UNKNOWN) {
                v = v == COND_TRUE ? COND_FALSE : COND_TRUE;
            }
        } else if (is_letter(*p)) {
            const size_t len = name_len(p);
            if (len > static_cast<size_t>(NAME_MAX_LEN)) {
                return false;
            }
            v = name_value(p, len);
            p += len;
        } else if ((*p == '0' || *p == '1') && !is_ident_char(p[1])) {
            v = (list_mode & LIST_MODE_UNDEF) ? *p - '0' : COND_UNKNOWN;
            p++;
        } else {
            return false;
        }
        // The full reading turns each value into a one-digit token: only 0 to 2 read back.
        if (v < COND_FALSE || v > COND_UNKNOWN) {
            return false;
        }
        result = result < 0 ? v : (op == '|' ? cond_or(result, v) : cond_and(result, v));
        p = skip_gap(p);
        if (p == nullptr) {
            return false;
        }
        if ((*p != '|' && *p != '&') || p[1] != *p) {
            break;
        }
        if (op != 0 && op != *p) {
            return false;
        }
        op = *p;
        p += 2;
    }
    // A newline ends the expression; the full reading would go on behind one that is not last.
    if (*p == '\n' && p[1] == '\0') {
        p++;
    }
    if (!ends_at(operand, p)) {
        return false;
    }
    *value = result;
    return true;
}

int eval_ifdef_expr(const char *operand, int *value)
{
    if (!eval_ifdef_common(operand, value)) {
        eval_ifdef_full(operand, value);
    }
    return 0;
}

int eval_if_expr(const char *operand, int *value)
{
    if (!eval_if_common(operand, value)) {
        eval_if_full(operand, value);
    }
    return 0;
}

char *eval_directive(int kind, char *line, int *value)
{
    char *p = skip_blanks(line) + 1;  // the recognisers put a '#' here
    p = skip_blanks(p);
    while (is_letter(*p)) {
        p++;
    }
    char *operand = skip_blanks(p);
    int v;
    if (kind == DIR_IF || kind == DIR_ELIF) {
        eval_if_expr(operand, &v);
    } else {
        eval_ifdef_expr(operand, &v);
    }
    if (v == COND_UNKNOWN) {
        v = (list_mode & LIST_MODE_UNDEF) ? COND_FALSE : COND_KEEP;
    }
    *value = v;
    return operand;
}

void eval_reset() { std::memset(work, 0, sizeof work); }

}  // namespace cond
