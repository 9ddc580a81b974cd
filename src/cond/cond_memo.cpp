#include "cond/cond_memo.h"

#include <cstdint>
#include <cstring>

#include "cond/cond_eval.h"
#include "cond/cond_match.h"
#include "cond/cond_options.h"

namespace cond {

namespace {

struct Slot {
    std::uint32_t gen;   // in use when equal to memo_gen
    std::uint32_t hash;  // name_hash of the name
    std::uint32_t at;    // where the name's text starts in store
    std::uint16_t len;   // bytes of the name
    std::int16_t pat;    // memo_pattern's answer for the name
};

}  // namespace

static Slot slots[MEMO_SLOTS];                // memo_pattern: remembered names, open addressing
static char store[MEMO_STORE_SIZE];           // memo_pattern: the text of the remembered names
static std::uint32_t memo_gen = 1;            // memo_reset: slots of any other value are empty
static int names;                             // memo_pattern: slots in use in this generation
static std::size_t store_used;                // memo_pattern: bytes of store in use
static int seen_count = -1;                   // memo_pattern: list_count the names were found in
static char *seen_name[LIST_MAX];             // memo_pattern: list_name the names were found in
static char name_buf[NAME_MAX_LEN + 1];       // table_lookup: the terminated copy match needs
static PatFilter list_filter[LIST_MAX];       // table_lookup: what each table pattern demands
static const char *list_filter_of[LIST_MAX];  // table_lookup: the pattern list_filter was made from

static_assert((MEMO_SLOTS & (MEMO_SLOTS - 1)) == 0, "the slot index is a mask of the hash");
static_assert(MEMO_NAMES_MAX < MEMO_SLOTS, "an empty slot must end every probe");
static_assert(LIST_MAX <= INT16_MAX, "a pattern index fits a slot");
static_assert(NAME_MAX_LEN <= UINT16_MAX, "a name length fits a slot");

// Four bytes at a time, in 32-bit arithmetic so that the ILP32 builds pay nothing extra.
static std::uint32_t name_hash(const char *name, std::size_t len)
{
    std::uint32_t h = static_cast<std::uint32_t>(len) * 0x9E3779B1u;
    std::size_t i = 0;
    for (; i + 4 <= len; i += 4) {
        std::uint32_t w;
        std::memcpy(&w, name + i, 4);
        h = (h ^ w) * 0x85EBCA77u;
        h ^= h >> 13;
    }
    if (i < len) {
        std::uint32_t w = 0;
        std::memcpy(&w, name + i, len - i);
        h = (h ^ w) * 0x85EBCA77u;
        h ^= h >> 13;
    }
    return h ^ (h >> 16);
}

// The lookup itself: the first pattern that matches, testing each pattern's filter first.
static int table_lookup(const char *name, std::size_t len)
{
    std::memcpy(name_buf, name, len);
    name_buf[len] = '\0';
    const std::uint64_t have = ident_set(name_buf, len);
    for (int i = 0; i < list_count; i++) {
        // The table does not change during a scan; a filter is made once for each pattern.
        if (list_filter_of[i] != list_name[i]) {
            pat_filter(list_name[i], &list_filter[i]);
            list_filter_of[i] = list_name[i];
        }
        if (pat_may_match(list_filter[i], name_buf, len, have) && match(list_name[i], name_buf)) {
            return i;
        }
    }
    return -1;
}

// Empties the table in one step: a new generation makes every slot free. Only when the counter
// wraps are the slots cleared, so a reset costs nothing and touches no page a run never uses.
static void forget_names()
{
    if (++memo_gen == 0) {
        std::memset(slots, 0, sizeof slots);
        memo_gen = 1;
    }
    names = 0;
    store_used = 0;
}

int memo_pattern(const char *name, std::size_t len)
{
    const std::size_t table_bytes = sizeof(char *) * static_cast<std::size_t>(list_count);
    if (list_count != seen_count || std::memcmp(seen_name, list_name, table_bytes) != 0) {
        forget_names();
        seen_count = list_count;
        std::memcpy(seen_name, list_name, table_bytes);
    }
    const std::uint32_t h = name_hash(name, len);
    std::uint32_t i = h & (MEMO_SLOTS - 1);
    while (slots[i].gen == memo_gen) {
        const Slot &s = slots[i];
        if (s.hash == h && s.len == len && std::memcmp(store + s.at, name, len) == 0) {
            return s.pat;
        }
        i = (i + 1) & (MEMO_SLOTS - 1);
    }
    const int pat = table_lookup(name, len);
    if (names < MEMO_NAMES_MAX && len <= MEMO_STORE_SIZE - store_used) {
        std::memcpy(store + store_used, name, len);
        slots[i] = Slot{memo_gen, h, static_cast<std::uint32_t>(store_used),
                        static_cast<std::uint16_t>(len), static_cast<std::int16_t>(pat)};
        store_used += len;
        names++;
    }
    return pat;
}

int memo_count() { return names; }

void memo_reset()
{
    forget_names();
    seen_count = -1;
    std::memset(seen_name, 0, sizeof seen_name);
    std::memset(name_buf, 0, sizeof name_buf);
    std::memset(list_filter, 0, sizeof list_filter);
    std::memset(list_filter_of, 0, sizeof list_filter_of);
}

}  // namespace cond
