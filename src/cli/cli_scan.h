// The top-level pass over the input file.
#pragma once

namespace cli {

// Reads the named file line by line, writes the top-level lines (none under -v) and hands every
// conditional to the block processor. Returns 0 at the end of the file, also inside an open
// conditional (if_depth then says so). Every error, an unreadable file included, ends the run.
int scan_file(const char *name);

}  // namespace cli
