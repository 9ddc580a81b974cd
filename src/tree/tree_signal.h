// Interrupts (SIGINT, SIGTERM, SIGHUP; Ctrl-C and console close on Windows) turned into one call
// on a thread of their own, so the run can finish or discard its open files before it ends. One
// source per platform (tree_signal_posix.cpp, tree_signal_win32.cpp).
#pragma once

namespace tree {

// Calls handler(status) once, from a thread of its own, when an interrupt arrives: status 130 for
// SIGINT, 143 for SIGTERM, 129 for SIGHUP. A signal the process ignored when this is called (as
// nohup leaves SIGHUP) stays ignored. Must be called before any other thread is started, as the
// POSIX version blocks the signals in every thread it starts later.
void signals_start(void (*handler)(int status));

// True when signal sig (a POSIX signal number) was ignored when the run started, so a child
// started by the run is to inherit it ignored; always false on Windows.
bool signal_was_ignored(int sig);

// The status of an interrupt that has arrived, even one the handler has not been called for yet
// (a signal sent before this call is always seen); 0 when none has.
int signals_arrived();

}  // namespace tree
