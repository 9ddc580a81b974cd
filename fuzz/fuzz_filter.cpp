// Fuzz target: the whole filter in process, from the command line through scanning, evaluation and
// output. An input is a command line and a file body:
//
//   one argument per line, "@" standing for the file ... a line "%%" ... the file body
//
// Without a "%%" line the whole input is the body and the command line is "@" alone. The body is
// put into a memory file; the run's standard output and standard error go to memory streams, and
// the process-ending path is intercepted through the exit hook. Each input runs twice, with "-n"
// and with "-nv" put in front of its options (any v of its own taken out), and the pair must agree:
// the same status and messages, every written line behind its own number with its input bytes, no
// line written by both, and together every line read (up to the failing one when the run fails).
// The runs are repeated along the other reading paths (every line through the line buffer; each
// classification level of the skimmer) and must give the same bytes, messages and status. Where
// the run reached the body, its output, messages and status must also be those of a plain model
// of the scanner and the block processor (with the evaluator's model of fuzz_cond_model.h), given
// the options and the pattern table that the real command-line parser set up.
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
#include "cond/cond_block.h"
#include "cond/cond_line.h"
#include "cond/cond_options.h"
#include "cond/cond_output.h"
#include "fuzz_bytes.h"
#include "fuzz_cond_model.h"
#include "support/exit_hook.h"
#include "support/message.h"

namespace {

constexpr size_t kMaxArgs = 32;

struct ExitCalled {
    int status;
};

[[noreturn]] void throw_exit(int status) { throw ExitCalled{status}; }

int body_fd = -1;       // memory file that holds the body of the current input
std::string body_path;  // its name as a path that fopen takes

struct Result {
    int status;
    std::string out;
    std::string err;
    int lines_read;  // line_no when the run ended
    bool scanned;    // the input file was opened
    // What the command line set up, for the model.
    bool opt_v, opt_n, opt_T, opt_x, undef_outside;
    std::vector<const char *> patterns;  // into the run's arguments
    std::vector<int> values;
};

// Runs the filter over args, which must outlive the result (the pattern table points into them),
// reading the input along the path named as VELK_SIMD names it (null: the default path).
Result run_filter(std::vector<std::string> &args, const char *path = nullptr)
{
    if (path != nullptr) {
        setenv("VELK_SIMD", path, 1);
    } else {
        unsetenv("VELK_SIMD");
    }
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
        // fatal_exit has handed the lines gathered so far to stdout before calling the hook.
        r.status = e.status;
    }
    r.lines_read = cond::line_no;
    r.scanned = cond::fp != nullptr;
    r.opt_v = cond::opt_v;
    r.opt_n = cond::opt_n;
    r.opt_T = cond::opt_T;
    r.opt_x = cond::opt_x != 0;
    r.undef_outside = cond::list_mode & cond::LIST_MODE_UNDEF;
    r.patterns.assign(cond::list_name, cond::list_name + cond::list_count);
    r.values.assign(cond::list_value, cond::list_value + cond::list_count);
    std::fclose(stdout);
    std::fclose(stderr);
    stdout = real_out;
    stderr = real_err;
    r.out.assign(out_text, out_len);
    r.err.assign(err_text, err_len);
    std::free(out_text);
    std::free(err_text);
    unsetenv("VELK_SIMD");
    cli::run_reset();
    support::message_reset();
    return r;
}

