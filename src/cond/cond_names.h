// The names a file's conditionals test, read by the filter's own line reader and lexer: what
// velkrun-tree --symbols and --locate report. Also what the pattern table makes of one name.
#pragma once

#include <cstddef>

namespace cond {

// What names_scan reports, in text order.
constexpr int NAME_CONDITION = 0;  // a conditional directive (#if, #ifdef, #ifndef, #elif) starts
constexpr int NAME_TESTED = 1;     // a name its text tests (outside comments and literals)
constexpr int NAME_DEFINED = 2;    // the name of a #define or #undef line

// Receives one report: its kind, the name's bytes (none for NAME_CONDITION) and the physical line,
// from 1, where it stands. The bytes last only for the call.
using name_sink = void (*)(int kind, const char *name, std::size_t len, int line, void *ctx);

// Reads the named file through the line reader with the options set (-T: plain text), reporting
// to sink. A conditional goes on past a backslash at the end of its line and through a comment
// still open there, as in the C preprocessor, and so does a line comment behind a backslash.
// Lines of any length are read. Returns 0, or -1 when the file cannot be opened or its first block
// read (errno says why); a later read error ends the run with its message. The file stays open
// until names_reset.
int names_scan(const char *file, name_sink sink, void *ctx);

// What the pattern table makes of the name of len bytes (COND_TRUE, COND_FALSE or COND_UNKNOWN),
// decided as for a name in a condition; a name longer than NAME_MAX_LEN, which the filter refuses
// in a condition, is matched all the same.
int name_value(const char *name, std::size_t len);

// Closes the file and forgets the scan's state.
void names_reset();

}  // namespace cond
