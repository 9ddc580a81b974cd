// The run: the command line, the help text, the scan and the exit status.
#pragma once

#include "cond/cond_names.h"

namespace cli {

// One whole run of velkrun over argv (which set_list cuts and rewrites in place). Returns 0 when
// the run completes or the help text was written; every error leaves through support::fatal_exit
// with status 1 after its message.
int run(int argc, char **argv);

// The names scan (cond::names_scan) over argv as velkrun would be given it, with any number of
// files: names_setup reads the options as run reads them and returns the index of the first file
// (a malformed command line ends as in run); names_file then scans one file and closes it,
// returning 0, or -1 when it cannot be read (errno says why).
int names_setup(int argc, char **argv);
int names_file(const char *file, cond::name_sink sink, void *ctx);

// Closes the file of a names scan that a fatal error ended, so that the next file can be scanned.
void names_close();

// Reads the options and fills the pattern table. Returns the index in argv of the file name (argc
// when there is none), or -1 for a malformed command line. Writes no message of its own.
int set_option(int argc, char **argv);

// Appends the names of one list argument (cut at its commas in place, then converted) to the
// pattern table with value (1 defined, 0 undefined). Returns 0, or -1 after writing the message
// for an invalid name or for a table already full.
int set_list(char *list, int value);

// Puts every module of the filter back to its process-start state.
void run_reset();

}  // namespace cli
