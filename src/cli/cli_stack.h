// Runs the scan on a thread of its own whose stack is large enough for the deepest nesting the
// block processor follows (one recursive call per open conditional).
#pragma once

#include <cstddef>

namespace cli {

// Stack reserved for the scan: one block-processor frame (about 120 bytes optimised, 240 under
// AddressSanitizer on x86-64) for each of the IF_DEPTH_MAX levels, twice over, plus room for the
// message path at the deepest level. Only reserved; pages are used as the nesting reaches them.
constexpr std::size_t SCAN_STACK_SIZE = std::size_t{128} << 20;

// Runs fn(arg) on a new thread with a stack of stack_size bytes and waits for it; on the calling
// thread itself when that is a thread this function made with at least stack_size (a worker runs
// its whole request loop on one). An exception leaving fn (a test's exit hook) is rethrown here.
// Returns 0, or -1 when no such thread can be made (fn has then not run).
int run_on_stack(void (*fn)(void *), void *arg, std::size_t stack_size);

}  // namespace cli
