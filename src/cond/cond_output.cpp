#include "cond/cond_output.h"

#include <cstring>

#include "cond/cond_line.h"
#include "cond/cond_options.h"
#include "support/message.h"
#include "support/out_stage.h"
#include "support/sj_string.h"

namespace cond {

char excerpt_buf[EXCERPT_SIZE];

// Writes "%6d: " for no, right-aligned to end, and returns where it begins. By hand: one
// formatted call per line would dominate the cost of a run.
static char *number_field(char *end, long no)
{
    char *w = end;
    *--w = ' ';
    *--w = ':';
    long v = no;
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
    return w;
}

// Turns the field number_field made for a positive number into the one for the next number.
static char *number_next(char *start, char *end)
{
    char *d = end - 3;  // the last digit
    while (d >= start && *d == '9') {
        *d-- = '0';
    }
    if (d < start) {
        *--start = '1';  // one digit more than the field had room for
    } else {
        *d = *d == ' ' ? '1' : static_cast<char>(*d + 1);
    }
    return start;
}

// Writes one line as put_line does: the number under -n, the text, and CR LF for crlf.
static void out_line(const char *text, size_t len, bool crlf, long no)
{
    if (opt_n) {
        char num[24];
        char *const end = num + sizeof num;
        const char *w = number_field(end, no);
        support::out_write(w, static_cast<size_t>(end - w));
    }
    support::out_write(text, len);
    if (crlf) {
        support::out_write("\r\n", 2);
    }
}

int put_line(const char *line)
{
    const size_t len = static_cast<size_t>(line_len);
    if (line_cr && len > 0 && line[len - 1] == '\n') {
        out_line(line, len - 1, true, line_no);
    } else {
        out_line(line, len, false, line_no);
    }
    return 0;
}

// Writes the line at p (its newline at nl) as put_line writes it: text and CR LF apart, so that
// the block is handed over between them when only the text fits.
static void out_span_line(const char *p, const char *nl, long no)
{
    const size_t len = static_cast<size_t>(nl - p) + 1;
    if (len >= 2 && nl[-1] == '\r') {
        out_line(p, len - 2, true, no);
    } else {
        out_line(p, len, false, no);
    }
}

void put_span(const char *p, size_t n, long first_no)
{
    const char *const end = p + n;
    if (opt_n) {
        // Each line has its number in front, counted on from the first in place.
        char num[24];
        char *const num_end = num + sizeof num;
        char *field = number_field(num_end, first_no);
        while (p < end) {
            const char *nl =
                static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
            const size_t len = static_cast<size_t>(nl - p) + 1;
            support::out_write(field, static_cast<size_t>(num_end - field));
            if (len >= 2 && nl[-1] == '\r') {
                support::out_write(p, len - 2);
                support::out_write("\r\n", 2);
            } else {
                support::out_write(p, len);
            }
            field = number_next(field, num_end);
            p = nl + 1;
        }
        return;
    }
    // Written one by one, the lines that fit would go into the block, and the block would be
    // handed over at the first line that does not: the same cut, so that a failing write ends the
    // run at the same line.
    while (static_cast<size_t>(end - p) > support::out_room()) {
        const char *fit = p + support::out_room();
        while (fit > p && fit[-1] != '\n') {
            fit--;  // back to the end of the last whole line that fits
        }
        support::out_write(p, static_cast<size_t>(fit - p));
        const char *nl =
            static_cast<const char *>(std::memchr(fit, '\n', static_cast<size_t>(end - fit)));
        out_span_line(fit, nl, 0);
        p = nl + 1;
    }
    support::out_write(p, static_cast<size_t>(end - p));
}

void put_text_line(const char *text, size_t len, long no) { out_line(text, len, false, no); }

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

void line_error(const char *fmt, const char *p) { support::fatal(fmt, line_no, line_excerpt(p)); }

void output_reset()
{
    std::memset(excerpt_buf, 0, sizeof excerpt_buf);
    // Lines a run gathered but never handed over (it ended through an intercepted exit) belong to
    // that run, not to the next one.
    support::out_reset();
}

}  // namespace cond
