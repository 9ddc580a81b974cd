#include "cond/cond_match.h"

#include <cstring>

#include "support/sj_string.h"

namespace cond {

const char *match_top;   // set by match: start of the segment a leading run placed
const char *match_next;  // set by match: text position behind the matched span

// Largest input of the search conversions: 510 steps of at most two bytes, a leading and a
// closing WILD_RUN and the terminator.
constexpr int SEARCH_STEPS = 510;
static char search_buf[1 + SEARCH_STEPS * 2 + 2];  // shared result of both search conversions

using support::char_width;

int conv_search_str(char *s, int esc)
{
    const char *r = s;
    char *w = s;
    int ordinary = 0;
    while (*r != '\0') {
        if (esc && *r == '\\') {
            if (r[1] == '\0') {
                break;
            }
            *w++ = r[1];
            r += 2;
            ordinary = 1;
        } else if (*r == '?') {
            *w++ = WILD_ONE;
            r++;
        } else if (*r == '*') {
            while (*r == '*') {
                r++;
            }
            *w++ = WILD_RUN;
        } else if (char_width(r) == 2) {
            *w++ = *r++;
            *w++ = *r++;
            ordinary = 1;
        } else {
            if (*r != WILD_ONE && *r != WILD_RUN) {
                ordinary = 1;
            }
            *w++ = *r++;
        }
    }
    *w = '\0';
    return ordinary;
}

// Compares the segment at p (up to the next WILD_RUN or its end) with the text from t. Returns
// the text position behind it when the whole segment fits, else null.
static const char *seg_fit(const char *p, const char *t)
{
    while (*p != '\0' && *p != WILD_RUN) {
        if (*t == '\0') {
            return nullptr;
        }
        if (*p == WILD_ONE) {
            t += char_width(t);
        } else if (*p != *t) {
            return nullptr;
        } else {
            t++;
        }
        p++;
    }
    return t;
}

int match(const char *pat, const char *text)
{
    match_next = text;
    const char *last_run = nullptr;  // found when the first WILD_RUN is met
    const char *p = pat;
    const char *t = text;
    for (;;) {
        if (*t == '\0') {
            while (*p == WILD_RUN) {
                p++;
            }
            if (*p != '\0') {
                return 0;
            }
            match_next = t;
            return 1;
        }
        if (*p == '\0') {
            return 0;
        }
        if (*p == WILD_ONE) {
            p++;
            t += char_width(t);
            continue;
        }
        if (*p != WILD_RUN) {
            if (*p != *t) {
                return 0;
            }
            p++;
            t++;
            continue;
        }
        const char *run = p++;
        if (*p == '\0') {
            match_next = t;
            if (run == pat) {
                match_top = t;
            }
            return 1;
        }
        if (*p == WILD_RUN) {
            continue;
        }
        if (last_run == nullptr) {
            last_run = std::strrchr(pat, WILD_RUN);
        }
        const char *seg_end = std::strchr(p, WILD_RUN);
        if (seg_end == nullptr) {
            seg_end = p + std::strlen(p);
        }
        if (run == last_run) {
            // The last segment is tied to the end of the text.
            const size_t seg_len = static_cast<size_t>(seg_end - p);
            for (const char *s = t; *s != '\0'; s += char_width(s)) {
                if (*p != WILD_ONE && *p != *s) {
                    continue;
                }
                if (std::strlen(s) < seg_len) {
                    return 0;
                }
                const char *e = seg_fit(p, s);
                if (e != nullptr && *e == '\0') {
                    match_next = e;
                    return 1;
                }
            }
            return 0;
        }
        // A middle segment takes its leftmost fit and is never moved again.
        const char *placed = nullptr;
        const char *s = t;
        for (; *s != '\0'; s += char_width(s)) {
            if (*p != WILD_ONE && *p != *s) {
                continue;
            }
            placed = seg_fit(p, s);
            if (placed != nullptr) {
                break;
            }
        }
        if (placed == nullptr) {
            return 0;
        }
        if (run == pat) {
            match_top = s;
        }
        p = seg_end;
        t = placed;
    }
}

// Bit of an identifier character in the sets of ident_set, or -1 for any other byte.
static int ident_bit(unsigned char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'Z') {
        return 10 + (c - 'A');
    }
    if (c >= 'a' && c <= 'z') {
        return 36 + (c - 'a');
    }
    return c == '_' ? 62 : -1;
}

std::uint64_t ident_set(const char *text, std::size_t len)
{
    std::uint64_t set = 0;
    for (std::size_t i = 0; i < len; i++) {
        const int bit = ident_bit(static_cast<unsigned char>(text[i]));
        if (bit >= 0) {
            set |= std::uint64_t{1} << bit;
        }
    }
    return set;
}

// Every ordinary pattern byte is compared with exactly one text byte and each WILD_ONE takes one
// character of one or two bytes, so the text holds every ordinary byte and its length lies
// between the bounds; the first and last ordinary bytes, where nothing stands before or after
// them, meet the text's first and last bytes.
void pat_filter(const char *pat, PatFilter *f)
{
    const std::size_t n = std::strlen(pat);
    f->first = -1;
    f->last = -1;
    f->min_len = 0;
    f->max_len = 0;
    f->needs = 0;
    bool run = false;
    for (std::size_t i = 0; i < n; i++) {
        const unsigned char c = static_cast<unsigned char>(pat[i]);
        if (c == WILD_RUN) {
            run = true;
        } else if (c == WILD_ONE) {
            f->min_len += 1;
            f->max_len += 2;
        } else {
            f->min_len += 1;
            f->max_len += 1;
            const int bit = ident_bit(c);
            if (bit >= 0) {
                f->needs |= std::uint64_t{1} << bit;
            }
        }
    }
    if (run) {
        f->max_len = SIZE_MAX;
    }
    if (n > 0 && pat[0] != WILD_RUN && pat[0] != WILD_ONE) {
        f->first = static_cast<unsigned char>(pat[0]);
    }
    if (n > 0 && pat[n - 1] != WILD_RUN && pat[n - 1] != WILD_ONE) {
        f->last = static_cast<unsigned char>(pat[n - 1]);
    }
}

// The two search conversions: backslash escapes, each * a WILD_RUN, ^ a WILD_CARET when caret is
// set; wrapped in runs when wrap_always is set or a wildcard was converted.
static char *conv_search(const char *s, bool caret, bool wrap_always)
{
    char *w = search_buf + 1;
    bool wild = false;
    for (int steps = 0; *s != '\0' && steps < SEARCH_STEPS; steps++) {
        if (*s == '\\') {
            if (s[1] == '\0') {
                break;
            }
            *w++ = s[1];
            s += 2;
        } else if (*s == '?') {
            *w++ = WILD_ONE;
            s++;
            wild = true;
        } else if (*s == '*') {
            *w++ = WILD_RUN;
            s++;
            wild = true;
        } else if (caret && *s == '^') {
            *w++ = WILD_CARET;
            s++;
        } else if (char_width(s) == 2) {
            *w++ = *s++;
            *w++ = *s++;
        } else {
            *w++ = *s++;
        }
    }
    if (!wild && !wrap_always) {
        *w = '\0';
        return search_buf + 1;
    }
    search_buf[0] = WILD_RUN;
    *w++ = WILD_RUN;
    *w = '\0';
    return search_buf;
}

char *conv_search_str1(const char *s) { return conv_search(s, false, false); }

char *conv_search_find(const char *s) { return conv_search(s, true, true); }

void match_reset()
{
    match_top = nullptr;
    match_next = nullptr;
    std::memset(search_buf, 0, sizeof search_buf);
}

}  // namespace cond
