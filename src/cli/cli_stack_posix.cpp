#include "cli/cli_stack.h"

#include <exception>
#include <pthread.h>

namespace cli {

namespace {

struct StackJob {
    void (*fn)(void *);
    void *arg;
    std::exception_ptr error;  // set by the thread: what fn threw
};

extern "C" void *stack_thread(void *p)
{
    StackJob *job = static_cast<StackJob *>(p);
    try {
        job->fn(job->arg);
    } catch (...) {
        job->error = std::current_exception();
    }
    return nullptr;
}

}  // namespace

int run_on_stack(void (*fn)(void *), void *arg, std::size_t stack_size)
{
    StackJob job{fn, arg, nullptr};
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        return -1;
    }
    pthread_t thread;
    const bool made = pthread_attr_setstacksize(&attr, stack_size) == 0 &&
                      pthread_create(&thread, &attr, stack_thread, &job) == 0;
    pthread_attr_destroy(&attr);
    if (!made) {
        return -1;
    }
    pthread_join(thread, nullptr);
    if (job.error) {
        std::rethrow_exception(job.error);
    }
    return 0;
}

}  // namespace cli
