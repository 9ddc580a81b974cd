// Times programs for the benchmark scripts, with their output going to /dev/null.
//
//   spawn_timer ROUNDS CMD [ARG...] [-- CMD [ARG...]]...
//       start-up: runs each command ROUNDS times, the commands taking turns so that a busy spell
//       of the machine falls on all of them alike, and prints for each one line with the fastest,
//       first-quartile and median wall time of one run, in microseconds.
//   spawn_timer --once ERRFILE CMD [ARG...]
//       throughput: runs the command once with standard error to ERRFILE and prints its wall time
//       in nanoseconds, its CPU time (user + system) in seconds to the microsecond and its peak
//       resident memory in KiB; exits with the command's status.
//
// Link it statically: the peak memory of a child counts the timer's own pages until the exec.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char **environ;

namespace {

// Runs cmd with stdout to /dev/null and stderr to err_path (or /dev/null); returns its wait
// status, the wall time in microseconds and its resource use.
int spawn_wait(char **cmd, const char *err_path, double *wall_us, rusage *use)
{
    posix_spawn_file_actions_t io;
    posix_spawn_file_actions_init(&io);
    posix_spawn_file_actions_addopen(&io, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&io, 2, err_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, cmd[0], &io, nullptr, cmd, environ) != 0) {
        std::fprintf(stderr, "cannot run %s\n", cmd[0]);
        std::exit(1);
    }
    int status = 0;
    wait4(pid, &status, 0, use);
    const auto t1 = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&io);
    *wall_us = std::chrono::duration<double, std::micro>(t1 - t0).count();
    return status;
}

int once(char **argv)
{
    double us;
    rusage use{};
    const int status = spawn_wait(argv + 1, argv[0], &us, &use);
    const double cpu = static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
                       static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
    std::printf("%.0f %.6f %ld\n", us * 1e3, cpu, static_cast<long>(use.ru_maxrss));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int rounds(int n, int argc, char **argv)
{
    std::vector<char **> cmds{argv};
    for (int i = 0; i < argc; i++) {
        if (std::strcmp(argv[i], "--") == 0) {
            argv[i] = nullptr;  // ends the previous command's argument vector
            cmds.push_back(argv + i + 1);
        }
    }
    std::vector<std::vector<double>> us(cmds.size());
    for (int r = 0; r < n; r++) {
        for (size_t c = 0; c < cmds.size(); c++) {
            double t;
            rusage use{};
            spawn_wait(cmds[c], "/dev/null", &t, &use);
            us[c].push_back(t);
        }
    }
    for (std::vector<double> &t : us) {
        std::sort(t.begin(), t.end());
        std::printf("%.0f %.0f %.0f\n", t[0], t[t.size() / 4], t[t.size() / 2]);
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--once") == 0) {
        return once(argv + 2);
    }
    if (argc >= 3 && std::atoi(argv[1]) > 0) {
        return rounds(std::atoi(argv[1]), argc - 2, argv + 2);
    }
    std::fprintf(stderr, "usage: %s ROUNDS CMD [ARG...] [-- CMD...]... | --once ERRFILE CMD...\n",
                 argv[0]);
    return 2;
}
