#include "tree/tree_signal.h"

#include <csignal>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace tree {

namespace {

sigset_t watched;      // signals_start: SIGINT, SIGTERM, SIGHUP, less those the caller ignored
sigset_t ignored;      // signals_start: the signals ignored when the run started
std::mutex take_lock;  // a signal is taken from the pending set and recorded in one step
int taken = 0;         // the watcher: status of the signal taken, or 0

int status_of(int sig) { return sig == SIGINT ? 130 : sig == SIGTERM ? 143 : 129; }

// The status of a watched signal pending for the process, or 0.
int pending_status()
{
    sigset_t p;
    if (sigpending(&p) != 0) {
        return 0;
    }
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        if (sigismember(&p, sig) == 1 && sigismember(&watched, sig) == 1) {
            return status_of(sig);
        }
    return 0;
}

}  // namespace

void signals_start(void (*handler)(int status))
{
    sigemptyset(&watched);
    sigemptyset(&ignored);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction now;
        if (sigaction(sig, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) {
            sigaddset(&ignored, sig);
        } else if (sig != SIGPIPE) {
            sigaddset(&watched, sig);
        }
    }
    // Blocked here, the signals stay pending in this thread and every thread started after it; a
    // write to a closed standard output becomes an error, not a death.
    pthread_sigmask(SIG_BLOCK, &watched, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // The watcher looks at the pending set rather than waiting in sigwait, so that a signal is
    // recorded in the same step as it is taken: signals_arrived never misses one in between.
    std::thread([handler]() {
        const struct timespec pause = {0, 20 * 1000 * 1000};
        const struct timespec none = {0, 0};
        for (;;) {
            int status = 0;
            {
                std::lock_guard<std::mutex> g(take_lock);
                status = pending_status();
                if (status != 0) {
                    taken = status;
                    sigtimedwait(&watched, nullptr, &none);
                }
            }
            if (status != 0) {
                handler(status);
                return;
            }
            nanosleep(&pause, nullptr);
        }
    }).detach();
}

bool signal_was_ignored(int sig) { return sigismember(&ignored, sig) == 1; }

int signals_arrived()
{
    std::lock_guard<std::mutex> g(take_lock);
    return taken != 0 ? taken : pending_status();
}

}  // namespace tree
