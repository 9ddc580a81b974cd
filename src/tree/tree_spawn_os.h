// What tree_spawn.cpp needs of the system, one source per platform (tree_spawn_posix.cpp,
// tree_spawn_win32.cpp): each slot's child process, its pipes and its private file for the child's
// standard error. Only tree_spawn.cpp uses these.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tree/tree_spawn.h"

namespace tree {

// Makes slots 0..count-1, each with an empty private file. Returns true, or false with the reason
// in err.
bool os_slots_init(int count, std::string &err);

// Starts prog with argv (argv[0] first) in slot: standard output a new pipe (os_read), standard
// error the slot's file; with requests, standard input a new pipe (os_send), else the null device.
// Returns true, or false with the reason in err (nothing started).
bool os_start(int slot, const std::string &prog, const std::vector<std::string> &argv,
              bool requests, std::string &err);

// True while the slot has a child not yet reaped.
bool os_running(int slot);

// Writes all of data to the slot's request pipe. Returns true, or false with the reason in err.
bool os_send(int slot, const std::string &data, std::string &err);

// Reads at most n bytes of the slot's output pipe into buf: the count, 0 at its end, -1 on an
// error. ctx points to the slot number (worker_read's reader).
long os_read(void *ctx, char *buf, std::size_t n);

// Closes the slot's pipes, if open.
void os_close_pipes(int slot);

// Waits for the slot's child to end (with kill, ends it at once first: a worker that broke its
// answer), forgets it and fills *end; false when it cannot be waited for.
bool os_reap(int slot, bool kill, spawn_end *end);

// Empties the slot's file for the next child. Returns true, or false with the reason in err.
bool os_clear_messages(int slot, std::string &err);

// Reads the slot's file into msg: size bytes, or all of it when size is -1.
void os_read_messages(int slot, long size, std::string &msg);

// Closes the slots' files and forgets the slots (their pipes are closed and their children
// reaped by then).
void os_slots_release();

}  // namespace tree
