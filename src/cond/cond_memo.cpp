#include "cond/cond_memo.h"

#include <cstdint>
#include <cstring>

#include "cond/cond_eval.h"
#include "cond/cond_match.h"
#include "cond/cond_options.h"

namespace cond {

namespace {

// Eight bytes, so that the slots a run uses share few cache lines; the answer is kept in the
// store beside the name, which a hit reads anyway.
struct Slot {
    std::uint32_t hash;  // name_hash of the name
    std::uint16_t at;    // where the entry starts in store: the answer, then the name
    std::uint8_t len;    // bytes of the name
    std::uint8_t gen;    // in use when equal to memo_gen
};

}  // namespace

constexpr int ANSWER_BYTES = 2;  // memo_pattern's answer plus one, little end first

static Slot slots[MEMO_SLOTS];                // memo_pattern: remembered names, open addressing
static unsigned char store[MEMO_STORE_SIZE];  // memo_pattern: answers and names of the slots
static std::uint8_t memo_gen = 1;             // forget_names: slots of any other value are empty
static int names;                             // memo_pattern: slots in use in this generation
static std::size_t store_used;                // memo_pattern: bytes of store in use
static int seen_count = -1;                   // memo_pattern: list_count the names were found in
static char *seen_name[LIST_MAX];             // memo_pattern: list_name the names were found in
static char name_buf[NAME_MAX_LEN + 1];       // table_lookup: the terminated copy match needs
static PatFilter list_filter[LIST_MAX];       // table_lookup: what each table pattern demands
static const char *list_filter_of[LIST_MAX];  // table_lookup: the pattern list_filter was made from

static_assert((MEMO_SLOTS & (MEMO_SLOTS - 1)) == 0, "the slot index is a mask of the hash");
static_assert(MEMO_NAMES_MAX < MEMO_SLOTS, "an empty slot must end every probe");
static_assert(MEMO_STORE_SIZE <= UINT16_MAX + 1, "an entry's place fits a slot");
static_assert(NAME_MAX_LEN <= UINT8_MAX, "a name length fits a slot");
static_assert(LIST_MAX < UINT16_MAX, "an answer fits its two bytes");

// Four bytes at a time, in 32-bit arithmetic so that the ILP32 builds pay nothing extra; the last
// four bytes overlap the ones before rather than be copied out one by one.
static std::uint32_t mix(std::uint32_t h, std::uint32_t w)
{
    h = (h ^ w) * 0x85EBCA77u;
    return h ^ (h >> 13);
}

static std::uint32_t name_hash(const char *name, std::size_t len)
{
    std::uint32_t h = static_cast<std::uint32_t>(len) * 0x9E3779B1u;
    std::uint32_t w = 0;
    if (len < 4) {
        for (std::size_t i = 0; i < len; i++) {
            w = w << 8 | static_cast<unsigned char>(name[i]);
        }
    } else {
        for (std::size_t i = 0; i + 4 < len; i += 4) {
            std::memcpy(&w, name + i, 4);
            h = mix(h, w);
        }
        std::memcpy(&w, name + len - 4, 4);
    }
    h = mix(h, w);
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
// wraps are the slots cleared, so a reset costs little and touches no page a run never uses.
static void forget_names()
{
    if (++memo_gen == 0) {
        std::memset(slots, 0, sizeof slots);
        memo_gen = 1;
    }
    names = 0;
    store_used = 0;
}

// Forgets the remembered names when the table is not the one they were found in (other patterns
// or another order) and notes the table they will be found in.
static void check_table()
{
    bool same = list_count == seen_count;
    for (int i = 0; same && i < list_count; i++) {
        same = seen_name[i] == list_name[i];
    }
    if (!same) {
        forget_names();
        seen_count = list_count;
        std::memcpy(seen_name, list_name, sizeof(char *) * static_cast<std::size_t>(list_count));
    }
}

// The len bytes at a and at b are the same. Names are short: four bytes at a time, the last four
// overlapping the ones before.
static bool same_bytes(const unsigned char *a, const char *b, std::size_t len)
{
    if (len < 4) {
        for (std::size_t i = 0; i < len; i++) {
            if (a[i] != static_cast<unsigned char>(b[i])) {
                return false;
            }
        }
        return true;
    }
    std::uint32_t x, y;
    for (std::size_t i = 0; i + 4 < len; i += 4) {
        std::memcpy(&x, a + i, 4);
        std::memcpy(&y, b + i, 4);
        if (x != y) {
            return false;
        }
    }
    std::memcpy(&x, a + len - 4, 4);
    std::memcpy(&y, b + len - 4, 4);
    return x == y;
}

int memo_pattern(const char *name, std::size_t len)
{
    check_table();
    const std::uint32_t h = name_hash(name, len);
    std::uint32_t i = h & (MEMO_SLOTS - 1);
    for (; slots[i].gen == memo_gen; i = (i + 1) & (MEMO_SLOTS - 1)) {
        const Slot &s = slots[i];
        const unsigned char *entry = store + s.at;
        if (s.hash == h && s.len == len && same_bytes(entry + ANSWER_BYTES, name, len)) {
            return (entry[0] | entry[1] << 8) - 1;
        }
    }
    const int pat = table_lookup(name, len);
    if (names < MEMO_NAMES_MAX && ANSWER_BYTES + len <= MEMO_STORE_SIZE - store_used) {
        unsigned char *entry = store + store_used;
        entry[0] = static_cast<unsigned char>((pat + 1) & 0xFF);
        entry[1] = static_cast<unsigned char>((pat + 1) >> 8);
        std::memcpy(entry + ANSWER_BYTES, name, len);
        slots[i] = Slot{h, static_cast<std::uint16_t>(store_used), static_cast<std::uint8_t>(len),
                        memo_gen};
        store_used += ANSWER_BYTES + len;
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
