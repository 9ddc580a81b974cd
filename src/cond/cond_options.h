// Run options and the pattern table: set from the command line before the scan, read by the
// scanner, the block processor and the evaluator, never changed while a file is scanned.
#pragma once

#include <cstdint>

namespace cond {

constexpr int LIST_MAX = 256;       // entries of the pattern table, shared by every list
constexpr int LIST_MODE_UNDEF = 4;  // list_mode flag: names in no list count as undefined

extern int opt_v;      // -v: write the lines the filter removes instead of the kept ones
extern int opt_n;      // -n: write every line behind its input line number
extern int opt_T;      // -T: plain text, comments and literals are not tracked
extern int opt_x;      // -x: every preprocessor condition is read (cond_xblock, cond_xexpr)
extern int list_mode;  // command line: LIST_MODE_UNDEF or 0

extern char *list_name[LIST_MAX];  // command line: converted patterns, pointing into argv
extern int list_value[LIST_MAX];   // command line: 1 a matching name is defined, 0 undefined
extern int list_count;             // command line: entries in use
// command line, under -x: the value of a defined entry (NAME=VALUE, else 1) as its 64 bits, and 1
// when its type is unsigned
extern std::uint64_t list_num[LIST_MAX];
extern int list_uns[LIST_MAX];

// Puts the flags and the table back to their process-start values (all zero).
void options_reset();

}  // namespace cond
