// Runs the scan on a thread of its own whose stack is large enough for the deepest nesting the
// block processor follows (one recursive call per open conditional).
#pragma once

#include <cstddef>

namespace cli {

// Stack reserved for the scan: the nesting limit times a generous frame size, plus room for the
// message path at the deepest level. Measured frames are far smaller (see cli_run.cpp).
constexpr std::size_t SCAN_STACK_SIZE = std::size_t{512} << 20;

// Runs fn(arg) on a new thread with a stack of stack_size bytes and waits for it. An exception
// leaving fn (a test's exit hook) is rethrown here. Returns 0, or -1 when no such thread can be
// made (fn has then not run).
int run_on_stack(void (*fn)(void *), void *arg, std::size_t stack_size);

}  // namespace cli
