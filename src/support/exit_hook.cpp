#include "support/exit_hook.h"

#include <cstdio>
#include <cstdlib>

namespace support {

static exit_hook_fn exit_hook;  // set by tests and fuzzers: replaces the process exit

void fatal_exit(int status)
{
    if (exit_hook) {
        exit_hook(status);
    }
    // exit() flushes standard output, so lines written before the error stay written.
    std::exit(status);
}

exit_hook_fn set_exit_hook(exit_hook_fn hook)
{
    exit_hook_fn old = exit_hook;
    exit_hook = hook;
    return old;
}

}  // namespace support
