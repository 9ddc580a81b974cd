#include "tree/tree_report.h"

#include <chrono>
#include <cstdio>

#include "tree/tree_args.h"

namespace tree {

namespace {

bool progress_enabled = false;   // report_start: the progress line may be drawn
std::size_t progress_shown = 0;  // report_progress: length of the line on screen, 0 for none
std::chrono::steady_clock::time_point last_draw;  // report_progress: when it was last drawn

void write_err(const std::string &text)
{
    report_progress_clear();
    // Standard output first, so the two streams keep their order when they share a file.
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

void report_start(bool progress_on)
{
    progress_enabled = progress_on;
    progress_shown = 0;
}

void report_out(const std::string &text)
{
    report_progress_clear();
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void report_fail(const std::string &what, const std::string &msg)
{
    std::string text;
    std::size_t start = 0;
    while (start < msg.size()) {
        std::size_t nl = msg.find('\n', start);
        if (nl == std::string::npos) {
            nl = msg.size();
        }
        std::size_t end = nl;
        if (end > start && msg[end - 1] == '\r') {
            --end;
        }
        if (end > start) {
            text +=
                std::string(prog_name) + ": " + what + ": " + msg.substr(start, end - start) + "\n";
        }
        start = nl + 1;
    }
    write_err(text);
}

void report_note(const std::string &text)
{
    write_err(std::string(prog_name) + ": " + text + "\n");
}

void report_progress(int done, int total, const char *label, int count, int refused, int failed,
                     bool force)
{
    if (!progress_enabled) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && progress_shown > 0 && now - last_draw < std::chrono::milliseconds(100)) {
        return;
    }
    last_draw = now;
    std::fflush(stdout);
    char line[200], refused_part[40] = "";
    if (refused > 0) {
        std::snprintf(refused_part, sizeof refused_part, ", refused %d", refused);
    }
    const int n = std::snprintf(line, sizeof line, "\r%s: %d of %d files, %s %d%s, failed %d",
                                prog_name, done, total, label, count, refused_part, failed);
    std::size_t len = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (len >= sizeof line) {
        len = sizeof line - 1;
    }
    std::string text(line, len);
    // Blanks over what is left of a longer earlier line.
    if (len < progress_shown) {
        text.append(progress_shown - len, ' ');
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    progress_shown = len > progress_shown ? len : progress_shown;
}

void report_progress_clear()
{
    if (progress_shown == 0) {
        return;
    }
    const std::string blank = "\r" + std::string(progress_shown, ' ') + "\r";
    std::fwrite(blank.data(), 1, blank.size(), stderr);
    std::fflush(stderr);
    progress_shown = 0;
}

bool report_out_failed() { return std::ferror(stdout) != 0; }

void report_reset()
{
    progress_enabled = false;
    progress_shown = 0;
}

}  // namespace tree
