#include "tree/tree_spawn.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tree/tree_signal.h"
#include "tree/tree_worker.h"

extern char **environ;

namespace tree {

namespace {

struct slot_state {
    int err_fd = -1;       // private, already unlinked file for the child's standard error
    int out_fd = -1;       // read end of the running child's output pipe, or -1
    int req_fd = -1;       // with workers: write end of the worker's request pipe, or -1
    pid_t pid = 0;         // the running child, or 0; guarded by kill_lock
    worker_frames frames;  // with workers: the reading of the current file's answer
};

// spawn_init: one per thread of the run. Never destroyed: an interrupt that arrives as the process
// ends still reaches spawn_kill_all from the signal thread after the exit has begun.
std::vector<slot_state> &slots = *new std::vector<slot_state>;
std::mutex kill_lock;     // keeps spawn_kill_all from signalling a reaped (reused) pid
std::string worker_prog;  // spawn_use_workers: the program started as a worker, or empty

void close_fd(int &fd)
{
    if (fd >= 0) {
        close(fd);
    }
    fd = -1;
}

// Starts prog with argv, its standard input in_fd (the null device when -1), standard output
// out_fd, standard error the slot's file. Returns 0, or the error number.
int start_child(slot_state &s, const std::string &prog, const std::vector<std::string> &argv,
                int in_fd, int out_fd)
{
    std::vector<char *> args;
    for (const std::string &a : argv) {
        args.push_back(const_cast<char *>(a.c_str()));
    }
    args.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&fa);
    if (in_fd < 0) {
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    } else {
        posix_spawn_file_actions_adddup2(&fa, in_fd, 0);
    }
    posix_spawn_file_actions_adddup2(&fa, out_fd, 1);
    posix_spawn_file_actions_adddup2(&fa, s.err_fd, 2);
    posix_spawnattr_init(&attr);
    // The run blocks the interrupt signals in its threads and ignores SIGPIPE; the child gets
    // them back as the run was given them (one the caller ignored stays ignored, as with nohup).
    sigset_t none, deflt;
    sigemptyset(&none);
    sigemptyset(&deflt);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        if (!signal_was_ignored(sig)) {
            sigaddset(&deflt, sig);
        }
    }
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &deflt);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    int rc;
    {
        std::lock_guard<std::mutex> g(kill_lock);
        rc = posix_spawn(&pid, prog.c_str(), &fa, &attr, args.data(), environ);
        if (rc == 0) {
            s.pid = pid;
        }
    }
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    return rc;
}

// Waits for the slot's child to end and forgets it; false when it cannot be waited for.
bool reap(slot_state &s, spawn_end *end)
{
    // Wait without reaping first, so that the pid stays ours while the slot forgets it.
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    while (waitid(P_PID, static_cast<id_t>(s.pid), &info, WEXITED | WNOWAIT) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    pid_t pid;
    {
        std::lock_guard<std::mutex> g(kill_lock);
        pid = s.pid;
        s.pid = 0;
    }
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    if (WIFEXITED(wstatus)) {
        end->exited = 1;
        end->status = WEXITSTATUS(wstatus);
    } else {
        end->exited = 0;
        end->status = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    }
    return true;
}

// Ends the slot's worker (killed when it has not ended by itself) and fills *end with how.
bool stop_worker(slot_state &s, spawn_end *end)
{
    close_fd(s.req_fd);
    close_fd(s.out_fd);
    {
        std::lock_guard<std::mutex> g(kill_lock);
        if (s.pid > 0) {
            kill(s.pid, SIGKILL);
        }
    }
    return s.pid > 0 && reap(s, end);
}

// Starts a worker in the slot. Returns 0, or the error number.
int start_worker(slot_state &s)
{
    int req[2], rep[2];
    if (pipe2(req, O_CLOEXEC) != 0) {
        return errno;
    }
    if (pipe2(rep, O_CLOEXEC) != 0) {
        const int e = errno;
        close(req[0]);
        close(req[1]);
        return e;
    }
    const int rc = start_child(s, worker_prog, {worker_prog, WORKER_ARG}, req[0], rep[1]);
    close(req[0]);
    close(rep[1]);
    if (rc != 0) {
        close(req[1]);
        close(rep[0]);
        return rc;
    }
    s.req_fd = req[1];
    s.out_fd = rep[0];
    return 0;
}

bool write_all(int fd, const std::string &data)
{
    std::size_t at = 0;
    while (at < data.size()) {
        const ssize_t put = write(fd, data.data() + at, data.size() - at);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        at += static_cast<std::size_t>(put);
    }
    return true;
}

// Sends argv to the slot's worker, starting one when the slot has none; a worker found gone is
// replaced once. Returns true, or false with the reason in err.
bool hand_to_worker(slot_state &s, request_kind kind, const std::vector<std::string> &argv,
                    std::string &err)
{
    const std::string req = worker_request(kind, argv);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (s.pid == 0) {
            const int rc = start_worker(s);
            if (rc != 0) {
                err = std::strerror(rc);
                return false;
            }
        }
        s.frames = worker_frames();
        if (write_all(s.req_fd, req)) {
            return true;
        }
        err = std::strerror(errno);
        spawn_end gone{1, 0};
        stop_worker(s, &gone);
    }
    return false;
}

