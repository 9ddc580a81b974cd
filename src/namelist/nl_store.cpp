// Name list store: the record chain, the name hash and the operations that change a list.
#include "namelist/nl_store.h"

#include <cstring>

#include "support/mem_block.h"
#include "support/sj_string.h"

namespace namelist {

int name_lst_dup_check = 1;  // callers: non-zero keeps the add_name family from storing a name twice

namespace {

NAME_LST *add_list2_tail = nullptr;  // add_list2: the record after which it stores next
NAME_LST *add_list3_tail = nullptr;  // add_list3: the same for add_list3

// What an adding operation puts into value: nothing, an integer, or a copy of a second string.
enum class Carry { keep, integer, string };

// Stores a copy of name, its hash and the carried value into e. Returns false when a copy could
// not be had; e is then left without either copy.
bool fill_entry(NAME_LST *e, const char *name, std::int32_t hash, Carry carry, const char *arg,
                std::int32_t v) {
    char *name_copy = support::setstr(name);
    if (name_copy == nullptr) return false;
    if (carry == Carry::string) {
        char *arg_copy = support::setstr(arg);
        if (arg_copy == nullptr) {
            support::freemem(name_copy);
            return false;
        }
        nl_set_str(e, arg_copy);
    } else if (carry == Carry::integer) {
        nl_set_int(e, v);
    }
    e->name = name_copy;
    e->hash = hash;
    return true;
}

// A new record (zero-filled, so next is null) holding name and the carried value, or null.
NAME_LST *new_entry(const char *name, std::int32_t hash, Carry carry, const char *arg,
                    std::int32_t v) {
    auto *e = static_cast<NAME_LST *>(support::getmem(static_cast<int>(sizeof(NAME_LST))));
    if (e == nullptr) return nullptr;
    if (!fill_entry(e, name, hash, carry, arg, v)) {
        support::freemem(e);
        return nullptr;
    }
    return e;
}

NAME_LST *last_record(NAME_LST *list) {
    while (list->next != nullptr) list = list->next;
    return list;
}

// Shared body of add_list2 and add_list3, each with its own remembered tail.
int add_at_tail(NAME_LST *&tail, NAME_LST *list, const char *name, Carry carry, const char *arg,
                std::int32_t v, int find_tail) {
    std::int32_t hash = name_hash(name);
    if (find_tail != 0 && list != nullptr) tail = last_record(list);
    if (tail == nullptr) return -1;
    if (tail->name == nullptr) return fill_entry(tail, name, hash, carry, arg, v) ? 0 : -1;
    NAME_LST *e = new_entry(name, hash, carry, arg, v);
    if (e == nullptr) return -1;
    tail->next = e;
    tail = e;
    return 0;
}

// Shared body of the add_name family.
int add_unique(NAME_LST *list, const char *name, Carry carry, const char *arg, std::int32_t v) {
    if (list == nullptr) return -1;
    std::int32_t hash = name_hash(name);
    NAME_LST *first_empty = nullptr;
    NAME_LST *last = list;
    for (NAME_LST *e = list; e != nullptr; e = e->next) {
        if (e->name == nullptr) {
            if (first_empty == nullptr) first_empty = e;
        } else if (name_lst_dup_check != 0 && std::strcmp(e->name, name) == 0) {
            return 0;
        }
        last = e;
    }
    if (first_empty != nullptr) return fill_entry(first_empty, name, hash, carry, arg, v) ? 0 : -1;
    NAME_LST *e = new_entry(name, hash, carry, arg, v);
    if (e == nullptr) return -1;
    last->next = e;
    return 0;
}

// A remembered tail must never outlive the record it points to, nor survive its head's reset.
void forget_tail(const NAME_LST *r) {
    if (add_list2_tail == r) add_list2_tail = nullptr;
    if (add_list3_tail == r) add_list3_tail = nullptr;
}

void release_all(NAME_LST *head, bool with_strings) {
    if (head == nullptr) return;
    NAME_LST *e = head->next;
    while (e != nullptr) {
        NAME_LST *next = e->next;
        support::freemem(e->name);
        if (with_strings) support::freemem(nl_str(e));
        forget_tail(e);
        support::freemem(e);
        e = next;
    }
    support::freemem(head->name);
    if (with_strings) {
        support::freemem(nl_str(head));
        nl_set_str(head, nullptr);
    }
    forget_tail(head);
    head->name = nullptr;
    head->next = nullptr;
}

int empty_entry(NAME_LST *list, const char *name, bool with_string) {
    NAME_LST *e = ser_name(list, name);
    if (e == nullptr) return -1;
    support::freemem(e->name);
    e->name = nullptr;
    if (with_string) {
        support::freemem(nl_str(e));
        nl_set_str(e, nullptr);
    }
    return 0;
}

}  // namespace

void nl_store_reset() {
    name_lst_dup_check = 1;
    add_list2_tail = nullptr;
    add_list3_tail = nullptr;
}

std::int32_t name_hash(const char *s) {
    if (s == nullptr) return 0;
    // Summed unsigned so the wrap-around is defined; each byte counts as a signed 8-bit number.
    std::uint32_t sum = 0;
    auto add = [&sum](unsigned char c) {
        sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
    };
    const auto *p = reinterpret_cast<const unsigned char *>(s);
    while (*p != 0) {
        unsigned char c = *p;
        if (support::is_sj_lead(c) && p[1] != 0) {
            // A two-byte character: its second byte is never case-folded.
            add(c);
            add(p[1]);
            p += 2;
            continue;
        }
        add(c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c);
        ++p;
    }
    return static_cast<std::int32_t>(sum);
}

void name_init(NAME_LST *head) {
    if (head == nullptr) return;
    head->name = nullptr;
    head->next = nullptr;
}

int add_list(NAME_LST *list, const char *name) {
    if (list == nullptr) return -1;
    std::int32_t hash = name_hash(name);
    NAME_LST *last = last_record(list);
    if (last->name == nullptr) return fill_entry(last, name, hash, Carry::keep, nullptr, 0) ? 0 : -1;
    NAME_LST *e = new_entry(name, hash, Carry::keep, nullptr, 0);
    if (e == nullptr) return -1;
    last->next = e;
    return 0;
}

int add_list2(NAME_LST *list, const char *name, const char *arg, int find_tail) {
    return add_at_tail(add_list2_tail, list, name, Carry::string, arg, 0, find_tail);
}

int add_list3(NAME_LST *list, const char *name, std::int32_t value, int find_tail) {
    return add_at_tail(add_list3_tail, list, name, Carry::integer, nullptr, value, find_tail);
}

int add_name(NAME_LST *list, const char *name) {
    return add_unique(list, name, Carry::integer, nullptr, 0);
}

int add_name2(NAME_LST *list, const char *name, const char *arg) {
    return add_unique(list, name, Carry::string, arg, 0);
}

int add_name3(NAME_LST *list, const char *name, std::int32_t value) {
    return add_unique(list, name, Carry::integer, nullptr, value);
}

NAME_LST *ser_name(NAME_LST *list, const char *name) {
    std::int32_t hash = name_hash(name);
    for (NAME_LST *e = list; e != nullptr; e = e->next) {
        if (e->name != nullptr && e->hash == hash && std::strcmp(e->name, name) == 0) return e;
    }
    return nullptr;
}

int check_name(NAME_LST *list, const char *name) { return ser_name(list, name) != nullptr ? 1 : 0; }

int del_name(NAME_LST *list, const char *name) { return empty_entry(list, name, false); }

int del_name2(NAME_LST *list, const char *name) { return empty_entry(list, name, true); }

int ren_name(NAME_LST *list, const char *old_name, const char *new_name) {
    NAME_LST *e = ser_name(list, old_name);
    if (e == nullptr) return -1;
    // Copy before releasing: new_name may be the entry's own name.
    char *copy = support::setstr(new_name);
    if (copy == nullptr) return -1;
    support::freemem(e->name);
    e->name = copy;
    e->hash = name_hash(copy);
    return 0;
}

void set_allname(NAME_LST *list, char **names, int count) {
    int i = 0;
    for (NAME_LST *e = list; e != nullptr; e = e->next, ++i) {
        nl_set_int(e, 0);
        if (i < count) {
            e->name = names[i];
            e->hash = name_hash(names[i]);
        } else {
            e->name = nullptr;
        }
    }
}

void del_allname(NAME_LST *head) { release_all(head, false); }

void del_allname2(NAME_LST *head) { release_all(head, true); }

}  // namespace namelist
