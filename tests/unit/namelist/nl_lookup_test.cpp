#include <cstdint>

#include "nl_fixture.h"

using namespace namelist;
using nltest::fill;

namespace {

class NlLookup : public nltest::NameListTest {
protected:
    // Gives the named entries the values (and sub_no) given, in chain order.
    void set_groups(std::initializer_list<std::int32_t> values,
                    std::initializer_list<std::int16_t> subs)
    {
        NAME_LST *e = nl_named(&head);
        auto s = subs.begin();
        for (std::int32_t v : values) {
            ASSERT_NE(e, nullptr);
            nl_set_int(e, v);
            e->sub_no = *s++;
            e = nl_named(e->next);
        }
    }
};

TEST_F(NlLookup, ListWithoutNamesFindsNothing)
{
    EXPECT_EQ(count_names(&head), 0);
    EXPECT_EQ(get_name(&head, 0), nullptr);
    EXPECT_EQ(get_name(&head, -1), nullptr);
    EXPECT_EQ(get_nameNo(&head, "a"), -1);
    EXPECT_EQ(get_name2(&head, 0), nullptr);
}

TEST_F(NlLookup, PositionsSkipEmptyEntries)
{
    fill(&head, {nullptr, "a", nullptr, "b"});
    EXPECT_EQ(count_names(&head), 2);
    EXPECT_STREQ(get_name2(&head, 0), "a");
    EXPECT_STREQ(get_name2(&head, 1), "b");
    EXPECT_EQ(get_name2(&head, 2), nullptr);
    EXPECT_EQ(get_name2(&head, -1), nullptr);
    EXPECT_EQ(get_namePtr2(&head, 1), ser_name(&head, "b"));
    EXPECT_EQ(get_namePtr2(&head, -1), nullptr);
    EXPECT_EQ(get_nameNo(&head, "b"), 1);
    EXPECT_EQ(get_NameNo(&head, "B"), 1);
    EXPECT_EQ(get_nameNo(&head, "B"), -1);
    EXPECT_EQ(get_NameNo(&head, "c"), -1);
}

TEST_F(NlLookup, IteratorRunsBothWaysAndStopsAtTheEnd)
{
    fill(&head, {"a", nullptr, "b", "c"});
    EXPECT_STREQ(get_name(&head, 0), "a");
    EXPECT_STREQ(get_name(&head, 1), "b");
    EXPECT_STREQ(get_name(&head, 1), "c");
    EXPECT_EQ(get_name(&head, 1), nullptr);
    EXPECT_EQ(get_name(&head, 1), nullptr);
    ASSERT_EQ(add_list(&head, "d"), 0);  // the position did not move past the end
    EXPECT_STREQ(get_name(&head, 1), "d");

    EXPECT_STREQ(get_name(&head, -1), "d");
    EXPECT_STREQ(get_name(&head, 1), "c");
    EXPECT_STREQ(get_name(&head, 1), "b");
    EXPECT_STREQ(get_name(&head, 1), "a");
    EXPECT_EQ(get_name(&head, 1), nullptr);
    EXPECT_EQ(get_name(&head, 1), nullptr);
}

TEST_F(NlLookup, IteratorBeforeAnyStartRepeatsTheFirstName)
{
    fill(&head, {nullptr, "a", "b"});
    EXPECT_STREQ(get_name(&head, 1), "a");
    EXPECT_STREQ(get_name(&head, 1), "a");
}

TEST_F(NlLookup, SortedSearchGivesPositionOrLastEntryBefore)
{
    fill(&head, {"b", nullptr, "d"});
    EXPECT_EQ(get_nameNo2(&head, "a", 0), 0);
    EXPECT_EQ(get_nameNo2(&head, "c", 0), 0);
    EXPECT_EQ(get_nameNo2(&head, "e", 0), -1);
    EXPECT_EQ(get_nameNo2(&head, "d", 0), 1);
    EXPECT_EQ(get_nameNo2(&head, "b", 1), 0);
    EXPECT_EQ(get_nameNo2(&head, "D", 1), 1);
    EXPECT_EQ(get_nameNo2(&head, "D", 0), 0);  // bytes: 'D' sorts before 'b'
}

TEST_F(NlLookup, SortedSearchByBytesIsUnsigned)
{
    fill(&head, {"a", "b", "\xE0\x40"});
    EXPECT_EQ(get_nameNo2(&head, "\xC0", 0), -1);
    EXPECT_EQ(get_nameNo2(&head, "\xF0", 0), -2);
    EXPECT_EQ(get_nameNo2(&head, "\xE0\x40", 0), 2);
}

TEST_F(NlLookup, GroupSearchStopsAtTheEndOfTheFirstRun)
{
    fill(&head, {"p", nullptr, "q", "r", "s"});
    set_groups({1, 2, 1, 3}, {0, 0, 7, 0});
    EXPECT_EQ(get_nameNoByGroupNo(&head, 1, 7), -1);  // only the second run holds it
    EXPECT_EQ(get_nameNoByGroupNo(&head, 1, 0), 0);
    EXPECT_EQ(get_nameNoByGroupNo(&head, 3, 0), 3);
    EXPECT_EQ(get_nameNoByGroupNo(&head, 2, 65536), -1);
    EXPECT_EQ(get_nameNoByGroupNo(&head, 4, 0), -1);
    set_groups({-1, -1, 1, 3}, {5, -2, 7, 0});
    EXPECT_EQ(get_nameNoByGroupNo(&head, -1, -2), 1);
}

TEST_F(NlLookup, AreaReportsTheFirstRunOfTheGroup)
{
    fill(&head, {"p", "q", "r"});
    set_groups({1, 2, 1}, {0, 0, 0});
    NAME_AREA area{};
    area.value = 99;
    EXPECT_EQ(get_namearea(&head, "r", &area), 1);
    EXPECT_STREQ(area.name, "r");
    EXPECT_EQ(area.value, 1);
    EXPECT_EQ(area.first, 0);
    EXPECT_EQ(area.last, 0);
    EXPECT_EQ(area.count, 1);

    set_groups({4, 2, 2}, {0, 0, 0});
    EXPECT_EQ(get_namearea(&head, "q", &area), 2);
    EXPECT_EQ(area.first, 1);
    EXPECT_EQ(area.last, 2);
    EXPECT_EQ(area.value, 2);

    area.value = 42;
    EXPECT_EQ(get_namearea(&head, "x", &area), 0);
    EXPECT_EQ(area.name, nullptr);
    EXPECT_EQ(area.count, 0);
    EXPECT_EQ(area.value, 42);
    EXPECT_EQ(get_namearea(nullptr, "p", &area), 0);
}

TEST_F(NlLookup, ValueOfANameOrZero)
{
    ASSERT_EQ(add_name3(&head, "neg", -5), 0);
    EXPECT_EQ(get_name_value(&head, "neg"), -5);
    EXPECT_EQ(get_name_value(&head, "NEG"), 0);
    del_allname(&head);
    ASSERT_EQ(add_name2(&head, "k", "second"), 0);
    EXPECT_STREQ(reinterpret_cast<const char *>(get_name_value(&head, "k")), "second");
    del_allname2(&head);
}

TEST_F(NlLookup, NullListsCountZeroAndFindNothing)
{
    EXPECT_EQ(count_names(nullptr), 0);
    EXPECT_EQ(get_name(nullptr, 0), nullptr);
    EXPECT_EQ(get_name(nullptr, -1), nullptr);
    EXPECT_EQ(get_name(nullptr, 1), nullptr);
    EXPECT_EQ(get_name2(nullptr, 0), nullptr);
    EXPECT_EQ(get_namePtr2(nullptr, 0), nullptr);
    EXPECT_EQ(get_nameNo(nullptr, "a"), -1);
    EXPECT_EQ(get_NameNo(nullptr, "a"), -1);
    EXPECT_EQ(get_nameNo2(nullptr, "a", 1), 0);
    EXPECT_EQ(get_nameNoByGroupNo(nullptr, 0, 0), -1);
    EXPECT_EQ(get_name_value(nullptr, "a"), 0);
}

}  // namespace
