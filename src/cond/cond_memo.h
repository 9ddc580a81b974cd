// Name lookups remembered for the run: the pattern table does not change while a file is scanned,
// so the pattern a name matches is found once and then read from a fixed hash table. Nothing here
// allocates; once the table or its name store is full, further names are looked up every time.
#pragma once

#include <cstddef>

namespace cond {

constexpr int MEMO_SLOTS = 1024;        // hash table size, a power of two; 8 KiB stays in cache
constexpr int MEMO_NAMES_MAX = 512;     // names remembered at most (half the slots: short probes)
constexpr int MEMO_STORE_SIZE = 16384;  // bytes of remembered names, two more for each

// Index of the first table pattern (list_name) that matches the name of len bytes at name (len at
// most NAME_MAX_LEN, not necessarily terminated), or -1 when none does. The answer is remembered;
// a table whose count or pattern pointers differ from the last lookup's drops what was remembered.
int memo_pattern(const char *name, std::size_t len);

// Names remembered since the last reset (at most MEMO_NAMES_MAX).
int memo_count();

// Forgets every remembered name and the filters made for the patterns: required whenever the
// table changes in a way memo_pattern cannot see (a pattern rewritten where it stands).
void memo_reset();

}  // namespace cond
