#include "tree/tree_signal.h"

#include <csignal>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace tree {

namespace {

sigset_t watched;      // signals_start: SIGINT, SIGTERM, SIGHUP
std::mutex take_lock;  // a signal is taken from the pending set and recorded in one step
int taken = 0;         // the watcher: status of the signal taken, or 0

int status_of(int sig) { return sig == SIGINT ? 130 : sig == SIGTERM ? 143 : 129; }

// The status of a watched signal pending for the process, or 0.
int pending_status()
{
    sigset_t p;
    if (sigpending(&p) != 0) return 0;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        if (sigismember(&p, sig) == 1) return status_of(sig);
    return 0;
}

}  // namespace

void signals_start(void (*handler)(int status))
{
    sigemptyset(&watched);
    sigaddset(&watched, SIGINT);
    sigaddset(&watched, SIGTERM);
    sigaddset(&watched, SIGHUP);
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

int signals_arrived()
{
    std::lock_guard<std::mutex> g(take_lock);
    return taken != 0 ? taken : pending_status();
}

}  // namespace tree
