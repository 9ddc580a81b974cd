// The one way a run ends early: every fatal error of every subsystem leaves through fatal_exit.
#pragma once

namespace support {

using exit_hook_fn = void (*)(int status);

// Ends the process with status after flushing standard output. When a hook is installed (tests,
// fuzzers) the hook is called instead; it must not return (it throws or jumps). Never returns.
[[noreturn]] void fatal_exit(int status);

// Installs hook for fatal_exit (null restores the real exit); returns the hook it replaces.
exit_hook_fn set_exit_hook(exit_hook_fn hook);

}  // namespace support
