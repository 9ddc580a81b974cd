// The conditional block processor: one call per open conditional, from its opening line through
// its #endif, deciding which lines survive; nested conditionals are handled by recursion. It has
// no state of its own.
#pragma once

namespace cond {

// Deepest nesting followed; one more ends the run with a message rather than overflowing the
// stack that the caller provides (cli::SCAN_STACK_SIZE).
constexpr int IF_DEPTH_MAX = 250000;

// Handles the conditional whose opening line (DIR_IFDEF, DIR_IF or DIR_IFNDEF) is in buff, with
// the lexical flags clear; keep is 1 when the region around it survives. Counts the conditional in
// if_depth on entry, reads the input up to and including the matching #endif, handing every line
// to put_line_sel, and uncounts it at that #endif. Returns 0 after the #endif (if_depth as before
// the call), -2 when the input ended first (every open conditional still counted). Every error
// ends the run.
int proc_block(int kind, int keep);

// Puts every module of the conditional subsystem (options and pattern table, line reader, lexical
// state, output, evaluator, matcher) back to its process-start state.
void cond_reset();

}  // namespace cond
