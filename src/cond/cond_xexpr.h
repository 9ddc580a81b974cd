// The -x expression reader: every #if, #elif, #ifdef and #ifndef condition the C preprocessor
// reads, evaluated against the pattern table with three values (known false, known true, unknown)
// in the integer arithmetic of the preprocessor (64-bit, signed and unsigned). A condition that
// stays unknown yields the ranges whose removal simplifies it. Nothing here allocates: the
// parse lives in fixed module-level arrays, and nothing here ends the run.
#pragma once

#include <cstdint>

namespace cond {

// Results of the readers.
constexpr int X_FALSE = 0;
constexpr int X_TRUE = 1;
constexpr int X_UNKNOWN = 2;  // the lists do not settle it
constexpr int X_BAD = 3;      // malformed, or an error of known values (division by zero)

constexpr int XNODE_MAX = 4096;  // terms and operators of one condition, at most
constexpr int XDEPTH_MAX = 200;  // nesting of parentheses and unary operators, at most

// Reads the #if/#elif expression of len bytes at text (continuation splices already taken out;
// comments and a final newline allowed; no terminator needed). Returns X_FALSE, X_TRUE,
// X_UNKNOWN or X_BAD. After X_UNKNOWN, xcut_count ranges [xcut_from, xcut_to) of text, in
// ascending order and apart, are the known-true && operands and known-false || operands with
// their operators: leaving them out keeps the condition's truth for every value of the unknown
// names; xcut_count 0 means nothing can be left out. While names outside the lists are unsettled
// (list_mode without LIST_MODE_UNDEF), an expression with no name in it stays unknown, uncut.
int xexpr_if(const char *text, int len);

// Reads an #ifdef/#ifndef operand: exactly one name, comments around it allowed. Returns whether
// the name is defined (X_TRUE, X_FALSE, X_UNKNOWN), or X_BAD for anything else.
int xexpr_ifdef(const char *text, int len);

extern int xcut_count;            // xexpr_if: ranges to leave out
extern int xcut_from[XNODE_MAX];  // xexpr_if: start of each range
extern int xcut_to[XNODE_MAX];    // xexpr_if: end of each range (exclusive)

// Reads a C integer constant (decimal, octal, hex or binary, suffixes u, l, ll in any accepted
// combination) that takes exactly the n bytes at p. Stores its value and 1 in *uns when its type
// is unsigned, 0 when signed; returns false (nothing stored) when malformed or too large.
bool xnum_read(const char *p, int n, std::uint64_t *value, int *uns);

// Clears the parse arrays and the cut ranges.
void xexpr_reset();

}  // namespace cond
