// Name list sorts and their comparison functions.
#include "namelist/nl_sort.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "namelist/nl_lookup.h"
#include "support/mem_block.h"
#include "support/text_cmp.h"

namespace namelist {

int name_sort_mode = 0;  // callers: 0 sorts by name, non-zero by value, then name

namespace {

const NAME_LST *entry_at(const void *element)
{
    return *static_cast<const NAME_LST *const *>(element);
}

// A work area of count elements of size bytes from getmem, or null when it cannot be had.
void *work_area(int count, std::size_t size)
{
    if (static_cast<std::size_t>(count) > static_cast<std::size_t>(INT_MAX) / size) return nullptr;
    return support::getmem(static_cast<int>(static_cast<std::size_t>(count) * size));
}

}  // namespace

void nl_sort_reset() { name_sort_mode = 0; }

int comp_namedata(const void *a, const void *b)
{
    return support::StrCmp(entry_at(a)->name, entry_at(b)->name);
}

int comp_valuedata(const void *a, const void *b)
{
    const NAME_LST *x = entry_at(a);
    const NAME_LST *y = entry_at(b);
    auto vx = static_cast<std::uint32_t>(nl_int(x));
    auto vy = static_cast<std::uint32_t>(nl_int(y));
    if (vx != vy) return vx < vy ? -1 : 1;
    return support::StrCmp(x->name, y->name);
}

int comp_argdata(const void *a, const void *b)
{
    return support::StrCmp(*static_cast<const char *const *>(a),
                           *static_cast<const char *const *>(b));
}

int name_sort(NAME_LST *list)
{
    int n = count_names(list);
    if (n < 2) return 0;
    auto *copies = static_cast<NAME_LST *>(work_area(n, sizeof(NAME_LST)));
    auto **order = static_cast<NAME_LST **>(work_area(n, sizeof(NAME_LST *)));
    if (copies == nullptr || order == nullptr) {
        support::freemem(copies);
        support::freemem(order);
        return -1;
    }
    int k = 0;
    for (NAME_LST *e = nl_named(list); e != nullptr; e = nl_named(e->next), ++k) {
        copies[k] = *e;
        order[k] = &copies[k];
    }
    std::qsort(order, static_cast<std::size_t>(n), sizeof(NAME_LST *),
               name_sort_mode == 0 ? comp_namedata : comp_valuedata);
    k = 0;
    for (NAME_LST *e = nl_named(list); e != nullptr; e = nl_named(e->next), ++k) {
        const NAME_LST *src = order[k];
        e->name = src->name;
        e->hash = src->hash;
        e->value = src->value;
        e->sub_no = src->sub_no;
        e->aux = src->aux;
    }
    support::freemem(copies);
    support::freemem(order);
    return 0;
}

int name_sort2(NAME_LST *list)
{
    int n = count_names(list);
    if (n < 2) return 0;
    auto **names = static_cast<char **>(work_area(n, sizeof(char *)));
    if (names == nullptr) return -1;
    int k = 0;
    for (NAME_LST *e = nl_named(list); e != nullptr; e = nl_named(e->next)) names[k++] = e->name;
    std::qsort(names, static_cast<std::size_t>(n), sizeof(char *), comp_argdata);
    k = 0;
    for (NAME_LST *e = nl_named(list); e != nullptr; e = nl_named(e->next)) {
        char *s = names[k++];
        // The sort key ends at the first 0x01; the visible name after it moves to the front.
        if (char *mark = std::strchr(s, '\x01'))
            std::memmove(s, mark + 1, std::strlen(mark + 1) + 1);
        e->name = s;
        e->hash = name_hash(s);
    }
    support::freemem(names);
    return 0;
}

}  // namespace namelist
