#include "cond/cond_xblock.h"

#include <cstring>

#include "cond/cond_block.h"
#include "cond/cond_eval.h"
#include "cond/cond_lex.h"
#include "cond/cond_line.h"
#include "cond/cond_options.h"
#include "cond/cond_output.h"
#include "cond/cond_xexpr.h"
#include "support/message.h"
#include "support/sj_string.h"

// The directive handlers stay out of proc_block_x's frame: one frame per open conditional.
#if defined(__GNUC__)
#define XBLOCK_NOINLINE __attribute__((noinline))
#else
#define XBLOCK_NOINLINE
#endif

namespace cond {

const char XKEPT_FMT[] = "Warning: %d: %s: kept as written.\n";

namespace {

const char TOO_LONG_FMT[] = "%d: %s \nError: too long line found.\n";

// The directive being handled, set by gather and read until the next one.
char raw[XDIR_MAX + 2];  // its lines as read, each CR LF end restored
int raw_len;             // bytes in raw
int first_no;            // line number of its first line
int hash_at;             // offset of its '#' in raw
int word_at;             // offset of its directive word
int operand_at;          // offset of the text behind the word
bool more;               // raw had no room for the line now in buff, which belongs to it
bool spliced;            // a line of it ends with a continuation splice
int lex_state;           // at the end of what was read: 0 code, 1 block comment, 2 line comment

// The operand with its continuation splices taken out, for the reader, and for each of its bytes
// (and its end) the offset in raw. Without splices the operand is read where it stands in raw.
char flat[XDIR_MAX + 1];
int flat_at[XDIR_MAX + 1];
const char *flat_text;
int flat_len;

// A rewritten directive: a cut may give each of its newlines a blank and a backslash.
char out[3 * XDIR_MAX + 16];

// Chain state of one conditional (the flags travel in proc_block_x's frame).
constexpr int CHAIN_OPEN = 1;  // a directive of it has been written: an #if is open in the output
constexpr int CHAIN_DONE = 2;  // a branch known true (or an #else) has been taken

// Bytes of the continuation splice that ends the n bytes at s ("\\\n", "\\\r\n"), or 0. The
// backslash must be a character of its own, not the second byte of a two-byte one.
int splice_len(const char *s, int n)
{
    if (n < 2 || s[n - 1] != '\n') {
        return 0;
    }
    const int cr = (n >= 3 && s[n - 2] == '\r') ? 1 : 0;
    const int bs = n - 2 - cr;
    if (bs < 0 || s[bs] != '\\') {
        return 0;
    }
    // Behind an ASCII byte a backslash is no second byte; otherwise the pairs decide.
    if (bs == 0 || static_cast<unsigned char>(s[bs - 1]) < 0x80) {
        return 2 + cr;
    }
    int i = 0;
    while (i < bs) {
        i += support::is_sj_lead(static_cast<unsigned char>(s[i])) ? 2 : 1;
    }
    return i == bs ? 2 + cr : 0;
}

// Follows comments and literals through the n bytes of the line in buff from offset from
// (lex_state carries a block or line comment from the line before) and tells whether the directive
// goes on on the next line: behind a splice, or inside a block comment. Nothing is tracked under
// -T, nor needs to be in a line without '/' and quotes.
bool line_goes_on(int from)
{
    const char *const s = buff + 1;
    const int n = line_len;
    const int splice = splice_len(s, n);
    const int end = splice > 0 ? n - splice : n;
    if (!opt_T && !line_plain) {
        int i = from;
        while (i < end && lex_state != 2) {
            const char c = s[i];
            if (lex_state == 1) {
                if (c == '*' && i + 1 < end && s[i + 1] == '/') {
                    lex_state = 0;
                    i += 2;
                    continue;
                }
            } else if (c == '/' && i + 1 < end && (s[i + 1] == '*' || s[i + 1] == '/')) {
                lex_state = s[i + 1] == '*' ? 1 : 2;
                i += 2;
                continue;
            } else if (c == '"' || c == '\'') {
                // A literal ends at its quote or with the line.
                i++;
                while (i < end && s[i] != c && s[i] != '\n') {
                    i += s[i] == '\\' ? 2 : support::char_width(s + i);
                }
            }
            i += support::char_width(s + i);
        }
    }
    if (splice > 0) {
        spliced = true;
        return true;
    }
    if (lex_state == 2) {
        lex_state = 0;
    }
    return lex_state == 1;
}

// Appends the line in buff to raw with its CR LF end; false when raw has no room for it.
bool take_line()
{
    const int n = line_len;
    if (raw_len + n + 1 > XDIR_MAX) {
        return false;
    }
    std::memcpy(raw + raw_len, buff + 1, static_cast<size_t>(n));
    if (line_cr && n > 0 && raw[raw_len + n - 1] == '\n') {
        raw[raw_len + n - 1] = '\r';
        raw[raw_len + n] = '\n';
        raw_len++;
    }
    raw_len += n;
    raw[raw_len] = '\0';
    return true;
}

// Reads the directive whose first line is in buff ('#' at hash) with the lines that belong to it
// into raw; leaves the lexical flags clear behind it.
void gather(const char *hash)
{
    const char *const line = buff + 1;
    raw_len = 0;
    more = false;
    spliced = false;
    lex_state = 0;
    first_no = line_no;
    hash_at = static_cast<int>(hash - line);
    int w = hash_at + 1;
    while (line[w] == ' ' || line[w] == '\t') {
        w++;
    }
    word_at = w;
    while (support::is_ident_char(static_cast<unsigned char>(line[w]))) {
        w++;
    }
    operand_at = w;
    take_line();  // a line of at most LINE_MAX bytes always fits
    bool goes_on = line_goes_on(hash_at);
    while (goes_on && lex_next_line(TOO_LONG_FMT)) {
        if (!take_line()) {
            more = true;
            break;
        }
        goes_on = line_goes_on(0);
    }
    comment_f = 0;
    comment2_f = 0;
    string_f = 0;
}

// Writes the n bytes at p, lines numbered from no, when keep differs from opt_v.
void put_lines(const char *p, int n, int keep, long no)
{
    if (keep == opt_v) {
        return;
    }
    const char *const end = p + n;
    while (p < end) {
        const char *nl =
            static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char *next = nl == nullptr ? end : nl + 1;
        put_text_line(p, static_cast<size_t>(next - p), no++);
        p = next;
    }
}

// Hands over with keep the lines of the directive that raw had no room for: the one in buff and
// those behind it.
void put_rest(int keep)
{
    bool goes_on = more;
    while (goes_on) {
        put_line_sel(buff + 1, keep);
        goes_on = line_goes_on(0) && lex_next_line(TOO_LONG_FMT);
    }
    more = false;
    comment_f = 0;
    comment2_f = 0;
    string_f = 0;
}

// Hands the directive over as read with keep.
void put_orig(int keep)
{
    put_lines(raw, raw_len, keep, first_no);
    put_rest(keep);
}

// Hands over a rewritten directive: the n bytes at text take the place of the lines in raw, which
// are what -v writes (they are removed either way).
void put_new(const char *text, int n, int keep)
{
    if (opt_v) {
        put_orig(0);
        return;
    }
    put_lines(text, n, keep, first_no);
    put_rest(keep);
}

// Builds the operand without continuation splices into flat.
void flatten()
{
    if (!spliced) {
        flat_text = raw + operand_at;
        flat_len = raw_len - operand_at;
        return;
    }
    flat_text = flat;
    flat_len = 0;
    int p = operand_at;
    while (p < raw_len) {
        const char *nl =
            static_cast<const char *>(std::memchr(raw + p, '\n', static_cast<size_t>(raw_len - p)));
        const int line_end = nl == nullptr ? raw_len : static_cast<int>(nl - raw) + 1;
        // The first line counts from its start so that a two-byte character is stepped whole.
        const int line_start = p == operand_at ? 0 : p;
        const int splice = splice_len(raw + line_start, line_end - line_start);
        const int keep_end = line_end - splice;
        for (; p < keep_end; p++) {
            flat[flat_len] = raw[p];
            flat_at[flat_len] = p;
            flat_len++;
        }
        p = line_end;
    }
    flat_at[flat_len] = raw_len;
}

// Offset in raw of the byte at i (or the end) of the operand the reader read.
int raw_at(int i) { return spliced ? flat_at[i] : operand_at + i; }

// The directive with the reader's cuts left out and, for rename, its word made "if"; every
// newline stays (a cut one with a backslash before it), so the lines keep their numbers. Returns
// the length of the text in out.
int rewrite(bool rename)
{
    int n = 0;
    int p = 0;
    if (rename) {
        std::memcpy(out, raw, static_cast<size_t>(word_at));
        n = word_at;
        out[n++] = 'i';
        out[n++] = 'f';
        p = operand_at;
    }
    for (int c = 0; c < xcut_count; c++) {
        const int from = raw_at(xcut_from[c]);
        const int to = raw_at(xcut_to[c]);
        std::memcpy(out + n, raw + p, static_cast<size_t>(from - p));
        n += from - p;
        for (int k = from; k < to; k++) {
            if (raw[k] != '\n') {
                continue;
            }
            if (n > 0 && out[n - 1] != ' ' && out[n - 1] != '\t' && out[n - 1] != '\n') {
                out[n++] = ' ';
            }
            out[n++] = '\\';
            if (k > 0 && raw[k - 1] == '\r') {
                out[n++] = '\r';
            }
            out[n++] = '\n';
            // The indentation of the next line stays with the text that survives behind it.
            int b = k + 1;
            while (b < to && (raw[b] == ' ' || raw[b] == '\t')) {
                b++;
            }
            if (b == to && b < raw_len && raw[b] != '\r' && raw[b] != '\n') {
                std::memcpy(out + n, raw + k + 1, static_cast<size_t>(b - k - 1));
                n += b - k - 1;
            }
            k = b - 1;
        }
        p = to;
    }
    std::memcpy(out + n, raw + p, static_cast<size_t>(raw_len - p));
    return n + (raw_len - p);
}

// The directive as "#else" with its indentation and the end of its first line.
int rewrite_else()
{
    int n = word_at;
    std::memcpy(out, raw, static_cast<size_t>(n));
    std::memcpy(out + n, "else", 4);
    n += 4;
    const char *nl =
        static_cast<const char *>(std::memchr(raw, '\n', static_cast<size_t>(raw_len)));
    if (nl != nullptr) {
        if (nl > raw && nl[-1] == '\r') {
            out[n++] = '\r';
        }
        out[n++] = '\n';
    }
    return n;
}

// Reads the condition of the directive in raw: X_TRUE when its branch is taken, X_FALSE, or
// X_UNKNOWN (with the reader's cuts); what cannot be read is X_UNKNOWN without cuts, warned.
int branch_value(int kind)
{
    int v = X_BAD;
    if (!more) {
        flatten();
        v = (kind == DIR_IF || kind == DIR_ELIF) ? xexpr_if(flat_text, flat_len)
                                                 : xexpr_ifdef(flat_text, flat_len);
    }
    if (v == X_BAD) {
        char *e = line_excerpt(raw + hash_at);
        const size_t len = std::strlen(e);
        if (len >= 2 && e[len - 2] == '\r') {
            e[len - 2] = ']';
            e[len - 1] = '\0';
        }
        support::errmsg(XKEPT_FMT, first_no, e);
        xcut_count = 0;
        return X_UNKNOWN;
    }
    if (kind == DIR_IFNDEF && v != X_UNKNOWN) {
        v = v == X_TRUE ? X_FALSE : X_TRUE;
    }
    return v;
}

// An opening directive or an #elif ('#' at hash) of a conditional whose region has the keep flag
// enclosing; returns the keep flag of its branch.
XBLOCK_NOINLINE int x_branch(int kind, int enclosing, const char *hash, int *chain)
{
    gather(hash);
    if (*chain & CHAIN_DONE) {
        put_orig(0);  // not read: the preprocessor does not look at it either
        return 0;
    }
    const int v = branch_value(kind);
    if (v == X_FALSE) {
        put_orig(0);
        return 0;
    }
    if (v == X_TRUE) {
        if (*chain & CHAIN_OPEN) {
            put_new(out, rewrite_else(), enclosing);
        } else {
            put_orig(0);
        }
        *chain |= CHAIN_DONE;
        return enclosing;
    }
    const bool rename = kind == DIR_ELIF && !(*chain & CHAIN_OPEN);
    if (rename || xcut_count > 0) {
        put_new(out, rewrite(rename), enclosing);
    } else {
        put_orig(enclosing);
    }
    *chain |= CHAIN_OPEN;
    return enclosing;
}

// An #else; returns the keep flag of its branch.
XBLOCK_NOINLINE int x_else(int enclosing, const char *hash, int *chain)
{
    gather(hash);
    if (*chain & CHAIN_DONE) {
        put_orig(0);
        return 0;
    }
    *chain |= CHAIN_DONE;
    put_orig((*chain & CHAIN_OPEN) ? enclosing : 0);
    return enclosing;
}

// The #endif.
XBLOCK_NOINLINE void x_endif(int enclosing, const char *hash, int chain)
{
    gather(hash);
    put_orig((chain & CHAIN_OPEN) ? enclosing : 0);
}

}  // namespace

int proc_block_x(int kind, int keep, char *hash)
{
    if (++if_depth > IF_DEPTH_MAX) {
        line_error("Error: %d: %s: conditionals nested too deeply.\n", support::sp_skip(buff + 1));
    }
    const int enclosing = keep;
    int chain = 0;
    keep = x_branch(kind, enclosing, hash, &chain);
    for (;;) {
        lex_skim(keep);
        if (!lex_next_line(TOO_LONG_FMT)) {
            return -2;
        }
        char *p = lex_line();
        if (p == nullptr) {
            put_line_sel(buff + 1, keep);
            continue;
        }
        const int dir = line_kind;
        if (dir == DIR_IFDEF || dir == DIR_IF || dir == DIR_IFNDEF) {
            if (proc_block_x(dir, keep, p) == -2) {
                return -2;
            }
        } else if (dir == DIR_ELIF) {
            keep = x_branch(DIR_ELIF, enclosing, p, &chain);
        } else if (dir == DIR_ELSE) {
            keep = x_else(enclosing, p, &chain);
        } else if (dir == DIR_ENDIF) {
            if_depth--;
            x_endif(enclosing, p, chain);
            return 0;
        } else {
            lex_finish(p);
            put_line_sel(buff + 1, keep);
        }
    }
}

void xblock_reset()
{
    std::memset(raw, 0, sizeof raw);
    raw_len = 0;
    first_no = 0;
    hash_at = word_at = operand_at = 0;
    more = false;
    spliced = false;
    lex_state = 0;
    flat_text = nullptr;
    flat_len = 0;
    xexpr_reset();
}

}  // namespace cond
