// Message output: the writers every diagnostic goes through, their formatter and the message log.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace support {

// Selected by the application: null writes to standard error, the all-ones pointer value
// (errfp_stdout) to standard output, any other stream is honoured by errmsg1 only.
extern FILE *errfp;
inline FILE *const errfp_stdout = reinterpret_cast<FILE *>(~static_cast<std::uintptr_t>(0));
extern const char *cmd_name;  // application: the program's name, "velkrun: "; no writer reads it
extern int errmsgWrite_flg;   // application: non-zero turns on logging by errmsgf
extern int errmsg_output_flg; // set by every errmsg: at least one message has been shown

// Writes fmt (formatted by err_edit when it holds a '%') to standard output when errfp is the
// all-ones value (through the output stage, drained at once), else to standard error; then sets
// errmsg_output_flg. Never ends the run.
void errmsg(const char *fmt, ...);

// Reports fmt as errmsg does and ends the run with status 1 (support::fatal_exit). Every error
// that ends a run is reported through here.
[[noreturn]] void fatal(const char *fmt, ...);

// As errmsg, but writes to errfp itself when it is another non-null stream; leaves
// errmsg_output_flg alone.
void errmsg1(const char *fmt, ...);

// With logging on, writes the message and a newline to "message.log" (opened, emptied, on the
// first call after a start or an "end"); "end" closes the log. Returns 0 with logging off, the
// close result for "end", else the last character written (10) or -1.
int errmsgf(const char *fmt, ...);

// Formats fmt with the conversions c, d, x, f and s into a static 1280-byte buffer, stopping once
// 1024 bytes stand; a "%s" that would pass 1024 is cut to leave the text at 768 bytes (left out
// when more than 768 already stand), and nothing is ever written past the buffer. Returns that
// buffer, good until the next formatting call.
char *err_edit(const char *fmt, va_list ap);

// Puts the module back to its process-start state (closes an open log, clears the flags).
void message_reset();

}  // namespace support
