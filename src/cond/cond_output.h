// Line output (numbered under -n, selected under -v) and the bracketed line excerpts that every
// message about a line quotes.
#pragma once

#include <cstddef>

namespace cond {

constexpr int EXCERPT_SIZE = 1024;
extern char excerpt_buf[EXCERPT_SIZE];  // line_excerpt: '[', at most 999 bytes, ']', NUL

// Writes the current line (line must be buff + 1) to standard output: all line_len bytes, a NUL
// inside included, its CR LF end restored when the input had one; under -n behind "%6d: " with
// line_no. The bytes go through the output stage (support::out_write), whose failed write ends
// the run with a message. Returns 0.
int put_line(const char *line);

// Writes the n bytes at p, whole lines each ending with a newline and numbered from first_no
// under -n, exactly as put_line would write them one at a time from the line buffer (a CR before
// a newline is kept, as put_line restores it).
void put_span(const char *p, size_t n, long first_no);

// Writes the len bytes at text as one line numbered no, as put_line writes a line read with those
// bytes (a CR LF end is written as it stands).
void put_text_line(const char *text, size_t len, long no);

// Writes the current line through put_line exactly when keep (1 survives, 0 removed) differs
// from opt_v. Returns 0.
int put_line_sel(const char *line, int keep);

// '[', the text from p cut at 999 bytes and at its first newline, ']'; in excerpt_buf, good until
// the next call.
char *line_excerpt(const char *p);

// Reports fmt with line_no and the excerpt of the text at p (support::fatal): ends the run with
// status 1.
[[noreturn]] void line_error(const char *fmt, const char *p);

// Puts the module back to its process-start state and drops what the output stage still holds
// (support::out_reset): lines of a run that ended through an intercepted exit.
void output_reset();

}  // namespace cond
