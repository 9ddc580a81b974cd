// Fuzz target: the names scan behind velkrun-tree --symbols. The first byte of an input sets -T
// (its low bit); the rest is the file. The file is scanned along every reading path (each line
// through the line buffer; the skim at each classification level) and every path must report the
// same names on the same lines. Every reported name must be a name standing on the physical line
// reported for it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cond/cond_names.h"
#include "cond/cond_options.h"
#include "support/exit_hook.h"
#include "support/sj_string.h"

namespace {

struct ExitCalled {
    int status;
};

[[noreturn]] void throw_exit(int status) { throw ExitCalled{status}; }

int body_fd = -1;       // memory file that holds the current file
std::string body_path;  // its name as a path that fopen takes

struct Report {
    int kind;
    std::string name;
    int line;
    bool operator==(const Report &o) const
    {
        return kind == o.kind && name == o.name && line == o.line;
    }
};

void note(int kind, const char *name, std::size_t len, int line, void *ctx)
{
    static_cast<std::vector<Report> *>(ctx)->push_back(Report{kind, std::string(name, len), line});
}

std::vector<Report> scan(bool text, const char *path)
{
    if (path != nullptr) {
        setenv("VELK_SIMD", path, 1);
    } else {
        unsetenv("VELK_SIMD");
    }
    std::string t = text ? "-T" : "-n";
    std::string v = "velkrun";
    char *argv[] = {v.data(), t.data(), body_path.data(), nullptr};
    std::vector<Report> out;
    const int first = cli::names_setup(3, argv);
    if (first != 2 || cli::names_file(argv[first], note, &out) != 0) {
        std::fprintf(stderr, "the names scan cannot read its file\n");
        std::abort();
    }
    cli::run_reset();
    unsetenv("VELK_SIMD");
    return out;
}

void fail(const char *what, const std::string &body)
{
    std::fprintf(stderr, "names scan: %s\nfile (%zu bytes):\n%s\n", what, body.size(),
                 body.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    support::set_exit_hook(throw_exit);
    body_fd = memfd_create("velk-fuzz-names", 0);
    if (body_fd < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    body_path = "/proc/self/fd/" + std::to_string(body_fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const bool text = (data[0] & 1) != 0;
    const std::string body(reinterpret_cast<const char *>(data) + 1, size - 1);
    if (ftruncate(body_fd, 0) != 0 || pwrite(body_fd, body.data(), body.size(), 0) < 0) {
        std::abort();
    }
    const std::vector<Report> by_line = scan(text, "lines");
    for (const char *path : {"portable", "sse2", "avx2", static_cast<const char *>(nullptr)}) {
        if (scan(text, path) != by_line) {
            fail(path ? path : "default path", body);
        }
    }
    // The physical lines, each without its newline.
    std::vector<std::string> lines(1);
    for (char c : body) {
        if (c == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    for (const Report &r : by_line) {
        if (r.line < 1 || static_cast<std::size_t>(r.line) > lines.size()) {
            fail("a report's line is outside the file", body);
        }
        if (r.kind == cond::NAME_CONDITION) {
            if (!r.name.empty()) {
                fail("a conditional's report carries a name", body);
            }
            continue;
        }
        if (r.name.empty() || support::is_digit(static_cast<unsigned char>(r.name[0]))) {
            fail("a reported name does not begin as a name", body);
        }
        for (char c : r.name) {
            if (!support::is_ident_char(static_cast<unsigned char>(c))) {
                fail("a reported name holds a byte no name holds", body);
            }
        }
        if (lines[static_cast<std::size_t>(r.line) - 1].find(r.name) == std::string::npos) {
            fail("a reported name does not stand on its line", body);
        }
    }
    return 0;
}
