// Name list store: chains of NAME_LST records holding named entries, the name hash, and every
// operation that fills, changes or empties a list. Lookups, the iterator and sorts are in
// nl_lookup.h and nl_sort.h.
//
// A list is a chain linked through next. Its first record, the head, belongs to the caller; every
// further record is allocated here with support::getmem and released only by del_allname and
// del_allname2. A record whose name is null is an empty entry: it stays in the chain, is skipped
// by every count, position and lookup, and is refilled by the add_name family.
#pragma once

#include <cstdint>

namespace namelist {

// value holds either a 32-bit integer or, in a two-string list, a pointer to a second string that
// the entry owns. The field is pointer-sized on every build so both fit. Integers are stored
// sign-extended by nl_set_int, so nl_int gives them back exactly, negative ones included; strings
// are stored by nl_set_str and read by nl_str. The record does not say which kind it holds: the
// caller keeps the two kinds of list apart by the operations it uses.
struct NAME_LST {
    char *name;           // owned NUL-terminated name, or null for an empty entry
    std::int32_t hash;    // name_hash of name, stored with every name
    std::intptr_t value;  // an integer or a pointer to an owned second string (see above)
    std::int16_t sub_no;  // number within the entry's group; written by the caller only
    std::uint16_t aux;    // further number for the caller; moved along by name_sort only
    NAME_LST *next;       // next record of the chain, null at the end
};

inline std::int32_t nl_int(const NAME_LST *e) { return static_cast<std::int32_t>(e->value); }
inline void nl_set_int(NAME_LST *e, std::int32_t v) { e->value = v; }
inline char *nl_str(const NAME_LST *e) { return reinterpret_cast<char *>(e->value); }
inline void nl_set_str(NAME_LST *e, char *s) { e->value = reinterpret_cast<std::intptr_t>(s); }

// The first named record at or after e (e itself when it holds a name), or null.
inline NAME_LST *nl_named(NAME_LST *e)
{
    while (e != nullptr && e->name == nullptr) e = e->next;
    return e;
}

// Set by callers, 1 at start: non-zero makes the add_name family skip a name the list holds.
extern int name_lst_dup_check;

// Puts the module state back to process-start values: name_lst_dup_check 1, no remembered tails.
void nl_store_reset();

// Hash of a name: signed bytes summed with wrap-around, ASCII lower case folded to upper case
// outside Shift_JIS pairs, pair bytes added as they are; null hashes to 0. Shared with the lookups.
std::int32_t name_hash(const char *s);

// Makes head an empty list (name and next null); other fields and any old records are left alone.
// A null head is ignored.
void name_init(NAME_LST *head);

// Appends a copy of name at the end, into the last record when that one is empty. No duplicate
// check. 0 stored; -1 when no record could be had or list is null.
int add_list(NAME_LST *list, const char *name);

// Append through a tail remembered across calls (one per operation, not per list): find_tail
// non-zero with a non-null list first walks list to its end. The value is a copy of arg
// (add_list2) or the integer (add_list3). 0 stored; -1 without a tail or without memory. A tail
// whose record del_allname or del_allname2 released is forgotten.
int add_list2(NAME_LST *list, const char *name, const char *arg, int find_tail);
int add_list3(NAME_LST *list, const char *name, std::int32_t value, int find_tail);

// Add under the duplicate rule: while name_lst_dup_check is set, a name already held (bytes
// equal) leaves the list unchanged and gives 0. Otherwise the first empty entry is refilled, else
// a record appended. value becomes 0 (add_name), a copy of arg (add_name2) or value (add_name3).
// 0 stored or present; -1 without memory or with a null list.
int add_name(NAME_LST *list, const char *name);
int add_name2(NAME_LST *list, const char *name, const char *arg);
int add_name3(NAME_LST *list, const char *name, std::int32_t value);

// The first named entry whose hash and bytes equal name's, or null (a null list included).
NAME_LST *ser_name(NAME_LST *list, const char *name);

// 1 when ser_name finds name, else 0.
int check_name(NAME_LST *list, const char *name);

// Empties the first entry of name, releasing its name; del_name2 also releases the value string
// and nulls value. The entry stays linked. 0 done; -1 name not held.
int del_name(NAME_LST *list, const char *name);
int del_name2(NAME_LST *list, const char *name);

// Gives the first entry of old_name a copy of new_name (with its hash), keeping its place, value
// and numbers. new_name may be the entry's own name. 0 done; -1 old_name not held.
int ren_name(NAME_LST *list, const char *old_name, const char *new_name);

// Stores names[0..count-1] themselves (not copies; the list will freemem them) into successive
// records, empties the records beyond count and sets every value to 0. Old names are not
// released; names beyond the chain's length are ignored.
void set_allname(NAME_LST *list, char **names, int count);

// Release every record after head and every name, leaving head as after name_init;
// del_allname2 also releases the value strings, the head's included. A null head is ignored.
void del_allname(NAME_LST *head);
void del_allname2(NAME_LST *head);

}  // namespace namelist
