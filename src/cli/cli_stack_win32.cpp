#include "cli/cli_stack_os.h"

#include <windows.h>

namespace cli {

namespace {

struct ThreadStart {
    void (*body)(void *);
    void *arg;
};

DWORD WINAPI thread_main(LPVOID p)
{
    const ThreadStart *start = static_cast<const ThreadStart *>(p);
    start->body(start->arg);
    return 0;
}

}  // namespace

bool os_run_thread(void (*body)(void *), void *arg, std::size_t stack_size)
{
    ThreadStart start{body, arg};
    // Only reserved: pages are committed as the recursion reaches them.
    HANDLE thread = CreateThread(nullptr, stack_size, thread_main, &start,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        return false;
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return true;
}

}  // namespace cli
