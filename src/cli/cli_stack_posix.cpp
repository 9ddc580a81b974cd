#include "cli/cli_stack.h"

#include <exception>
#include <pthread.h>

namespace cli {

namespace {

struct StackJob {
    void (*fn)(void *);
    void *arg;
    std::size_t stack_size;
    std::exception_ptr error;  // set by the thread: what fn threw
};

// On a thread run_on_stack made: the stack size it was given; 0 on any other thread.
thread_local std::size_t own_stack = 0;

extern "C" void *stack_thread(void *p)
{
    StackJob *job = static_cast<StackJob *>(p);
    own_stack = job->stack_size;
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
    if (own_stack != 0 && own_stack >= stack_size) {
        fn(arg);
        return 0;
    }
    StackJob job{fn, arg, stack_size, nullptr};
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
