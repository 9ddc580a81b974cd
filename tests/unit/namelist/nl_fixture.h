// Shared set-up for the name list tests: clean module state, one head per test, and every list
// released at the end so the sanitizer build sees no leak.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "namelist/nl_lookup.h"
#include "namelist/nl_sort.h"
#include "namelist/nl_store.h"

namespace nltest {

inline void reset_namelist()
{
    namelist::nl_store_reset();
    namelist::nl_lookup_reset();
    namelist::nl_sort_reset();
}

// Appends each name with add_list; a null name leaves an empty entry at that place.
inline void fill(namelist::NAME_LST *head, std::initializer_list<const char *> names)
{
    static const char gap[] = "\x7f gap";
    for (const char *n : names) EXPECT_EQ(namelist::add_list(head, n != nullptr ? n : gap), 0);
    while (namelist::del_name(head, gap) == 0) {
    }
}

// The chain as written: each record's name, "-" for an empty entry.
inline std::vector<std::string> chain(const namelist::NAME_LST *head)
{
    std::vector<std::string> out;
    for (const namelist::NAME_LST *e = head; e != nullptr; e = e->next)
        out.emplace_back(e->name != nullptr ? e->name : "-");
    return out;
}

inline std::vector<std::string> strs(std::initializer_list<const char *> l)
{
    return std::vector<std::string>(l.begin(), l.end());
}

class NameListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_namelist();
        namelist::name_init(&head);
    }
    void TearDown() override
    {
        // Integer lists by default; two-string tests release their own with del_allname2 first.
        namelist::del_allname(&head);
        reset_namelist();
    }
    namelist::NAME_LST head{};
};

}  // namespace nltest
