#include "support/exit_hook.h"

#include <cstdlib>

#include "support/out_stage.h"

namespace support {

static exit_hook_fn exit_hook;  // set by tests and fuzzers: replaces the process exit

void fatal_exit(int status)
{
    // Lines written before the error stay written, also when a hook stands in for the exit.
    out_drain();
    if (exit_hook) {
        exit_hook(status);
    }
    std::exit(status);
}

exit_hook_fn set_exit_hook(exit_hook_fn hook)
{
    exit_hook_fn old = exit_hook;
    exit_hook = hook;
    return old;
}

}  // namespace support
