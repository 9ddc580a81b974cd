// Child processes: one velkrun per file, its standard output read through a pipe, its standard
// error gathered in a private file of the calling slot (a worker thread has one slot). One source
// per platform (tree_spawn_posix.cpp, tree_spawn_win32.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tree {

// How a child ended.
struct spawn_end {
    int exited;  // 1: it ended by itself with status; 0: a signal or a crash ended it
    int status;  // its exit status, or the signal number (POSIX) / exception code (Windows)
};

// Prepares slots 0..count-1 (one error file each). Returns true, or false with the reason in err.
bool spawn_init(int count, std::string &err);

// Starts prog with argv (argv[0] first) in slot: standard input the null device, standard output
// a pipe read by spawn_read. Returns true, or false with the reason in err (nothing started).
bool spawn_start(int slot, const std::string &prog, const std::vector<std::string> &argv,
                 std::string &err);

// Reads at most n bytes of the running child's output into buf. Returns the count, 0 at the end
// of the output, -1 on a read error.
long spawn_read(int slot, char *buf, std::size_t n);

// Closes the pipe, waits for the child and fills *end; msg receives what the child wrote to
// standard error (empty for none). Returns true, or false when the child could not be waited for.
bool spawn_wait(int slot, spawn_end *end, std::string &msg);

// Ends every child still running (for an interrupt); safe from any thread.
void spawn_kill_all();

// A description of a child that did not end by itself: "killed by signal 9 (Killed)".
std::string spawn_describe(const spawn_end &end);

// Releases the slots.
void spawn_reset();

}  // namespace tree
