#include "tree/tree_spawn_os.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tree/tree_signal.h"

extern char **environ;

namespace tree {

namespace {

struct slot_state {
    int err_fd = -1;  // private, already unlinked file for the child's standard error
    int out_fd = -1;  // read end of the child's output pipe, or -1
    int req_fd = -1;  // write end of the child's request pipe, or -1
    pid_t pid = 0;    // the running child, or 0; guarded by kill_lock
};

// os_slots_init: one per thread of the run. Never destroyed: an interrupt that arrives as the
// process ends still reaches spawn_kill_all from the signal thread after the exit has begun.
std::vector<slot_state> &slots = *new std::vector<slot_state>;
std::mutex kill_lock;  // keeps spawn_kill_all from signalling a reaped (reused) pid

slot_state &slot_of(int slot) { return slots[static_cast<std::size_t>(slot)]; }

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

// Waits for the slot's child to end (killed first with kill) and forgets it; false when it cannot
// be waited for.
bool reap(slot_state &s, bool kill_first, spawn_end *end)
{
    if (kill_first) {
        kill(s.pid, SIGKILL);  // only this thread reaps it: the pid is still the child's
    }
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

}  // namespace

bool os_slots_init(int count, std::string &err)
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

bool os_start(int slot, const std::string &prog, const std::vector<std::string> &argv,
              bool requests, std::string &err)
{
    slot_state &s = slot_of(slot);
    int req[2] = {-1, -1}, out[2];
    if (requests && pipe2(req, O_CLOEXEC) != 0) {
        err = std::strerror(errno);
        return false;
    }
    if (pipe2(out, O_CLOEXEC) != 0) {
        err = std::strerror(errno);
        close_fd(req[0]);
        close_fd(req[1]);
        return false;
    }
    const int rc = start_child(s, prog, argv, req[0], out[1]);
    close_fd(req[0]);
    close_fd(out[1]);
    if (rc != 0) {
        err = std::strerror(rc);
        close_fd(req[1]);
        close_fd(out[0]);
        return false;
    }
    s.req_fd = req[1];
    s.out_fd = out[0];
    return true;
}

void os_close_pipes(int slot)
{
    slot_state &s = slot_of(slot);
    close_fd(s.req_fd);
    close_fd(s.out_fd);
}

bool os_running(int slot) { return slot_of(slot).pid > 0; }

bool os_send(int slot, const std::string &data, std::string &err)
{
    const int fd = slot_of(slot).req_fd;
    std::size_t at = 0;
    while (at < data.size()) {
        const ssize_t put = write(fd, data.data() + at, data.size() - at);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            err = std::strerror(put < 0 ? errno : EPIPE);
            return false;
        }
        at += static_cast<std::size_t>(put);
    }
    return true;
}

long os_read(void *ctx, char *buf, std::size_t n)
{
    const int fd = slot_of(*static_cast<const int *>(ctx)).out_fd;
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

bool os_reap(int slot, bool kill_first, spawn_end *end)
{
    return reap(slot_of(slot), kill_first, end);
}

bool os_clear_messages(int slot, std::string &err)
{
    const int fd = slot_of(slot).err_fd;
    if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) {
        err = std::strerror(errno);
        return false;
    }
    return true;
}

void os_read_messages(int slot, long size, std::string &msg)
{
    const int fd = slot_of(slot).err_fd;
    struct stat st;
    if (size < 0) {
        size = fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<long>(st.st_size) : 0;
    }
    msg.resize(static_cast<std::size_t>(size));
    const ssize_t got = size > 0 ? pread(fd, &msg[0], msg.size(), 0) : 0;
    msg.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
}

void os_slots_release()
{
    for (slot_state &s : slots) {
        close_fd(s.err_fd);
    }
    std::lock_guard<std::mutex> g(kill_lock);
    slots.clear();
}

const bool spawn_text_output = false;

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
