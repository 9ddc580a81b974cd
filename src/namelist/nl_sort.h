// Name list sorts: in-place reordering of a list's named entries by name, by value, or by sort
// keys that the sort then strips, and the comparison functions for std::qsort that they use.
// Records keep their places in the chain and empty entries stay where they are; only contents
// move. Both sorts accept a null list and sort nothing.
#pragma once

#include "namelist/nl_store.h"

namespace namelist {

// Set by callers, 0 at start: 0 makes name_sort order by name, non-zero by value, then name.
extern int name_sort_mode;

// Puts name_sort_mode back to 0.
void nl_sort_reset();

// Reorders name, hash, value, sub_no and aux of the named entries by comp_namedata, or by
// comp_valuedata when name_sort_mode is set. 0; -1 when a work area cannot be had (list unchanged).
int name_sort(NAME_LST *list);

// Reorders the names alone by StrCmp, then strips from each name everything up to and including
// its first 0x01 byte (in place) and rehashes it. Fewer than two names: nothing changes. 0; -1
// when the work area cannot be had (list unchanged).
int name_sort2(NAME_LST *list);

// qsort comparators over arrays of NAME_LST pointers: StrCmp of the names; or the values as
// unsigned 32-bit numbers, ties by StrCmp of the names.
int comp_namedata(const void *a, const void *b);
int comp_valuedata(const void *a, const void *b);

// qsort comparator over an array of string pointers: StrCmp of the strings.
int comp_argdata(const void *a, const void *b);

}  // namespace namelist
