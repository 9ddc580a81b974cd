// Name list lookups: counting, lookups by position, name and group, and the one iterator over the
// names. A position is the 0-based index of a named entry among the named entries from the record
// passed in; empty entries are skipped. Every operation accepts a null list and finds nothing in
// it. Names returned are the list's own strings, valid until their entry changes or is released.
#pragma once

#include <cstdint>

#include "namelist/nl_store.h"

namespace namelist {

// Result of get_namearea: the name found, its group and the first run of that group.
struct NAME_AREA {
    char *name;           // the name found (the list's own string), null when not held
    std::intptr_t value;  // the group (value of the entry found); untouched when not held
    int count;            // number of entries in the group's run
    int first;            // position of the first entry of the run
    int last;             // position of the last entry of the run
};

// Puts the iterator back to process-start values (name_pos 0, name_step 0).
void nl_lookup_reset();

// The named entry at pos, or null (negative pos and past the end included).
NAME_LST *get_namePtr2(NAME_LST *list, int pos);

// Number of named entries.
int count_names(NAME_LST *list);

// Iterator: mode 0 starts forward at the first name, mode -1 backward at the last, any other mode
// continues. Returns the next name, or null at the end without moving the iterator. One iterator
// serves the whole program.
char *get_name(NAME_LST *list, int mode);

// The name at pos, or null.
char *get_name2(NAME_LST *list, int pos);

// Position of the first entry holding name (bytes equal), or -1.
int get_nameNo(NAME_LST *list, const char *name);

// Position of the first entry whose name equals name under StrCmp (ASCII case ignored), or -1.
int get_NameNo(NAME_LST *list, const char *name);

// For an ascending list: the position of name, or minus the position of the last entry that sorts
// before it, or 0. flag non-zero compares with StrCmp, 0 by unsigned bytes.
int get_nameNo2(NAME_LST *list, const char *name, int flag);

// Position of the entry with integer value group and sub_no number, searching the group's first
// run only; -1 when none.
int get_nameNoByGroupNo(NAME_LST *list, std::int32_t group, int number);

// Fills area with name's entry and the first run of its group (integer values compared); returns
// the run's count, 0 when name is not held (area's value then left as it was).
int get_namearea(NAME_LST *list, const char *name, NAME_AREA *area);

// The value of name's first entry, or 0 when not held.
std::intptr_t get_name_value(NAME_LST *list, const char *name);

}  // namespace namelist
