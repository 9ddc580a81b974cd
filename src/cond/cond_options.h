// Run options and the pattern table: set from the command line before the scan, read by the
// scanner, the block processor and the evaluator, never changed while a file is scanned.
#pragma once

namespace cond {

constexpr int LIST_MAX = 256;       // entries of the pattern table, shared by every list
constexpr int LIST_MODE_UNDEF = 4;  // list_mode flag: names in no list count as undefined

extern int opt_v;      // -v: write the lines the filter removes instead of the kept ones
extern int opt_n;      // -n: write every line behind its input line number
extern int opt_T;      // -T: plain text, comments and literals are not tracked
extern int list_mode;  // command line: LIST_MODE_UNDEF or 0

extern char *list_name[LIST_MAX];  // command line: converted patterns, pointing into argv
extern int list_value[LIST_MAX];   // command line: 1 a matching name is defined, 0 undefined
extern int list_count;             // command line: entries in use

// Puts the flags and the table back to their process-start values (all zero).
void options_reset();

}  // namespace cond
