#include "support/sj_string.h"

#include <cstring>

namespace support {

namespace {

using uchar = unsigned char;

// serstr alone pairs a lead byte only with a byte of the Shift_JIS trail class.
inline bool is_sj_trail(uchar c)
{
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

inline bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// Copies the character at *p (both bytes of a pair) to *o and advances both.
inline void copy_char(const char *&p, char *&o)
{
    int w = char_width(p);
    std::memcpy(o, p, static_cast<size_t>(w));
    o += w;
    p += w;
}

}  // namespace

char *Strchr(const char *s, int c)
{
    const char want = static_cast<char>(c);
    for (const char *p = s; *p != '\0'; p += char_width(p)) {
        if (*p == want) {
            return const_cast<char *>(p);
        }
    }
    return nullptr;
}

char *Strrchr(const char *s, int c)
{
    const char want = static_cast<char>(c);
    const char *found = nullptr;
    for (const char *p = s; *p != '\0'; p += char_width(p)) {
        if (*p == want) {
            found = p;
        }
    }
    return const_cast<char *>(found);
}

char *index(const char *s, int c)
{
    const char want = static_cast<char>(c);
    for (const char *p = s; *p != '\0'; p++) {
        if (*p == want) {
            return const_cast<char *>(p);
        }
    }
    return nullptr;
}

char *rindex(const char *s, int c)
{
    const char want = static_cast<char>(c);
    for (const char *p = s + std::strlen(s); p != s;) {
        if (*--p == want) {
            return const_cast<char *>(p);
        }
    }
    return nullptr;
}

char *index1(const char *s, const char *t)
{
    if (*s == '\0') {
        return nullptr;
    }
    return const_cast<char *>(std::strstr(s, t));
}

char *index2(const char *s, const char *set)
{
    for (const char *p = s; *p != '\0';) {
        int w = char_width(p);
        if (w == 1 && std::strchr(set, *p) != nullptr) {
            return const_cast<char *>(p);
        }
        p += w;
    }
    return nullptr;
}

char *serstr(const char *s, const char *t)
{
    size_t len = std::strlen(t);
    if (len == 0) {
        return nullptr;
    }
    for (const char *p = s; *p != '\0';) {
        if (*p == *t && std::strncmp(p + 1, t + 1, len - 1) == 0) {
            return const_cast<char *>(p);
        }
        p += is_sj_lead(static_cast<uchar>(p[0])) && is_sj_trail(static_cast<uchar>(p[1])) ? 2 : 1;
    }
    return nullptr;
}

char *srch_wild(const char *s)
{
    return const_cast<char *>(std::strpbrk(s, "*?"));
}

char *sp_skip(const char *s)
{
    while (is_blank(*s)) {
        s++;
    }
    return const_cast<char *>(s);
}

char *chr_skip(const char *s)
{
    while (*s != '\0' && !is_blank(*s)) {
        s++;
    }
    return const_cast<char *>(s);
}

char *optionStr_skip(const char *s)
{
    if (*s == '"') {
        s++;
        while (*s != '\0' && *s != '"' && *s != '<' && *s != '>') {
            s++;
        }
        if (*s == '"') {
            s++;
        }
        return const_cast<char *>(s);
    }
    while (*s != '\0' && !is_blank(*s) && *s != '"' && *s != '<' && *s != '>') {
        s++;
    }
    return const_cast<char *>(s);
}

char *SetParam(const char *src, char *out, int n)
{
    const int limit = n;
    const char *p = sp_skip(src);
    char *o = out;

    if (*p == '"') {
        p++;
        while (--n > 0 && *p != '"' && *p != '\0') {
            copy_char(p, o);
        }
    } else if (*p == '[') {
        // The opening bracket counts against n like any other character, the closing one is
        // paid for by this first decrement.
        n--;
        while (--n > 0 && *p != ']' && *p != '\0') {
            copy_char(p, o);
        }
        // The stopping byte belongs to the word ("[sect]"); with n below 2 there is no room for it
        // beside the terminator.
        if (limit >= 2) {
            *o++ = *p;
        }
    } else {
        while (--n > 0 && *p != '=' && !is_blank(*p) && *p != '\0') {
            copy_char(p, o);
        }
    }
    *o = '\0';
    return const_cast<char *>(p);
}

int isnum(const char *s)
{
    for (; *s != '\0' && !is_blank(*s) && *s != '\n'; s++) {
        if (*s < '0' || *s > '9') {
            return 0;
        }
    }
    return 1;
}

int cutQuoteChar(char *s)
{
    if (*s != '"') {
        return 0;
    }
    size_t len = std::strlen(s);
    std::memmove(s, s + 1, len);  // the terminator moves along
    len--;
    if (len > 0 && s[len - 1] == '"') {
        s[len - 1] = '\0';
    }
    return 0;
}

char *ChgChr(char *s, int from, int to)
{
    const char old = static_cast<char>(from);
    // Replacing first and then testing the byte as replaced lets a replacement with a lead byte
    // take its neighbour as partner. The walk stays inside the original text even when to is 0.
    for (char *p = s; *p != '\0';) {
        if (*p == old) {
            *p = static_cast<char>(to);
        }
        p += char_width(p);
    }
    return s;
}

int insChar(char *s, int c)
{
    std::memmove(s + 1, s, std::strlen(s) + 1);
    *s = static_cast<char>(c);
    return 0;
}

int cutBackSpace(char *s)
{
    size_t len = std::strlen(s);
    while (len > 0 && is_blank(s[len - 1])) {
        s[--len] = '\0';
    }
    return 0;
}

int bcopy(void *dst, const void *src, int n)
{
    auto *d = static_cast<char *>(dst);
    const auto *from = static_cast<const char *>(src);
    for (int i = 0; i < n; i++) {
        d[i] = from[i];
    }
    return 0;
}

int bakmov(const void *src, void *dst, int n)
{
    const auto *from = static_cast<const char *>(src);
    auto *d = static_cast<char *>(dst);
    for (int i = n - 1; i >= 0; i--) {
        d[i] = from[i];
    }
    return 0;
}

void *clear(void *buf, int value, int n)
{
    auto *d = static_cast<unsigned char *>(buf);
    if (n <= 0) {
        return d;
    }
    std::memset(d, static_cast<uchar>(value), static_cast<size_t>(n));
    return d + n;
}

}  // namespace support