long read_fd(void *ctx, char *buf, std::size_t n)
{
    const int fd = *static_cast<const int *>(ctx);
    for (;;) {
        const ssize_t got = read(fd, buf, n);
        if (got >= 0) {
            return static_cast<long>(got);
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

// What the child wrote to standard error.
void read_messages(const slot_state &s, std::string &msg)
{
    msg.clear();
    struct stat st;
    if (fstat(s.err_fd, &st) == 0 && st.st_size > 0) {
        msg.resize(static_cast<std::size_t>(st.st_size));
        const ssize_t got = pread(s.err_fd, &msg[0], msg.size(), 0);
        msg.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
}

}  // namespace

const bool spawn_text_output = false;

void spawn_use_workers(const std::string &self) { worker_prog = self; }

bool spawn_init(int count, std::string &err)
{
    const char *dir = std::getenv("TMPDIR");
    const std::string base = std::string(dir && *dir ? dir : "/tmp") + "/velkrun-tree-err.XXXXXX";
    slots.assign(static_cast<std::size_t>(count), slot_state());
    for (slot_state &s : slots) {
        std::string name = base;
        s.err_fd = mkostemp(&name[0], O_CLOEXEC);
        if (s.err_fd < 0) {
            err = std::string("cannot create a scratch file: ") + std::strerror(errno);
            return false;
        }
        unlink(name.c_str());  // nothing is left behind, however the run ends
    }
    return true;
}

bool spawn_start(int slot, const std::string &prog, const std::vector<std::string> &argv,
                 std::string &err, request_kind kind)
{
    slot_state &s = slots[static_cast<std::size_t>(slot)];
    if (ftruncate(s.err_fd, 0) != 0 || lseek(s.err_fd, 0, SEEK_SET) != 0) {
        err = std::strerror(errno);
        return false;
    }
    if (!worker_prog.empty()) {
        return hand_to_worker(s, kind, argv, err);
    }
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
        err = std::strerror(errno);
        return false;
    }
    const int rc = start_child(s, prog, argv, -1, pipe_fds[1]);
    close(pipe_fds[1]);
    if (rc != 0) {
        close(pipe_fds[0]);
        err = std::strerror(rc);
        return false;
    }
    s.out_fd = pipe_fds[0];
    return true;
}

long spawn_read(int slot, char *buf, std::size_t n)
{
    slot_state &s = slots[static_cast<std::size_t>(slot)];
    if (!worker_prog.empty()) {
        return worker_read(s.frames, read_fd, &s.out_fd, buf, n);
    }
    return read_fd(&s.out_fd, buf, n);
}

bool spawn_wait(int slot, spawn_end *end, std::string &msg)
{
    slot_state &s = slots[static_cast<std::size_t>(slot)];
    bool waited;
    if (worker_prog.empty()) {
        close_fd(s.out_fd);
        waited = reap(s, end);
    } else if (s.frames.ended) {
        end->exited = 1;
        end->status = s.frames.status;
        waited = true;
    } else {
        // The worker ended (or broke its answer) in the middle of the file; the next file gets a
        // new one.
        waited = stop_worker(s, end);
    }
    read_messages(s, msg);
    return waited;
}

void spawn_kill_all()
{
    std::lock_guard<std::mutex> g(kill_lock);
    for (const slot_state &s : slots) {
        if (s.pid > 0) {
            kill(s.pid, SIGTERM);
        }
    }
}

std::string spawn_describe(const spawn_end &end)
{
    const char *what = strsignal(end.status);
    return "velkrun was killed by signal " + std::to_string(end.status) + " (" +
           (what ? what : "unknown") + ")";
}

void spawn_reset()
{
    for (slot_state &s : slots) {
        // A worker's requests end with its pipe; it ends by itself.
        close_fd(s.req_fd);
        close_fd(s.out_fd);
        spawn_end end{1, 0};
        if (s.pid > 0) {
            reap(s, &end);
        }
        close_fd(s.err_fd);
    }
    slots.clear();
    worker_prog.clear();
}

bool spawn_worker_channels(FILE **requests, FILE **replies)
{
    const int reply_fd = dup(1);
    if (reply_fd < 0) {
        return false;
    }
    fcntl(reply_fd, F_SETFD, FD_CLOEXEC);
    *requests = stdin;
    *replies = fdopen(reply_fd, "wb");
    return *replies != nullptr && std::freopen("/dev/null", "w", stdout) != nullptr;
}

void spawn_die()
{
    signal(SIGKILL, SIG_DFL);
    raise(SIGKILL);
    std::_Exit(137);
}

}  // namespace tree
