#include "support/out_stage.h"

#include <cstdio>

#include "support/message.h"

namespace support {

char out_block[OUT_BLOCK_SIZE];
std::size_t out_used;
static out_sink_fn out_sink;  // set_out_sink: stands in for stdout

// Hands n bytes at p to the sink or stdout; false when they were refused.
static bool out_put(const char *p, std::size_t n)
{
    if (out_sink) {
        return out_sink(p, n);
    }
    return std::fwrite(p, 1, n, stdout) == n;
}

// Hands the block to stdio; false when stdio refuses it. The block is empty afterwards either
// way, so the error path that follows a failure finds nothing left to write.
static bool out_hand_over()
{
    const std::size_t n = out_used;
    out_used = 0;
    return out_put(out_block, n);
}

[[noreturn]] static void write_failed() { fatal("Error: cannot write to standard output.\n"); }

void out_write_long(const char *p, std::size_t n)
{
    if (!out_hand_over()) {
        write_failed();
    }
    if (n > OUT_BLOCK_SIZE) {
        if (!out_put(p, n)) {
            write_failed();
        }
        return;
    }
    std::memcpy(out_block, p, n);
    out_used = n;
}

bool out_drain()
{
    const bool handed = out_hand_over();
    return std::fflush(stdout) == 0 && handed && !std::ferror(stdout);
}

void out_flush()
{
    if (!out_drain()) {
        write_failed();
    }
}

out_sink_fn set_out_sink(out_sink_fn sink)
{
    out_sink_fn old = out_sink;
    out_sink = sink;
    return old;
}

void out_reset()
{
    out_used = 0;
    std::clearerr(stdout);
}

}  // namespace support
