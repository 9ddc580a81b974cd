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

extern char **environ;

namespace tree {

namespace {

struct slot_state {
    int err_fd = -1;  // private, already unlinked file for the child's standard error
    int out_fd = -1;  // read end of the running child's output pipe, or -1
    pid_t pid = 0;    // the running child, or 0; guarded by kill_lock
};

std::vector<slot_state> slots;  // spawn_init: one per worker
std::mutex kill_lock;           // keeps spawn_kill_all from signalling a reaped (reused) pid

}  // namespace

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
                 std::string &err)
{
    slot_state &s = slots[static_cast<std::size_t>(slot)];
    if (ftruncate(s.err_fd, 0) != 0 || lseek(s.err_fd, 0, SEEK_SET) != 0) {
        err = std::strerror(errno);
        return false;
    }
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
        err = std::strerror(errno);
        return false;
    }
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, pipe_fds[1], 1);
    posix_spawn_file_actions_adddup2(&fa, s.err_fd, 2);
    posix_spawnattr_init(&attr);
    // The run blocks the interrupt signals in its threads and ignores SIGPIPE; the child gets
    // them back as the run was given them (one the caller ignored stays ignored, as with nohup).
    sigset_t none, deflt;
    sigemptyset(&none);
    sigemptyset(&deflt);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        if (!signal_was_ignored(sig)) sigaddset(&deflt, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &deflt);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    int rc;
    {
        std::lock_guard<std::mutex> g(kill_lock);
        rc = posix_spawn(&pid, prog.c_str(), &fa, &attr, args.data(), environ);
        if (rc == 0) s.pid = pid;
    }
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
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
    for (;;) {
        const ssize_t got = read(s.out_fd, buf, n);
        if (got >= 0) return static_cast<long>(got);
        if (errno != EINTR) return -1;
    }
}

bool spawn_wait(int slot, spawn_end *end, std::string &msg)
{
    slot_state &s = slots[static_cast<std::size_t>(slot)];
    if (s.out_fd >= 0) close(s.out_fd);
    s.out_fd = -1;
    msg.clear();
    // Wait without reaping first, so that the pid stays ours while the slot forgets it.
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    while (waitid(P_PID, static_cast<id_t>(s.pid), &info, WEXITED | WNOWAIT) != 0) {
        if (errno != EINTR) return false;
    }
    pid_t pid;
    {
        std::lock_guard<std::mutex> g(kill_lock);
        pid = s.pid;
        s.pid = 0;
    }
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0) {
        if (errno != EINTR) return false;
    }
    if (WIFEXITED(wstatus)) {
        end->exited = 1;
        end->status = WEXITSTATUS(wstatus);
    } else {
        end->exited = 0;
        end->status = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    }
    struct stat st;
    if (fstat(s.err_fd, &st) == 0 && st.st_size > 0) {
        msg.resize(static_cast<std::size_t>(st.st_size));
        const ssize_t got = pread(s.err_fd, &msg[0], msg.size(), 0);
        msg.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    return true;
}

void spawn_kill_all()
{
    std::lock_guard<std::mutex> g(kill_lock);
    for (const slot_state &s : slots)
        if (s.pid > 0) kill(s.pid, SIGTERM);
}

std::string spawn_describe(const spawn_end &end)
{
    const char *what = strsignal(end.status);
    return "velkrun was killed by signal " + std::to_string(end.status) + " (" +
           (what ? what : "unknown") + ")";
}

void spawn_reset()
{
    std::lock_guard<std::mutex> g(kill_lock);
    for (slot_state &s : slots) {
        if (s.err_fd >= 0) close(s.err_fd);
        if (s.out_fd >= 0) close(s.out_fd);
    }
    slots.clear();
}

}  // namespace tree
