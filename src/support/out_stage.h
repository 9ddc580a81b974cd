// The one owner of standard output: every byte the program writes there (lines, the help text,
// messages sent to standard output) is gathered in one block and handed to stdio in large pieces.
// The block is drained at the end of a run (out_flush) and on every early exit (fatal_exit).
#pragma once

#include <cstddef>
#include <cstring>

namespace support {

// One stdio call per line would cost more than everything else done with the line.
constexpr std::size_t OUT_BLOCK_SIZE = std::size_t{1} << 16;

extern char out_block[OUT_BLOCK_SIZE];  // out_write: bytes not yet handed to stdout
extern std::size_t out_used;            // out_write, out_drain: bytes of out_block in use

// Hands the block to stdout to make room for n more bytes, then takes them (directly to stdout
// when n exceeds the block). A failed hand-over ends the run with the write-error message.
void out_write_long(const char *p, std::size_t n);

// Appends n bytes to the block; when they do not fit, the block is handed to stdout first, so a
// failing write surfaces at the first piece that does not fit. Ends the run as out_write_long.
inline void out_write(const char *p, std::size_t n)
{
    if (n > OUT_BLOCK_SIZE - out_used) {
        out_write_long(p, n);
        return;
    }
    std::memcpy(out_block + out_used, p, n);
    out_used += n;
}

// Bytes that out_write takes now without handing the block over.
inline std::size_t out_room() { return OUT_BLOCK_SIZE - out_used; }

// Hands the block to stdout and flushes stdout, so nothing stays buffered anywhere. Returns false
// when stdio refused the bytes, now or at an earlier write; never ends the run.
bool out_drain();

// As out_drain, but a failure ends the run with "Error: cannot write to standard output.\n"
// (through fatal) and status 1.
void out_flush();

// Where the block goes instead of stdout: a function taking n bytes at p, false when it cannot.
using out_sink_fn = bool (*)(const char *p, std::size_t n);

// Sends every later hand-over to sink instead of stdout (null restores stdout); returns the sink it
// replaces. A process that runs the filter on many files sends each file's output where it is
// wanted.
out_sink_fn set_out_sink(out_sink_fn sink);

// Drops what the block holds (a run that ended through an intercepted exit leaves it to no one)
// and clears stdout's error state.
void out_reset();

}  // namespace support
