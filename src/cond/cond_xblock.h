// The block processor of -x: one call per open conditional, like proc_block, but every directive
// is read whole (with its continuation lines and the comments that run on) by the -x reader
// (cond_xexpr), and an #elif chain is resolved as far as the lists settle it: branches known
// false go, a branch known true after unknown ones becomes #else, an #elif left first becomes
// #if, and a condition that stays unknown is written simplified. What the reader cannot read is
// kept as written with a warning, never refused.
#pragma once

namespace cond {

constexpr int XDIR_MAX = 32768;  // bytes of one directive with its continuation lines kept whole

// The warning for a directive kept as written (line number of its first line, its excerpt).
extern const char XKEPT_FMT[];

// Handles the conditional whose opening line (DIR_IFDEF, DIR_IF or DIR_IFNDEF, '#' at hash) is in
// buff, with the lexical flags clear; keep is 1 when the region around it survives. Counts it in
// if_depth on entry and uncounts it at its #endif; returns 0 after the #endif, -2 when the input
// ended first. Only a line over LINE_MAX or a nesting over IF_DEPTH_MAX ends the run.
int proc_block_x(int kind, int keep, char *hash);

// Puts the module's buffers back to their process-start state.
void xblock_reset();

}  // namespace cond
