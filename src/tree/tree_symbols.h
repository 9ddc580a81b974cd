// velkrun-tree --symbols: the names a tree tests in its conditionals. The workers read the files
// with the filter's own names scan (cond_names) and answer with what they found; the tallies and
// the table, settled by the filter's own pattern table, are made in the run.
#pragma once

#include <cstddef>
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

// Fills the filter's option flags and pattern table from the velkrun options (vopts), for the
// SETTLED column. Returns 0, or 2 after a message when the filter refuses them.
int symbols_setup();

// In a worker: the names scan's sink (cond::name_sink); appends one report to the answer, a
// std::string at ctx.
void symbols_note(int kind, const char *name, std::size_t len, int line, void *ctx);

// In a worker: ends one file's part of the answer; msg is empty, or why the file was not read.
void symbols_end(const std::string &msg, std::string *answer);

// In the run: reads one file's part of an answer from the left bytes at *p into out and msg,
// moving both on past it. Returns 1, 0 when the bytes end before the file's end, or -1 when
// they are malformed.
int symbols_read(const char **p, std::size_t *left, sym_file &out, std::string &msg);

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
