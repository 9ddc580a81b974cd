// The command line of velkrun-tree: its own options, the velkrun options handed through to every
// run, and the paths after "--".
#pragma once

#include <string>
#include <vector>

namespace tree {

extern const char *const prog_name;   // "velkrun-tree", the prefix of every message
extern const char *const usage_line;  // the first line of --help and of every usage error

extern int dry_run;         // --dry-run: report what would change, write nothing
extern int check_mode;      // --check: as --dry-run, status 1 when any file would change
extern int diff_mode;       // --diff: a unified diff of every change on stdout, write nothing
extern int symbols_mode;    // --symbols: list the names the conditionals test, write nothing
extern int locate_mode;     // --locate: with --symbols, one line per name per directive
extern int quiet;           // --quiet: no progress line, no per-file lines on stdout
extern int jobs;            // -j/--jobs: files processed at once; 0 until set (processors)
extern std::string backup;  // --backup: suffix of the kept original, empty for none
extern std::vector<std::string> exts;   // --ext: extensions taken when walking folders
extern std::vector<std::string> vopts;  // velkrun options, in command-line order
extern std::vector<std::string> paths;  // the paths after --

// Reads argv into the state above. Returns 0 to run, 1 when --help was written (status 0), 2
// after writing a usage error to stderr.
int parse_args(int argc, char **argv);

// True when the velkrun options hold a -l, -lA or -d list.
bool has_list();

// True when the file name's extension (after its last '.') is one of exts.
bool has_ext(const std::string &path);

// True in every mode that writes nothing to the tree.
inline bool writes_nothing() { return dry_run || check_mode || diff_mode || symbols_mode; }

// Puts the options back to their process-start values.
void args_reset();

}  // namespace tree
