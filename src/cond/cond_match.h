// Name patterns: list entries with the wildcards ? and * converted once into bytes of their own,
// then matched against whole names (or, wrapped in runs, searched for inside a text).
#pragma once

#include <cstddef>
#include <cstdint>

namespace cond {

constexpr char WILD_ONE = 1;    // any one character (a Shift_JIS pair counts as one)
constexpr char WILD_RUN = 2;    // any run of characters, the empty run included
constexpr char WILD_CARET = 3;  // from '^' by conv_search_find; match gives it no meaning

// Span of the last successful match inside the text given to match; public results for callers
// that search inside a text. match_top is written only when a leading run placed a segment or a
// lone run matched; otherwise it keeps its earlier value.
extern const char *match_top;
extern const char *match_next;

// Converts a pattern in place: ? to WILD_ONE, each run of * to one WILD_RUN, with esc a backslash
// makes the next byte ordinary. Returns 1 when an ordinary character remains, else 0. Converting
// an already converted pattern (esc 0) changes nothing.
int conv_search_str(char *s, int esc);

// 1 when the whole text matches the whole converted pattern, else 0; sets match_next (and in some
// cases match_top).
int match(const char *pat, const char *text);

// Converts s (backslash always an escape, each * its own WILD_RUN, at most 510 input steps) into
// the module's static search buffer; wrapped in WILD_RUN bytes only when a wildcard was converted.
// The result is overwritten by the next conversion.
char *conv_search_str1(const char *s);

// As conv_search_str1, with ^ as WILD_CARET and the result always wrapped in WILD_RUN bytes.
char *conv_search_find(const char *s);

// What a converted pattern demands of every whole text that it matches. A lookup tests these
// first and runs match only where they hold, so most patterns cost a few comparisons.
struct PatFilter {
    int first;            // byte the text begins with, or -1: any
    int last;             // byte the text ends with, or -1: any
    std::size_t min_len;  // fewest bytes of the text
    std::size_t max_len;  // most bytes; SIZE_MAX when the pattern holds a WILD_RUN
    std::uint64_t needs;  // identifier characters the text must hold (see ident_set)
};

// Fills f from the converted pattern pat.
void pat_filter(const char *pat, PatFilter *f);

// The identifier characters (digits, letters, '_') among the len bytes at text, as a set.
std::uint64_t ident_set(const char *text, std::size_t len);

// false when match(pat, text) is certainly 0 for the pattern behind f, the text of len bytes
// (and its terminator) and its ident_set have; true when match must decide.
inline bool pat_may_match(const PatFilter &f, const char *text, std::size_t len, std::uint64_t have)
{
    // The first byte, tested first, rules out the most; text[0] is the terminator when len is 0.
    return (f.first < 0 || static_cast<unsigned char>(text[0]) == f.first) && len >= f.min_len &&
           len <= f.max_len &&
           (f.last < 0 || static_cast<unsigned char>(text[len - 1]) == f.last) &&
           (f.needs & ~have) == 0;
}

// Puts the module back to its process-start state.
void match_reset();

}  // namespace cond
