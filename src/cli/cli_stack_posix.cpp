#include "cli/cli_stack_os.h"

#include <pthread.h>

namespace cli {

namespace {

struct ThreadStart {
    void (*body)(void *);
    void *arg;
};

extern "C" void *thread_main(void *p)
{
    const ThreadStart *start = static_cast<const ThreadStart *>(p);
    start->body(start->arg);
    return nullptr;
}

}  // namespace

bool os_run_thread(void (*body)(void *), void *arg, std::size_t stack_size)
{
    ThreadStart start{body, arg};
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        return false;
    }
    pthread_t thread;
    const bool made = pthread_attr_setstacksize(&attr, stack_size) == 0 &&
                      pthread_create(&thread, &attr, thread_main, &start) == 0;
    pthread_attr_destroy(&attr);
    if (!made) {
        return false;
    }
    pthread_join(thread, nullptr);
    return true;
}

}  // namespace cli
