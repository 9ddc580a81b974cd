// Fuzz target: the name pattern matcher. A pattern is converted (conv_search_str in place, with
// or without escapes, or into the search buffer by conv_search_str1 or conv_search_find) and
// matched against a text; over ASCII patterns and texts the answer must be the one of a plain
// backtracking wildcard matcher written here from the rules. Inputs of raw bytes (Shift_JIS pairs,
// a lead byte before the end) are run too, for memory safety and for the span the match reports.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cond/cond_match.h"
#include "fuzz_bytes.h"

namespace {

constexpr int ANY_ONE = -1;
constexpr int ANY_RUN = -2;
constexpr int STEP_LIMIT = 510;  // input steps that the search-buffer conversions take

// Pattern tokens: ANY_ONE, ANY_RUN or a literal byte.
using Tokens = std::vector<int>;

enum class Conv { in_place, in_place_esc, str1, find };

// The pattern as the conversion's rules read it; sets wild when a ? or * was converted.
Tokens tokens_of(const std::string &pat, Conv conv, bool &wild)
{
    const bool esc = conv != Conv::in_place;
    const bool limited = conv == Conv::str1 || conv == Conv::find;
    Tokens t;
    wild = false;
    int steps = 0;
    for (size_t i = 0; i < pat.size() && (!limited || steps < STEP_LIMIT); i++, steps++) {
        char c = pat[i];
        if (esc && c == '\\') {
            if (i + 1 == pat.size()) {
                break;  // a final backslash ends the pattern
            }
            t.push_back(static_cast<unsigned char>(pat[++i]));
        } else if (c == '?') {
            t.push_back(ANY_ONE);
            wild = true;
        } else if (c == '*') {
            t.push_back(ANY_RUN);
            wild = true;
        } else if (c == '^' && conv == Conv::find) {
            t.push_back(3);  // WILD_CARET: matched by no text byte here
        } else {
            t.push_back(static_cast<unsigned char>(c));
        }
    }
    if (conv == Conv::find || (conv == Conv::str1 && wild)) {
        t.insert(t.begin(), ANY_RUN);
        t.push_back(ANY_RUN);
    }
    return t;
}

// Whole-text wildcard match with backtracking to the last run.
bool ref_match(const Tokens &p, const std::string &s)
{
    size_t pi = 0, si = 0;
    size_t star = SIZE_MAX, star_s = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == ANY_RUN) {
            star = pi++;
            star_s = si;
        } else if (pi < p.size() &&
                   (p[pi] == ANY_ONE || p[pi] == static_cast<unsigned char>(s[si]))) {
            pi++;
            si++;
        } else if (star != SIZE_MAX) {
            pi = star + 1;
            si = ++star_s;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == ANY_RUN) {
        pi++;
    }
    return pi == p.size();
}

// A text of up to max_len bytes from the alphabet, or of any bytes but NUL when alphabet is null.
std::string draw(FuzzBytes &in, const char *alphabet, size_t alpha_len, size_t max_len)
{
    std::string s;
    for (size_t n = in.below(static_cast<uint32_t>(max_len + 1)); n > 0 && in.left > 0; n--) {
        const uint8_t b = in.byte();
        s += alphabet ? alphabet[b % alpha_len] : static_cast<char>(b ? b : '?');
    }
    return s;
}

void check_span(const std::string &pat, const std::string &text)
{
    const char *end = text.c_str() + text.size();
    if (cond::match_next < text.c_str() || cond::match_next > end ||
        (cond::match_top != nullptr && (cond::match_top < text.c_str() || cond::match_top > end))) {
        std::fprintf(stderr, "match span outside the text: pattern [%s] text [%s]\n", pat.c_str(),
                     text.c_str());
        std::abort();
    }
}

[[noreturn]] void disagree(const char *what, const std::string &pat, const std::string &text,
                           int got, int want)
{
    std::fprintf(stderr, "matcher disagrees (%s): pattern [%s] text [%s]: got %d, want %d\n", what,
                 pat.c_str(), text.c_str(), got, want);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const char pat_chars[] = "aab?*\\^A_";
    static const char text_chars[] = "aab\\^A_*?";
    FuzzBytes in(data, size);
    cond::match_reset();
    const uint32_t mode = in.below(8);
    if (mode >= 4) {
        std::string raw_pat = draw(in, nullptr, 0, 1200);
        const std::string text = draw(in, nullptr, 0, 400);
        const char *converted =
            mode == 4   ? cond::conv_search_str1(raw_pat.c_str())
            : mode == 5 ? cond::conv_search_find(raw_pat.c_str())
                        : (cond::conv_search_str(raw_pat.data(), mode == 7), raw_pat.c_str());
        cond::match_top = nullptr;
        cond::match(converted, text.c_str());
        check_span(raw_pat, text);
        return 0;
    }
    const Conv conv = static_cast<Conv>(mode);
    const bool limited = conv == Conv::str1 || conv == Conv::find;
    const std::string pat = draw(in, pat_chars, sizeof pat_chars - 1, limited ? 1200 : 400);
    const std::string text = draw(in, text_chars, sizeof text_chars - 1, 400);

    bool wild;
    const Tokens want_tokens = tokens_of(pat, conv, wild);
    std::vector<char> buf(pat.begin(), pat.end());
    buf.push_back('\0');
    const char *converted;
    if (limited) {
        converted = conv == Conv::str1 ? cond::conv_search_str1(buf.data())
                                       : cond::conv_search_find(buf.data());
    } else {
        const int has_plain = cond::conv_search_str(buf.data(), conv == Conv::in_place_esc);
        bool want_plain = false;
        for (int t : want_tokens) {
            want_plain |= t >= 0;
        }
        if (has_plain != want_plain) {
            disagree("conv_search_str result", pat, text, has_plain, want_plain);
        }
        converted = buf.data();
        if (conv == Conv::in_place) {
            // Converting again without escapes changes nothing.
            std::string once(converted);
            cond::conv_search_str(buf.data(), 0);
            if (once != converted) {
                disagree("second conversion", pat, text, 0, 1);
            }
        }
    }
    cond::match_top = nullptr;
    const int got = cond::match(converted, text.c_str());
    check_span(pat, text);
    const int want = ref_match(want_tokens, text);
    if (got != want) {
        disagree("match", pat, text, got, want);
    }
    return 0;
}
