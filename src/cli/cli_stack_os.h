// The thread under run_on_stack (cli_stack.cpp), one source per platform (cli_stack_posix.cpp,
// cli_stack_win32.cpp). Only cli_stack.cpp uses it.
#pragma once

#include <cstddef>

namespace cli {

// Runs body(arg) on a new thread whose stack reserves stack_size bytes and waits for it; body
// lets no exception out. Returns false when no such thread can be made (body has then not run).
bool os_run_thread(void (*body)(void *), void *arg, std::size_t stack_size);

}  // namespace cli