[[noreturn]] void fail(const char *what, const Result &a, const Result &b)
{
    std::fprintf(stderr, "filter check failed: %s\nstatus %d / %d\nstderr: %s\n--\n%s\n", what,
                 a.status, b.status, a.err.c_str(), b.err.c_str());
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
        if (digits == std::string::npos || colon == std::string::npos || colon == digits ||
            colon - pos < 6) {
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

// The scanner and the block processor, written plainly from their rules.
struct FilterModel {
    fuzz_model::CondModel ev;  // the evaluator; its line and line_no follow the current line
    bool opt_v, opt_n, opt_T;
    std::string body;
    size_t pos = 0;  // next byte of body to read
    std::string out;
    std::string bytes;  // the current line as read, a CR before its LF taken out
    bool cr = false;    // that CR was there
    std::string text;   // the current line up to its first NUL: what the scan sees
    int line_no = 0;
    int if_depth = 0;
    int comment_f = 0, comment2_f = 0, string_f = 0;

    static constexpr size_t npos = std::string::npos;

    FilterModel(const Result &r, const std::string &input)
        : opt_v(r.opt_v), opt_n(r.opt_n), opt_T(r.opt_T), body(input)
    {
        ev.patterns = r.patterns;
        ev.values = r.values;
        ev.undef_outside = r.undef_outside;
    }

    // The next line: up to 4096 bytes, through the first LF.
    bool next_line(const char *too_long_fmt)
    {
        if (pos >= body.size()) {
            return false;
        }
        size_t take = std::min<size_t>(4096, body.size() - pos);
        const size_t nl = body.find('\n', pos);
        const bool lf = nl != npos && nl < pos + take;
        if (lf) {
            take = nl - pos + 1;
        }
        bytes = body.substr(pos, take);
        pos += take;
        cr = lf && bytes.size() >= 2 && bytes[bytes.size() - 2] == '\r';
        if (cr) {
            bytes.erase(bytes.size() - 2, 1);
        }
        text = bytes.substr(0, bytes.find('\0'));
        ev.line = text;
        ev.line_no = ++line_no;
        comment2_f = 0;
        if (bytes.size() > 4094) {
            ev.error(too_long_fmt, text);
        }
        return true;
    }

    void put_line()
    {
        if (opt_n) {
            char num[32];
            std::snprintf(num, sizeof num, "%6d: ", line_no);
            out += num;
        }
        out += cr ? bytes.substr(0, bytes.size() - 1) + "\r\n" : bytes;
    }

    void put_line_sel(int keep)
    {
        if (keep != static_cast<int>(opt_v)) {
            put_line();
        }
    }

    char at(size_t p) const { return p < text.size() ? text[p] : '\0'; }

    size_t lex_skip(size_t p)
    {
        if (opt_T) {
            return npos;
        }
        const char c = at(p);
        if (string_f && c == '\\') {
            return at(p + 1) == '\0' ? p + 1 : p + 2;
        }
        if (comment_f) {
            if (c == '*' && at(p + 1) == '/') {
                comment_f = 0;
                return p + 2;
            }
            return npos;
        }
        if (string_f) {
            if (static_cast<unsigned char>(c) == string_f) {
                string_f = 0;
                return p + 1;
            }
            return npos;
        }
        if (comment2_f) {
            return p + 1;
        }
        if (c == '/' && (at(p + 1) == '/' || at(p + 1) == '*')) {
            (at(p + 1) == '/' ? comment2_f : comment_f) = 1;
            return p + 2;
        }
        if (c == '"' || c == '\'') {
            string_f = static_cast<unsigned char>(c);
            return p + 1;
        }
        return npos;
    }

    size_t step(size_t p) const
    {
        const unsigned char c = static_cast<unsigned char>(at(p));
        const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        return lead && at(p + 1) != '\0' ? p + 2 : p + 1;
    }

    // Walks from p; returns dir when reached with nothing open, else walks to the end: npos.
    size_t walk(size_t p, size_t dir)
    {
        while (at(p) != '\n' && at(p) != '\0') {
            const size_t q = lex_skip(p);
            if (q != npos) {
                p = q;
            } else if (p == dir && !comment_f && !comment2_f && !string_f) {
                return p;
            } else {
                p = step(p);
            }
        }
        return npos;
    }

    size_t dir_pos() const
    {
        size_t p = 0;
        while (fuzz_model::blank(at(p))) {
            p++;
        }
        return p;
    }

    bool is(size_t p, const char *word) const
    {
        if (at(p) != '#') {
            return false;
        }
        size_t q = p + 1;
        while (fuzz_model::blank(at(q))) {
            q++;
        }
        const size_t len = std::strlen(word);
        return text.compare(std::min(q, text.size()), len, word) == 0 &&
               !fuzz_model::ident(at(q + len));
    }

    int open_kind(size_t p) const
    {
        return is(p, "ifndef")  ? cond::DIR_IFNDEF
               : is(p, "if")    ? cond::DIR_IF
               : is(p, "ifdef") ? cond::DIR_IFDEF
                                : -1;
    }

    // The text behind a removed #else or #endif is not tracked, but a block comment opened there
    // must close on the same line.
    void check_removed(size_t p)
    {
        if (opt_T) {
            return;
        }
        walk(step(p), npos);
        const bool open = comment_f;
        comment_f = comment2_f = string_f = 0;
        if (open) {
            ev.error("Error: %d: %s: a comment opened behind a removed directive runs on.\n",
                     text.substr(p));
        }
    }

    int proc_block(int kind, int keep)
    {
        const int enclosing = keep;
        const int value = ev.directive(kind);
        bool first = false, taken = false;
        if (value == cond::COND_KEEP) {
            put_line_sel(enclosing);
        } else {
            first = kind == cond::DIR_IFNDEF ? value == cond::COND_FALSE : value == cond::COND_TRUE;
            keep = first ? enclosing : 0;
            taken = kind == cond::DIR_IF && value == cond::COND_TRUE;
            put_line_sel(0);
        }
        for (bool end = false; !end;) {
            if (!next_line("%d: %s \nError: too long line found.\n")) {
                return -2;
            }
            const size_t dir = dir_pos();
            const size_t p = walk(0, dir);
            bool handled = false;
            if (p != npos) {
                const int nested = open_kind(p);
                if (nested >= 0) {
                    if_depth++;
                    if (proc_block(nested, keep) == -2) {
                        return -2;
                    }
                    handled = true;
                } else if (is(p, "elif")) {
                    if (kind != cond::DIR_IF) {
                        ev.error("Error: %d: %s: cannot analyze.\n", text.substr(p));
                    }
                    if (!ev.undef_outside) {
                        throw fuzz_model::Failed{
                            ev.format("Error: %d: #elif: cannot leave or delete.\n", "")};
                    }
                    if (ev.directive(cond::DIR_ELIF) == cond::COND_TRUE && !taken) {
                        keep = enclosing;
                        taken = true;
                    } else {
                        keep = 0;
                    }
                    put_line_sel(0);
                    handled = true;
                } else if (value != cond::COND_KEEP && is(p, "else")) {
                    check_removed(p);
                    put_line_sel(0);
                    keep = first || taken ? 0 : enclosing;
                    handled = true;
                } else if (is(p, "endif")) {
                    if_depth--;
                    if (value != cond::COND_KEEP) {
                        check_removed(p);
                        put_line_sel(0);
                        return 0;
                    }
                    end = true;
                    walk(p + 6, dir);
                } else {
                    walk(step(p), dir);
                }
            }
            if (!handled) {
                put_line_sel(keep);
            }
        }
        return 0;
    }

    void scan()
    {
        while (next_line("%d: %s \nError: too long line found!\n")) {
            const size_t dir = dir_pos();
            const size_t p = walk(0, dir);
            if (p != npos) {
                const int kind = open_kind(p);
                if (kind >= 0) {
                    if_depth++;
                    if (proc_block(kind, 1) == -2) {
                        return;
                    }
                    continue;
                }
                if (is(p, "elif")) {
                    ev.error("Error: %d: %s: cannot analyze!\n", text.substr(p));
                }
                if (is(p, "else")) {
                    ev.error("Error: %d: %s: does not correspond.\n", text.substr(p));
                }
                if (is(p, "endif")) {
                    put_line();
                    ev.error("Error: %d: %s: does not correspond.\n", text.substr(p));
                }
                walk(step(p), dir);
            }
            if (!opt_v) {
                put_line();
            }
        }
    }

    // The run's output, messages and status.
    void run(std::string &o, std::string &e, int &status)
    {
        try {
            scan();
            if (if_depth > 0) {
                throw fuzz_model::Failed{"Error: Ifdef statement does not close.\n"};
            }
            status = 0;
        } catch (const fuzz_model::Failed &f) {
            e = f.message;
            status = 1;
        }
        o = out;
    }
};

void check_model(const Result &r, const Result &other, const std::string &body)
{
    if (!r.scanned) {
        return;
    }
    FilterModel m(r, body);
    std::string out, err;
    int status;
    m.run(out, err, status);
    if (out != r.out || err != r.err || status != r.status) {
        std::fprintf(stderr,
                     "filter disagrees with the model\nmodel status %d, stderr: %s\nmodel "
                     "stdout:\n%s\n--\nreal stdout:\n%s\n",
                     status, err.c_str(), out.c_str(), r.out.c_str());
        fail("model", r, other);
    }
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
    // A first run on the real stream, sent nowhere, so that stdio sets up whatever it sets up once.
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
    if (ftruncate(body_fd, 0) != 0 ||
        pwrite(body_fd, body.data(), body.size(), 0) != static_cast<ssize_t>(body.size())) {
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
    // The runs cut and convert their list arguments in place: each run gets its own copy.
    const std::vector<std::string> kept_orig = kept_args, gone_orig = gone_args;
    const Result kept = run_filter(kept_args);
    const Result gone = run_filter(gone_args);
    // Skimming whole runs of lines from the read block (the default) and reading every line
    // through the line buffer must give the same bytes, messages and status; so must every
    // classification level.
    const char *const paths[] = {"lines", "portable", "sse2", "avx2"};
    for (size_t i = 0; i < sizeof paths / sizeof paths[0]; i++) {
        std::vector<std::string> args = i % 2 ? gone_orig : kept_orig;
        const Result &want = i % 2 ? gone : kept;
        const Result other = run_filter(args, paths[i]);
        if (other.status != want.status || other.out != want.out || other.err != want.err ||
            other.lines_read != want.lines_read) {
            fail(i == 0 ? "the line-by-line path differs from the skimming one"
                        : "a classification level differs from the default one",
                 other, want);
        }
    }
    if (kept.status != gone.status || kept.err != gone.err) {
        fail("the -v pair ends differently", kept, gone);
    }
    // The model and the line accounting below are those of the default dialect: under -x a
    // rewritten directive is written by both runs, and warnings come with status 0. Whether -x
    // is on is what the parser made of the arguments: an argument is read up to its first NUL.
    if (kept.opt_x) {
        return 0;
    }
    check_model(kept, gone, body);
    check_model(gone, kept, body);
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
    if (kept.status == 0 && read > 0 &&
        (!all.count(read) || read != static_cast<int>(lines.size()))) {
        fail("a completed run lost its last lines", kept, gone);
    }
    if (!all.empty() && *all.rbegin() > read) {
        fail("a line written beyond the last one read", kept, gone);
    }
    return 0;
}
