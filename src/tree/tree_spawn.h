// Child processes: one long-lived worker per slot (velkrun-tree in its worker mode, tree_worker)
// or, when the user names a velkrun to run, one velkrun per file. Either way the file's output is
// read through a pipe and the messages are gathered in a private file of the calling slot (a
// thread of the run has one slot). tree_spawn.cpp holds the dispatch; the system's part is one
// source per platform (tree_spawn_posix.cpp, tree_spawn_win32.cpp, under tree_spawn_os.h).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "tree/tree_worker.h"

namespace tree {

// How a child ended.
struct spawn_end {
    int exited;  // 1: it ended by itself with status; 0: a signal or a crash ended it
    int status;  // its exit status, or the signal number (POSIX) / exception code (Windows)
};

// Prepares slots 0..count-1 (one error file each). Returns true, or false with the reason in err.
bool spawn_init(int count, std::string &err);

// From now on spawn_start hands each argv to the worker of its slot (self started with WORKER_ARG,
// anew when the slot has none or its worker is gone) instead of starting prog.
void spawn_use_workers(const std::string &self);

// Starts prog with argv (argv[0] first) in slot: standard input the null device, standard output
// a pipe read by spawn_read. With workers, sends argv to the slot's worker instead. Returns true,
// or false with the reason in err (nothing started).
// A names request (request_kind::names) goes only to a worker.
bool spawn_start(int slot, const std::string &prog, const std::vector<std::string> &argv,
                 std::string &err, request_kind kind = request_kind::filter);

// Reads at most n bytes of the running child's output into buf. Returns the count, 0 at the end
// of the output, -1 on a read error.
long spawn_read(int slot, char *buf, std::size_t n);

// Waits for the child (with workers: for the end of its file; a worker that ended without it is
// reaped and its end described) and fills *end; msg receives what the child wrote to
// standard error (empty for none). Returns true, or false when the child could not be waited for.
bool spawn_wait(int slot, spawn_end *end, std::string &msg);

// Ends every child still running (for an interrupt); safe from any thread.
void spawn_kill_all();

// A description of a child that did not end by itself: "killed by signal 9 (Killed)".
std::string spawn_describe(const spawn_end &end);

// Releases the slots; workers are told there is no more work and waited for.
void spawn_reset();

// In a worker: the requests (its standard input) and the answers (its standard output), both
// binary; standard output itself then goes to the null device, so a stray write cannot corrupt the
// answers. Returns false when they cannot be set up.
bool spawn_worker_channels(FILE **requests, FILE **replies);

// True where velkrun's standard output is a text stream that writes each LF as CR LF (Windows):
// a worker writes the file's output as velkrun would.
extern const bool spawn_text_output;

// In a worker: ends the process at once as a kill would (a test's hook).
[[noreturn]] void spawn_die();

}  // namespace tree
