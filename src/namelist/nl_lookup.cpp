// Name list lookups and the iterator.
#include "namelist/nl_lookup.h"

#include <cstring>

#include "support/text_cmp.h"

namespace namelist {

namespace {

int name_pos = 0;   // get_name: the position it returns next
int name_step = 0;  // get_name: added to name_pos after each name returned, +1 or -1 once started

// Shared body of get_nameNo and get_NameNo: the hash filters, then same() decides.
template <typename Same>
int find_pos(NAME_LST *list, const char *name, Same same)
{
    std::int32_t hash = name_hash(name);
    int pos = 0;
    for (NAME_LST *e = nl_named(list); e != nullptr; e = nl_named(e->next), ++pos) {
        if (e->hash == hash && same(e->name, name)) return pos;
    }
    return -1;
}

int sign_of(int v) { return (v > 0) - (v < 0); }

}  // namespace

void nl_lookup_reset()
{
    name_pos = 0;
    name_step = 0;
}

NAME_LST *get_namePtr2(NAME_LST *list, int pos)
{
    if (pos < 0) return nullptr;
    NAME_LST *e = nl_named(list);
    for (; e != nullptr && pos > 0; --pos) e = nl_named(e->next);
    return e;
}

int count_names(NAME_LST *list)
{
    int n = 0;
    for (NAME_LST *e = nl_named(list); e != nullptr; e = nl_named(e->next)) ++n;
    return n;
}

char *get_name(NAME_LST *list, int mode)
{
    if (mode == 0) {
        name_pos = 0;
        name_step = 1;
    } else if (mode == -1) {
        name_step = -1;
        name_pos = count_names(list) - 1;
    }
    NAME_LST *e = get_namePtr2(list, name_pos);
    if (e == nullptr) return nullptr;
    name_pos += name_step;
    return e->name;
}

char *get_name2(NAME_LST *list, int pos)
{
    NAME_LST *e = get_namePtr2(list, pos);
    return e != nullptr ? e->name : nullptr;
}

int get_nameNo(NAME_LST *list, const char *name)
{
    return find_pos(list, name,
                    [](const char *a, const char *b) { return std::strcmp(a, b) == 0; });
}

int get_NameNo(NAME_LST *list, const char *name)
{
    return find_pos(list, name,
                    [](const char *a, const char *b) { return support::StrCmp(a, b) == 0; });
}

int get_nameNo2(NAME_LST *list, const char *name, int flag)
{
    int result = 0;
    int pos = 0;
    for (NAME_LST *e = nl_named(list); e != nullptr; e = nl_named(e->next), ++pos) {
        // strcmp orders by unsigned bytes.
        int c = flag != 0 ? support::StrCmp(name, e->name) : sign_of(std::strcmp(name, e->name));
        if (c == 0) return pos;
        if (c > 0) result = -pos;
    }
    return result;
}

int get_nameNoByGroupNo(NAME_LST *list, std::int32_t group, int number)
{
    bool met = false;
    int pos = 0;
    for (NAME_LST *e = nl_named(list); e != nullptr; e = nl_named(e->next), ++pos) {
        if (nl_int(e) == group) {
            if (e->sub_no == number) return pos;
            met = true;
        } else if (met) {
            return -1;  // the group's first run has ended
        }
    }
    return -1;
}

int get_namearea(NAME_LST *list, const char *name, NAME_AREA *area)
{
    area->first = 0;
    area->last = 0;
    area->count = 0;
    area->name = nullptr;
    NAME_LST *found = ser_name(list, name);
    if (found == nullptr) return 0;
    std::int32_t group = nl_int(found);
    int first = -1;
    int last = 0;
    int count = 0;
    int pos = 0;
    for (NAME_LST *e = nl_named(list); e != nullptr; e = nl_named(e->next), ++pos) {
        if (nl_int(e) == group) {
            if (first == -1) first = pos;
            last = pos;
            ++count;
        } else if (first != -1) {
            break;
        }
    }
    area->first = first;
    area->last = last;
    area->count = count;
    area->name = found->name;
    area->value = found->value;
    return count;
}

std::intptr_t get_name_value(NAME_LST *list, const char *name)
{
    NAME_LST *e = ser_name(list, name);
    return e != nullptr ? e->value : 0;
}

}  // namespace namelist
