#include "tree/tree_worker.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/cli_run.h"
#include "cli/cli_stack.h"
#include "support/exit_hook.h"
#include "support/out_stage.h"
#include "tree/tree_spawn.h"
#include "tree/tree_symbols.h"

namespace tree {

namespace {

constexpr char FRAME_OUT = 'o';  // followed by a length and that many bytes of output
constexpr char FRAME_MSG = 'm';  // followed by the size of the file's messages (before the end)
constexpr char FRAME_END = 'e';  // followed by the filter's exit status
constexpr std::size_t HEAD = 5;  // a frame's kind and its 32-bit number
constexpr unsigned long FRAME_MAX = 1UL << 30;       // no frame of a sound worker is larger
constexpr unsigned long MSG_UNKNOWN = 0xFFFFFFFFUL;  // the worker cannot tell the size
// The run's buffer for a worker's answers: a pipe's worth, as much as one read can bring.
constexpr std::size_t READ_BUF = std::size_t{1} << 16;
// The worker's buffer for its answers: a few of the output stage's blocks (two for one in text
// form) with their heads, so that a frame never costs a write of its own.
constexpr std::size_t REPLY_BUF = 4 * support::OUT_BLOCK_SIZE;

// Thrown by the exit hook: the filter's fatal path ends the file, not the worker.
struct file_end {
    int status;
};

[[noreturn]] void end_file(int status) { throw file_end{status}; }

FILE *replies;                                // worker_main: the answers to the run
char reply_buf[REPLY_BUF];                    // worker_main: the buffer of replies
constexpr std::size_t ANSWER_PART = 1 << 20;  // run_names sends what it holds from this size on

bool send_frame(char kind, unsigned long number, const char *p, std::size_t n)
{
    char head[HEAD];
    head[0] = kind;
    put_u32(head + 1, number);
    return std::fwrite(head, 1, HEAD, replies) == HEAD && std::fwrite(p, 1, n, replies) == n;
}

bool send_bytes(const char *p, std::size_t n)
{
    while (n > 0) {
        const std::size_t part = n < FRAME_MAX ? n : static_cast<std::size_t>(FRAME_MAX);
        if (!send_frame(FRAME_OUT, static_cast<unsigned long>(part), p, part)) {
            return false;
        }
        p += part;
        n -= part;
    }
    return true;
}

// The output stage's sink in a worker: the file's output goes to the run in frames, each LF
// written as CR LF where velkrun's standard output does so.
bool send_output(const char *p, std::size_t n)
{
    if (!spawn_text_output) {
        return send_bytes(p, n);
    }
    static char text[2 * support::OUT_BLOCK_SIZE];
    while (n > 0) {
        std::size_t used = 0, taken = 0;
        while (taken < n && used + 2 <= sizeof text) {
            if (p[taken] == '\n') {
                text[used++] = '\r';
            }
            text[used++] = p[taken++];
        }
        if (!send_bytes(text, used)) {
            return false;
        }
        p += taken;
        n -= taken;
    }
    return true;
}

bool read_exact(FILE *in, char *p, std::size_t n) { return std::fread(p, 1, n, in) == n; }

// Reads one request into kind and args; false at the end of the requests or on a malformed one.
bool read_request(FILE *in, request_kind &kind, std::vector<std::string> &args)
{
    char head[5];
    if (!read_exact(in, head, 5)) {
        return false;
    }
    if (head[0] != static_cast<char>(request_kind::filter) &&
        head[0] != static_cast<char>(request_kind::names)) {
        return false;
    }
    kind = static_cast<request_kind>(head[0]);
    char num[4];
    std::memcpy(num, head + 1, 4);
    const unsigned long count = get_u32(num);
    if (count == 0 || count > FRAME_MAX / 4) {
        return false;
    }
    args.assign(count, std::string());
    for (std::string &a : args) {
        if (!read_exact(in, num, 4)) {
            return false;
        }
        const unsigned long len = get_u32(num);
        if (len > FRAME_MAX) {
            return false;
        }
        a.resize(len);
        if (len > 0 && !read_exact(in, &a[0], len)) {
            return false;
        }
    }
    return true;
}

bool ends_with(const std::string &s, const char *tail)
{
    const std::size_t n = std::strlen(tail);
    return n > 0 && s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// The names scans of one request, for each of its files the reports and then the file's end
// (symbols_end); the status: 0, or 1 when the answer could not be sent. An answer is sent as it
// grows, so that one holding many large files stays small.
int run_names(int argc, char **argv, const char *die_on)
{
    static std::string answer;  // kept for its capacity
    answer.clear();
    for (int f = cli::names_setup(argc, argv); f < argc; ++f) {
        std::string msg;
        try {
            if (cli::names_file(argv[f], symbols_note, &answer) < 0) {
                msg = std::string("cannot read the file: ") + std::strerror(errno);
            }
        } catch (const file_end &) {
            // A read error in the middle of the file: its message went to standard error.
            msg = std::string("cannot read the file: ") + std::strerror(errno);
            cli::names_close();
        }
        if (die_on && ends_with(argv[f], die_on)) {
            send_bytes(answer.data(), answer.size());
            std::fflush(replies);
            spawn_die();
        }
        symbols_end(msg, &answer);
        if (answer.size() >= ANSWER_PART) {
            if (!send_bytes(answer.data(), answer.size())) {
                return 1;
            }
            answer.clear();
        }
    }
    return send_bytes(answer.data(), answer.size()) ? 0 : 1;
}

// One request, run as velkrun would run it (or the names scan); its exit status.
int run_request(request_kind kind, std::vector<std::string> &args, const char *die_on)
{
    std::vector<char *> argv;
    for (std::string &a : args) {
        a.push_back('\0');  // the filter cuts its arguments in place
        argv.push_back(&a[0]);
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(args.size());
    int status;
    try {
        status = kind == request_kind::names ? run_names(argc, argv.data(), die_on)
                                             : cli::run(argc, argv.data());
    } catch (const file_end &e) {
        status = e.status;
    }
    // The file is closed now, not at the next run: Windows replaces no file that is still open.
    cli::run_reset();
    support::out_reset();
    return status;
}

// The bytes the file wrote to standard error: the run empties the slot's file before a file
// whenever the one before wrote to it, so its end is where this file's messages end.
unsigned long messages_size()
{
    if (std::fflush(stderr) != 0) {
        return MSG_UNKNOWN;
    }
    const long at = std::ftell(stderr);
    return at < 0 || static_cast<unsigned long>(at) > FRAME_MAX ? MSG_UNKNOWN
                                                                : static_cast<unsigned long>(at);
}

struct request_loop {
    FILE *requests;
    const char *die_on;  // the test's hook: a file name ending
    int status = 0;      // worker_main's exit status
};

// Answers every request; runs once on the scan's large stack, so that no file needs a thread.
void answer_requests(void *p)
{
    request_loop &loop = *static_cast<request_loop *>(p);
    std::vector<std::string> args;
    request_kind kind;
    while (read_request(loop.requests, kind, args)) {
        const bool die =
            loop.die_on && kind == request_kind::filter && ends_with(args.back(), loop.die_on);
        const int status = run_request(kind, args, loop.die_on);
        if (die) {
            std::fflush(replies);
            spawn_die();
        }
        const unsigned long messages = messages_size();
        char none = 0;
        if ((messages != 0 && !send_frame(FRAME_MSG, messages, &none, 0)) ||
            !send_frame(FRAME_END, static_cast<unsigned long>(status), &none, 0) ||
            std::fflush(replies) != 0) {
            loop.status = 1;
            return;
        }
    }
}

}  // namespace

int worker_main()
{
    request_loop loop{nullptr, nullptr};
    if (!spawn_worker_channels(&loop.requests, &replies) ||
        std::setvbuf(replies, reply_buf, _IOFBF, REPLY_BUF) != 0) {
        return 1;
    }
    // Lets a test end a worker in the middle of a named file, after its output was sent.
    loop.die_on = std::getenv("VELKRUN_TREE_TEST_KILL");
    support::set_exit_hook(end_file);
    support::set_out_sink(send_output);
    if (cli::run_on_stack(answer_requests, &loop, cli::SCAN_STACK_SIZE) < 0) {
        answer_requests(&loop);  // each file then gets a thread of its own, as in velkrun
    }
    return loop.status;
}

void put_u32(char *p, unsigned long v)
{
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

unsigned long get_u32(const char *p)
{
    unsigned long v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    }
    return v;
}

std::string worker_request(request_kind kind, const std::vector<std::string> &argv)
{
    std::string req(5, '\0');
    req[0] = static_cast<char>(kind);
    put_u32(&req[1], static_cast<unsigned long>(argv.size()));
    for (const std::string &a : argv) {
        char num[4];
        put_u32(num, static_cast<unsigned long>(a.size()));
        req.append(num, 4);
        req += a;
    }
    return req;
}

void worker_next(worker_frames &frames)
{
    frames.left = 0;
    frames.ended = false;
    frames.status = 0;
    frames.messages = -1;
}

long worker_read(worker_frames &frames, long (*read)(void *ctx, char *buf, std::size_t n),
                 void *ctx, char *buf, std::size_t n)
{
    if (frames.buf.empty()) {
        frames.buf.resize(READ_BUF);
    }
    // Reads more behind the bytes not yet taken; the count, 0 at the end, -1 on an error.
    const auto refill = [&]() -> long {
        if (frames.at > 0) {
            std::memmove(frames.buf.data(), frames.buf.data() + frames.at, frames.end - frames.at);
            frames.end -= frames.at;
            frames.at = 0;
        }
        const long got = read(ctx, frames.buf.data() + frames.end, frames.buf.size() - frames.end);
        if (got > 0) {
            frames.end += static_cast<std::size_t>(got);
        }
        return got;
    };
    if (frames.ended) {
        return 0;
    }
    while (frames.left == 0) {
        if (frames.end - frames.at < HEAD) {
            const long got = refill();
            if (got <= 0) {
                return got;  // cut short in a frame head: the worker is gone
            }
            continue;
        }
        const char *head = frames.buf.data() + frames.at;
        const unsigned long number = get_u32(head + 1);
        frames.at += HEAD;
        if (head[0] == FRAME_END) {
            frames.ended = true;
            frames.status = static_cast<int>(number);
            return 0;
        }
        if (head[0] == FRAME_MSG) {
            frames.messages = number > FRAME_MAX ? -1 : static_cast<long>(number);
            continue;
        }
        if (head[0] != FRAME_OUT || number > FRAME_MAX) {
            return -1;
        }
        frames.left = number;
    }
    const std::size_t want = frames.left < n ? static_cast<std::size_t>(frames.left) : n;
    if (frames.at == frames.end) {
        if (want >= frames.buf.size()) {
            // A large frame goes straight to the caller, without a copy.
            const long got = read(ctx, buf, want);
            if (got > 0) {
                frames.left -= static_cast<unsigned long>(got);
            }
            return got;
        }
        const long got = refill();
        if (got <= 0) {
            return got;
        }
    }
    const std::size_t have = frames.end - frames.at;
    const std::size_t k = want < have ? want : have;
    std::memcpy(buf, frames.buf.data() + frames.at, k);
    frames.at += k;
    frames.left -= static_cast<unsigned long>(k);
    return static_cast<long>(k);
}

}  // namespace tree
