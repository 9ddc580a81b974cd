#include "support/message.h"

#include <cstring>

#include "support/exit_hook.h"
#include "support/out_stage.h"
#include "support/sj_string.h"

namespace support {

FILE *errfp;                         // application: where errmsg1 writes (see the header)
const char *cmd_name = "velkrun: ";  // application: the program's name; kept for callers only
int errmsgWrite_flg;                 // application: non-zero turns on logging by errmsgf
int errmsg_output_flg;               // errmsg: 1 once any message has been shown

namespace {

// Formatting stops once this much text stands; a "%s" that would cross it is cut so that the text
// stands at the reserve mark, leaving room for the rest of the format.
constexpr int edit_limit = 1024;
constexpr int edit_reserve_mark = 768;
constexpr int edit_buf_size = edit_limit + 256;

char err_edit_buf[edit_buf_size];  // err_edit: the text of the last formatting
FILE *errmsg_log_fp;               // errmsgf: the open "message.log", null while closed

// Appends up to len bytes of src at used, never past the last byte kept for the terminator;
// returns the new used count.
int edit_append(int used, const char *src, int len)
{
    int room = edit_buf_size - 1 - used;
    if (len > room) {
        len = room;
    }
    if (len > 0) {
        std::memcpy(err_edit_buf + used, src, static_cast<size_t>(len));
        used += len;
    }
    return used;
}

// The text a writer puts out: the format itself unless it holds a '%'.
const char *message_text(const char *fmt, va_list ap)
{
    return Strchr(fmt, '%') ? err_edit(fmt, ap) : fmt;
}

// Writes text to out; standard output only through the output stage, after the lines gathered
// there and before anything written later. A failed write is not reported: the message is the
// report.
void put_text(const char *text, FILE *out)
{
    if (out != stdout) {
        std::fputs(text, out);
        return;
    }
    out_write(text, std::strlen(text));
    out_drain();
}

FILE *console_stream()
{
    return errfp == errfp_stdout ? stdout : stderr;
}

// errmsg with its arguments already gathered.
void vmessage(const char *fmt, va_list ap)
{
    put_text(message_text(fmt, ap), console_stream());
    errmsg_output_flg = 1;
}

}  // namespace

char *err_edit(const char *fmt, va_list ap)
{
    // Large enough for any int in decimal and any double in fixed notation (309 digits at most).
    char num[400];
    int used = 0;
    const char *f = fmt;

    while (used < edit_limit && *f != '\0') {
        if (*f == '\\' && f[1] != '\0') {
            used = edit_append(used, f + 1, 1);
            f += 2;
            continue;
        }
        if (*f != '%') {
            used = edit_append(used, f, 1);
            f++;
            continue;
        }
        if (f[1] == '\0') {
            used = edit_append(used, f, 1);
            f++;
            break;
        }
        switch (f[1]) {
        case 'c': {
            char c = static_cast<char>(va_arg(ap, int));
            used = edit_append(used, &c, 1);
            break;
        }
        case 'd':
            used = edit_append(used, num, std::snprintf(num, sizeof num, "%d", va_arg(ap, int)));
            break;
        case 'x':
            used = edit_append(used, num,
                               std::snprintf(num, sizeof num, "%x", va_arg(ap, unsigned int)));
            break;
        case 'f':
            // A huge double may not fit beyond the limit; edit_append cuts it at the buffer end.
            used = edit_append(used, num, std::snprintf(num, sizeof num, "%f", va_arg(ap, double)));
            break;
        case 's': {
            const char *s = va_arg(ap, const char *);
            size_t len = std::strlen(s);
            if (len > static_cast<size_t>(edit_limit - used)) {
                // Once more than the reserve mark stands, a string that does not fit is left out
                // whole, so the rest of the format still has its room.
                len = used < edit_reserve_mark ? static_cast<size_t>(edit_reserve_mark - used) : 0;
            }
            used = edit_append(used, s, static_cast<int>(len));
            break;
        }
        default:
            // Unknown conversions, "%%" included, stay as written and take no argument.
            used = edit_append(used, f, 2);
            break;
        }
        f += 2;
    }
    err_edit_buf[used] = '\0';
    return err_edit_buf;
}

void errmsg(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vmessage(fmt, ap);
    va_end(ap);
}

void fatal(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vmessage(fmt, ap);
    va_end(ap);
    fatal_exit(1);
}

void errmsg1(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    const char *text = message_text(fmt, ap);
    va_end(ap);
    put_text(text, errfp != nullptr && errfp != errfp_stdout ? errfp : console_stream());
}

int errmsgf(const char *fmt, ...)
{
    if (errmsgWrite_flg == 0) {
        return 0;
    }
    if (std::strcmp(fmt, "end") == 0) {
        if (errmsg_log_fp == nullptr) {
            return -1;
        }
        int rc = std::fclose(errmsg_log_fp);
        errmsg_log_fp = nullptr;
        return rc == 0 ? 0 : -1;
    }
    va_list ap;
    va_start(ap, fmt);
    const char *text = message_text(fmt, ap);
    va_end(ap);
    if (errmsg_log_fp == nullptr) {
        errmsg_log_fp = std::fopen("message.log", "w");
        if (errmsg_log_fp == nullptr) {
            // No log can be made here; the message simply goes unlogged.
            return -1;
        }
    }
    if (std::fputs(text, errmsg_log_fp) == EOF) {
        return -1;
    }
    return std::fputc('\n', errmsg_log_fp) == EOF ? -1 : '\n';
}

void message_reset()
{
    if (errmsg_log_fp != nullptr) {
        std::fclose(errmsg_log_fp);
        errmsg_log_fp = nullptr;
    }
    errfp = nullptr;
    cmd_name = "velkrun: ";
    errmsgWrite_flg = 0;
    errmsg_output_flg = 0;
    err_edit_buf[0] = '\0';
}

}  // namespace support
