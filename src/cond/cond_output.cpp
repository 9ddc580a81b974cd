#include "cond/cond_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cond/cond_line.h"
#include "cond/cond_options.h"
#include "support/exit_hook.h"
#include "support/message.h"
#include "support/sj_string.h"

namespace cond {

char excerpt_buf[EXCERPT_SIZE];

[[noreturn]] static void write_failed()
{
    support::errmsg("Error: cannot write to standard output.\n");
    support::fatal_exit(1);
}

// Lines are gathered here and handed to stdio in large blocks: one stdio call per line would
// cost more than everything else done with the line.
constexpr size_t OUT_BLOCK_SIZE = 1 << 16;
static char out_block[OUT_BLOCK_SIZE];  // out_write: output not yet handed to stdout
static size_t out_used;                 // out_write: bytes of out_block in use
static bool out_exit_drain;             // out_write: out_exit is registered with atexit

// Hands the gathered output to stdout; returns false when stdio refuses it.
static bool out_drain()
{
    const size_t n = out_used;
    out_used = 0;
    return std::fwrite(out_block, 1, n, stdout) == n;
}

// Every run that ends, by an error too, keeps the lines written before the end: exit flushes
// stdout, and this runs before that. A failure here can no longer be reported.
static void out_exit() { out_drain(); }

static void out_write(const char *p, size_t n)
{
    // n is at most a line and its number, far less than the block.
    if (n > OUT_BLOCK_SIZE - out_used && !out_drain()) {
        write_failed();
    }
    if (!out_exit_drain) {
        std::atexit(out_exit);
        out_exit_drain = true;
    }
    std::memcpy(out_block + out_used, p, n);
    out_used += n;
}

int put_line(const char *line)
{
    if (opt_n) {
        // "%6d: " by hand: one formatted call per line would dominate the cost of a run.
        char num[16];
        char *end = num + sizeof num;
        char *w = end;
        *--w = ' ';
        *--w = ':';
        long v = line_no;
        const bool neg = v < 0;
        if (neg) {
            v = -v;
        }
        do {
            *--w = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        if (neg) {
            *--w = '-';
        }
        while (end - w < 8) {
            *--w = ' ';
        }
        out_write(w, static_cast<size_t>(end - w));
    }
    const size_t len = static_cast<size_t>(line_len);
    if (line_cr && len > 0 && line[len - 1] == '\n') {
        out_write(line, len - 1);
        out_write("\r\n", 2);
    } else {
        out_write(line, len);
    }
    return 0;
}

int put_line_sel(const char *line, int keep)
{
    if (keep != opt_v) {
        put_line(line);
    }
    return 0;
}

char *line_excerpt(const char *p)
{
    excerpt_buf[0] = '[';
    std::strncpy(excerpt_buf + 1, p, 1000);
    excerpt_buf[1000] = '\0';
    char *nl = support::index(excerpt_buf + 1, '\n');
    if (nl != nullptr) {
        *nl = '\0';
    }
    std::strcat(excerpt_buf, "]");
    return excerpt_buf;
}

void line_error(const char *fmt, const char *p)
{
    support::errmsg(fmt, line_no, line_excerpt(p));
    support::fatal_exit(1);
}

void output_flush()
{
    if (!out_drain() || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        write_failed();
    }
}

void output_reset()
{
    std::memset(excerpt_buf, 0, sizeof excerpt_buf);
    // Lines a run gathered but never handed over (it ended through an intercepted exit) belong to
    // that run, not to the next one.
    out_used = 0;
    std::clearerr(stdout);
}

}  // namespace cond
