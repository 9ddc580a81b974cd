// The one way a run ends early: every fatal error of every subsystem leaves through fatal_exit.
#pragma once

namespace support {

using exit_hook_fn = void (*)(int status);

// Hands what the output stage holds to standard output (out_drain; a failure there can no longer
// be reported), then ends the process with status. When a hook is installed (tests, fuzzers) the
// hook is called instead of the exit, after the drain; it must not return (it throws or jumps).
[[noreturn]] void fatal_exit(int status);

// Installs hook for fatal_exit (null restores the real exit); returns the hook it replaces.
exit_hook_fn set_exit_hook(exit_hook_fn hook);

}  // namespace support
