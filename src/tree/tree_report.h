// Everything velkrun-tree writes to its standard streams: per-file lines, failure messages and
// the progress line on a terminal, which is cleared before any other text is written to stderr.
// Called from the main thread only.
#pragma once

#include <string>

namespace tree {

// Turns the progress line on (when stderr is a terminal and --quiet is not given) or off.
void report_start(bool progress_on);

// Writes text to standard output as it is.
void report_out(const std::string &text);

// Writes "velkrun-tree: WHAT: LINE" to standard error for each non-empty line of msg (a CR before
// a newline dropped).
void report_fail(const std::string &what, const std::string &msg);

// Writes "velkrun-tree: TEXT" and a newline to standard error.
void report_note(const std::string &text);

// Redraws the progress line "N of T files, LABEL COUNT, refused R, failed F" (the refused part
// only when R is above 0; at most ten times a second unless force).
void report_progress(int done, int total, const char *label, int count, int refused, int failed,
                     bool force);

// Clears the progress line, if shown.
void report_progress_clear();

// True when a write to standard output has failed so far.
bool report_out_failed();

// Puts the module back to its process-start state.
void report_reset();

}  // namespace tree
