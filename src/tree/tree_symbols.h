// velkrun-tree --symbols: the names a tree tests in its conditionals, read in process with the
// filter's own lexer and settled by the filter's own pattern table. Files are scanned on worker
// threads; the tallies and the table are made on the main thread.
#pragma once

#include <string>
#include <vector>

namespace tree {

// A name within sym_file::text.
struct sym_name {
    unsigned offset;
    unsigned length;
};

// One name tested by one conditional directive: where it first stands in that directive.
struct sym_use {
    sym_name name;
    int line;  // physical line, from 1
};

// What one file holds: its tested names, directive by directive in text order (each name once
// per directive), and the names of its #define and #undef lines; every name's bytes in text, so
// that a file costs a few allocations however many names it holds.
struct sym_file {
    std::string text;
    std::vector<sym_use> uses;
    std::vector<sym_name> defines;
};

// Fills the filter's option flags and pattern table from the velkrun options (vopts). Returns 0,
// or 2 after a message when the filter refuses them.
int symbols_setup();

// Reads and scans one file into out (safe on any thread; the lexer runs under a lock of its own).
// Returns true, or false with the reason in err when the file cannot be read.
bool symbols_scan(const std::string &file, sym_file &out, std::string &err);

// Adds one scanned file to the tallies (taking its defines), in sorted file order; returns its
// --locate lines ("FILE:LINE: NAME"), empty unless locate.
std::string symbols_add(const std::string &file, sym_file &scan, bool locate);

// The table, one line per name: NAME, FILES, LINES, DEFINES, SETTLED, tab-separated, sorted by
// FILES descending, then NAME in byte order. Counts the names in *names and the open ones in *open.
std::string symbols_table(int *names, int *open);

// Names tallied so far.
int symbols_count();

// Empties the tallies.
void symbols_reset();

}  // namespace tree
