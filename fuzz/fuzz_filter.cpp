// Fuzz target: the whole filter in process, from the command line through scanning, evaluation and
// output. An input is a command line and a file body:
//
//   one argument per line, "@" standing for the file ... a line "%%" ... the file body
//
// Without a "%%" line the whole input is the body and the command line is "@" alone. The body is
// put into a memory file; the run's standard output and standard error go to memory streams, and
// the process-ending path is intercepted through the exit hook. Each input runs twice, with "-n"
// and with "-nv" put in front of its options (any v of its own taken out), and the pair must agree: the same status and
// messages, every written line behind its own number with its input bytes, no line written by
// both, and together every line read (up to the failing one when the run fails).
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cond/cond_line.h"
#include "fuzz_bytes.h"
#include "support/exit_hook.h"
#include "support/message.h"

namespace {

constexpr size_t kMaxArgs = 32;

struct ExitCalled {
    int status;
};

[[noreturn]] void throw_exit(int status) { throw ExitCalled{status}; }

int body_fd = -1;        // memory file that holds the body of the current input
std::string body_path;   // its name as a path that fopen takes

struct Result {
    int status;
    std::string out;
    std::string err;
    int lines_read;      // line_no when the run ended
};

Result run_filter(std::vector<std::string> args)
{
    std::vector<char *> argv;
    for (std::string &a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    char *out_text = nullptr, *err_text = nullptr;
    size_t out_len = 0, err_len = 0;
    FILE *real_out = stdout, *real_err = stderr;
    stdout = open_memstream(&out_text, &out_len);
    stderr = open_memstream(&err_text, &err_len);
    Result r;
    try {
        r.status = cli::run(static_cast<int>(args.size()), argv.data());
    } catch (const ExitCalled &e) {
        r.status = e.status;
    }
    r.lines_read = cond::line_no;
    std::fclose(stdout);
    std::fclose(stderr);
    stdout = real_out;
    stderr = real_err;
    r.out.assign(out_text, out_len);
    r.err.assign(err_text, err_len);
    std::free(out_text);
    std::free(err_text);
    cli::run_reset();
    support::message_reset();
    return r;
}

[[noreturn]] void fail(const char *what, const Result &a, const Result &b)
{
    std::fprintf(stderr, "filter check failed: %s\nstatus %d / %d\nstderr: %s\n--\n%s\n", what, a.status,
                 b.status, a.err.c_str(), b.err.c_str());
    std::abort();
}

// The body's lines as the filter reads them: cut after each newline.
std::vector<std::string> lines_of(const std::string &body)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < body.size()) {
        size_t nl = body.find('\n', start);
        size_t end = nl == std::string::npos ? body.size() : nl + 1;
        lines.push_back(body.substr(start, end - start));
        start = end;
    }
    return lines;
}

// Parses numbered output ("%6d: " and the line's bytes) into the set of line numbers written.
std::set<int> numbered(const Result &r, const Result &other, const std::vector<std::string> &lines)
{
    std::set<int> seen;
    size_t pos = 0;
    int last = 0;
    while (pos < r.out.size()) {
        size_t digits = r.out.find_first_not_of(' ', pos);
        size_t colon = r.out.find(": ", digits);
        if (digits == std::string::npos || colon == std::string::npos || colon == digits || colon - pos < 6) {
            fail("unnumbered output", r, other);
        }
        int no = std::atoi(r.out.substr(digits, colon - digits).c_str());
        if (no <= last || no > static_cast<int>(lines.size())) {
            fail("line numbers out of order or range", r, other);
        }
        const std::string &want = lines[no - 1];
        if (r.out.compare(colon + 2, want.size(), want) != 0) {
            fail("a line written with other bytes than its input", r, other);
        }
        seen.insert(no);
        pos = colon + 2 + want.size();
        last = no;
    }
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    support::set_exit_hook(throw_exit);
    body_fd = memfd_create("velk-fuzz-body", 0);
    if (body_fd < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    body_path = "/proc/self/fd/" + std::to_string(body_fd);
    // Other file names are relative to an empty directory and hold no '/', so a run reads no
    // file but the body (never a device that could block).
    char dir[] = "/tmp/velk-fuzz-XXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0) {
        std::abort();
    }
    // The first run installs standard output's buffer; let it meet the real stream, sent nowhere.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::abort();
    }
    std::string usage = "-usage";
    char *argv[] = {const_cast<char *>("velkrun"), usage.data(), nullptr};
    cli::run(2, argv);
    cli::run_reset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> opts;
    std::string body;
    size_t sep = input.compare(0, 3, "%%\n") == 0 ? 0 : input.find("\n%%\n");
    if (sep == std::string::npos) {
        opts.push_back("@");
        body = input;
    } else {
        FuzzBytes head(data, sep);
        while (head.left > 0 && opts.size() < kMaxArgs) {
            opts.push_back(head.upto('\n'));
        }
        body = input.substr(sep == 0 ? 3 : sep + 4);
    }
    if (ftruncate(body_fd, 0) != 0 || pwrite(body_fd, body.data(), body.size(), 0) != static_cast<ssize_t>(body.size())) {
        std::abort();
    }
    for (std::string &o : opts) {
        std::replace(o.begin(), o.end(), '/', '_');
        // The pair differs only by -v: a v of the input's own option groups goes (a list that
        // begins with '-' is invalid with or without it).
        if (o[0] == '-') {
            o.erase(std::remove(o.begin() + 1, o.end(), 'v'), o.end());
        }
        if (o == "@") {
            o = body_path;
        }
    }
    std::vector<std::string> kept_args{"velkrun", "-n"}, gone_args{"velkrun", "-nv"};
    kept_args.insert(kept_args.end(), opts.begin(), opts.end());
    gone_args.insert(gone_args.end(), opts.begin(), opts.end());
    const Result kept = run_filter(kept_args);
    const Result gone = run_filter(gone_args);

    if (kept.status != gone.status || kept.err != gone.err) {
        fail("the -v pair ends differently", kept, gone);
    }
    if ((kept.status == 0) != kept.err.empty() || (kept.status != 0 && kept.status != 1)) {
        fail("status and messages disagree", kept, gone);
    }
    const std::vector<std::string> lines = lines_of(body);
    const std::set<int> a = numbered(kept, gone, lines), b = numbered(gone, kept, lines);
    const int read = kept.lines_read;
    std::set<int> all = a;
    for (int no : b) {
        // An unmatched #endif is written whatever -v says, just before the run ends on it.
        if (!all.insert(no).second && !(kept.status == 1 && no == read)) {
            fail("a line written by both runs", kept, gone);
        }
    }
    if (read != gone.lines_read) {
        fail("the -v pair read different numbers of lines", kept, gone);
    }
    // Every line read before the last is written by one of the pair; the last one too when the
    // run completes. A usage error reads nothing and writes nothing.
    for (int no = 1; no < read; no++) {
        if (!all.count(no)) {
            fail("a line read but written by neither run", kept, gone);
        }
    }
    if (kept.status == 0 && read > 0 && (!all.count(read) || read != static_cast<int>(lines.size()))) {
        fail("a completed run lost its last lines", kept, gone);
    }
    if (!all.empty() && *all.rbegin() > read) {
        fail("a line written beyond the last one read", kept, gone);
    }
    return 0;
}
