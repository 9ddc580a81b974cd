#include "cli/cli_stack.h"

#include <exception>

#include "cli/cli_stack_os.h"

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

void stack_body(void *p)
{
    StackJob *job = static_cast<StackJob *>(p);
    own_stack = job->stack_size;
    try {
        job->fn(job->arg);
    } catch (...) {
        job->error = std::current_exception();
    }
}

}  // namespace

int run_on_stack(void (*fn)(void *), void *arg, std::size_t stack_size)
{
    if (own_stack != 0 && own_stack >= stack_size) {
        fn(arg);
        return 0;
    }
    StackJob job{fn, arg, stack_size, nullptr};
    if (!os_run_thread(stack_body, &job, stack_size)) {
        return -1;
    }
    if (job.error) {
        std::rethrow_exception(job.error);
    }
    return 0;
}

}  // namespace cli
