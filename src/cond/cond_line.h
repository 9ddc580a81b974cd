// The input file and the shared line buffer: the scanner and the block processor read the same
// file into the same buffer, one line at a time, and count lines and open conditionals here.
#pragma once

#include <cstdio>

namespace cond {

constexpr int BUFF_SIZE = 4098;  // byte 0 a blank, read area 1..4096, byte 4097 always NUL
constexpr int LINE_READ = 4096;  // most bytes one read puts into the read area
constexpr int LINE_MAX = 4094;   // longest accepted line, its newline included

extern char buff[BUFF_SIZE];  // line_read: the current line from byte 1, NUL after its end
extern FILE *fp;              // line_open: the input file, open until the run ends
extern int line_no;           // line_read: number of the line last read, from 1
extern int if_depth;          // scanner and block processor: conditionals open
extern int line_len;          // line_read: bytes of the line from buff + 1, newline included
extern int line_cr;           // line_read: 1 when a CR stood before the line's newline

// Opens the named file for reading. Returns 0, or -1 when it cannot be opened or is a directory.
// Any other read error ends the run with a message.
int line_open(const char *name);

// Reads the next line into buff from byte 1 and counts it in line_no. A CR directly before the
// newline is taken out of the text (and remembered in line_cr), so the logic sees LF alone. The
// text is cut after LINE_READ bytes; a longer line is the caller's error. Returns 1, or 0 at the
// end of the input. A read error ends the run with a message.
int line_read();

// Closes the input and puts the module back to its process-start state.
void line_reset();

}  // namespace cond
