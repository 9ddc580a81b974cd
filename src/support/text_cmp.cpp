#include "support/text_cmp.h"

#include <cstdio>
#include <cstring>

#include "support/exit_hook.h"
#include "support/out_stage.h"

namespace support {

// Tab expansion stops before a line reaches this many characters.
constexpr int exp_tab_limit = 4096;

static char exp_tab_buf[exp_tab_limit];  // exp_tab's last result; overwritten by every call

// The byte classes of this module are its own: every byte from 0x80 that is not single-byte
// katakana (0xA1-0xDF) starts a two-byte character, a wider range than the string utilities use.
static bool is_ascii(unsigned char c) { return c < 0x80; }
static bool is_kana(unsigned char c) { return c >= 0xA1 && c <= 0xDF; }
static bool is_wide_lead(unsigned char c) { return !is_ascii(c) && !is_kana(c); }

static unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

static int sign(int d) { return d < 0 ? -1 : 1; }

int StrnCmp(const char *a, const char *b, int n)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(a);
    const unsigned char *q = reinterpret_cast<const unsigned char *>(b);
    // Only a positive limit counts down; a negative one never reaches 0.
    auto step = [&n, &p, &q] {
        ++p;
        ++q;
        if (n > 0) {
            --n;
        }
    };
    while (n != 0 && *p && *q) {
        unsigned char x = *p;
        unsigned char y = *q;
        if (is_ascii(x)) {
            if (!is_ascii(y)) {
                return -1;
            }
            if (fold(x) == fold(y)) {
                step();
                continue;
            }
            // The backslash sorts before every other ASCII byte, so a path's folders come first.
            if (x == '\\') {
                return -1;
            }
            if (y == '\\') {
                return 1;
            }
            return sign(fold(x) - fold(y));
        }
        if (is_kana(x) != is_kana(y)) {
            if (is_kana(x)) {
                return is_ascii(y) ? 1 : -1;
            }
            return 1;
        }
        if (x != y) {
            return sign(x - y);
        }
        step();
        if (is_wide_lead(x)) {
            // Equal lead bytes: the character is decided by its second byte.
            if (*p != *q) {
                return sign(*p - *q);
            }
            if (!*p) {
                return 0;  // both texts end in the same lone lead byte
            }
            step();
        }
    }
    if (n == 0) {
        return 0;
    }
    if (*p) {
        return 1;
    }
    return *q ? -1 : 0;
}

int StrCmp(const char *a, const char *b) { return StrnCmp(a, b, -1); }

// Length of a path without one trailing backslash (tested byte by byte).
static std::size_t dir_len(const char *path)
{
    std::size_t len = std::strlen(path);
    if (len > 0 && path[len - 1] == '\\') {
        --len;
    }
    return len;
}

int DirCmp(const char *a, const char *b)
{
    std::size_t len = dir_len(a);
    if (len != dir_len(b)) {
        return 1;
    }
    // A path longer than an int can count is compared whole; it cannot be a real path anyway.
    return StrnCmp(a, b, len > 0x7FFFFFFF ? -1 : static_cast<int>(len));
}

int strcasecmp(const char *a, const char *b)
{
    // Only the first 1023 bytes of each text take part.
    char ca[1024];
    char cb[1024];
    std::strncpy(ca, a, sizeof ca - 1);
    ca[sizeof ca - 1] = '\0';
    std::strncpy(cb, b, sizeof cb - 1);
    cb[sizeof cb - 1] = '\0';
    to_lower(ca);
    to_lower(cb);
    const unsigned char *p = reinterpret_cast<const unsigned char *>(ca);
    const unsigned char *q = reinterpret_cast<const unsigned char *>(cb);
    while (*p && *p == *q) {
        ++p;
        ++q;
    }
    return *p - *q;
}

// Changes the ASCII letters from..from+25 by delta, stepping over two-byte characters whole so
// that a second byte that looks like a letter stays as it is.
static int shift_case(char *s, char from, int delta)
{
    unsigned char *p = reinterpret_cast<unsigned char *>(s);
    while (*p) {
        if (is_wide_lead(*p) && p[1]) {
            p += 2;
            continue;
        }
        if (*p >= from && *p <= from + 25) {
            *p = static_cast<unsigned char>(*p + delta);
        }
        ++p;
    }
    return 0;
}

int to_upper(char *s) { return shift_case(s, 'a', 'A' - 'a'); }

int to_lower(char *s) { return shift_case(s, 'A', 'a' - 'A'); }

// The column after byte c written at column col. A width below 1 counts as 1 rather than
// dividing by zero; the sum is taken wide so a huge width cannot overflow.
static long long next_column(long long col, unsigned char c, int tab)
{
    if (c != '\t') {
        return col + 1;
    }
    long long width = tab < 1 ? 1 : tab;
    return (col / width + 1) * width;
}

int chk_exptab(int tab, const char *line)
{
    long long col = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(line); *p; ++p) {
        col = next_column(col, *p, tab);
        if (col >= exp_tab_limit) {
            return -1;
        }
    }
    return static_cast<int>(col) + 1;
}

char *exp_tab(int tab, const char *line)
{
    long long col = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(line); *p; ++p) {
        long long next = next_column(col, *p, tab);
        if (next >= exp_tab_limit) {
            // This library's one report on standard output, so it goes through the output stage.
            char msg[300];
            const int len = std::snprintf(msg, sizeof msg, "Error: %256.256s ... too long line\n", line);
            out_write(msg, static_cast<std::size_t>(len));
            fatal_exit(1);
        }
        if (*p == '\t') {
            std::memset(exp_tab_buf + col, ' ', static_cast<std::size_t>(next - col));
        } else {
            exp_tab_buf[col] = static_cast<char>(*p);
        }
        col = next;
    }
    exp_tab_buf[col] = '\0';
    return exp_tab_buf;
}

void text_cmp_reset() { std::memset(exp_tab_buf, 0, sizeof exp_tab_buf); }

}  // namespace support
