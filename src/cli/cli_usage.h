// The help text, Japanese, as Shift_JIS bytes.
#pragma once

namespace cli {

constexpr int USAGE_LINES = 30;
constexpr int USAGE_LINE = 2;  // the usage line, also written alone on a malformed command line

// One line per entry without its newline, ended by an empty entry.
extern const char *const usage_msg[USAGE_LINES + 1];

}  // namespace cli
