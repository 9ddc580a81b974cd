#include <cstdint>

#include "nl_fixture.h"

using namespace namelist;
using nltest::chain;
using nltest::fill;
using nltest::strs;

namespace {

class NlSort : public nltest::NameListTest {};

int cmp_entries(int (*cmp)(const void *, const void *), const NAME_LST &x, const NAME_LST &y)
{
    const NAME_LST *px = &x;
    const NAME_LST *py = &y;
    return cmp(&px, &py);
}

TEST(NlSortCompare, ValuesCompareUnsignedThenByName)
{
    char a[] = "a";
    char b[] = "B";
    NAME_LST x{};
    NAME_LST y{};
    x.name = a;
    y.name = b;
    nl_set_int(&x, -1);
    nl_set_int(&y, 5);
    EXPECT_GT(cmp_entries(comp_valuedata, x, y), 0);
    EXPECT_LT(cmp_entries(comp_valuedata, y, x), 0);
    nl_set_int(&y, -1);
    EXPECT_LT(cmp_entries(comp_valuedata, x, y), 0);  // equal values: names decide
    EXPECT_LT(cmp_entries(comp_namedata, x, y), 0);   // case-blind: 'a' before 'B'
    const char *s1 = "abc";
    const char *s2 = "ABC";
    const char *s3 = "abd";
    EXPECT_EQ(comp_argdata(&s1, &s2), 0);
    EXPECT_LT(comp_argdata(&s2, &s3), 0);
}

TEST_F(NlSort, ByNameMovesContentsAroundEmptyEntries)
{
    fill(&head, {"c", nullptr, "A", nullptr, "b"});
    NAME_LST *c = ser_name(&head, "c");
    nl_set_int(c, 3);
    c->sub_no = -3;
    c->aux = 30;
    std::vector<NAME_LST *> records;
    for (NAME_LST *e = &head; e != nullptr; e = e->next) records.push_back(e);

    EXPECT_EQ(name_sort(&head), 0);
    EXPECT_EQ(chain(&head), strs({"A", "-", "b", "-", "c"}));
    std::vector<NAME_LST *> after;
    for (NAME_LST *e = &head; e != nullptr; e = e->next) after.push_back(e);
    EXPECT_EQ(after, records);  // the chain itself is untouched
    NAME_LST *moved = ser_name(&head, "c");
    EXPECT_EQ(moved, records[4]);
    EXPECT_EQ(nl_int(moved), 3);
    EXPECT_EQ(moved->sub_no, -3);
    EXPECT_EQ(moved->aux, 30);
    EXPECT_EQ(moved->hash, name_hash("c"));
    EXPECT_EQ(nl_int(&head), 0);
}

TEST_F(NlSort, ByValuePutsNegativeValuesLast)
{
    name_sort_mode = 1;
    ASSERT_EQ(add_name3(&head, "m", -1), 0);
    ASSERT_EQ(add_name3(&head, "n", 5), 0);
    ASSERT_EQ(add_name3(&head, "b", 5), 0);
    ASSERT_EQ(add_name3(&head, "z", 0), 0);
    EXPECT_EQ(name_sort(&head), 0);
    EXPECT_EQ(chain(&head), strs({"z", "b", "n", "m"}));
    EXPECT_EQ(nl_int(head.next->next->next), -1);
}

TEST_F(NlSort, OneNameOrNoneChangesNothing)
{
    EXPECT_EQ(name_sort(nullptr), 0);
    EXPECT_EQ(name_sort2(nullptr), 0);
    EXPECT_EQ(name_sort(&head), 0);
    fill(&head, {nullptr, "2\x01two"});
    EXPECT_EQ(name_sort(&head), 0);
    EXPECT_EQ(name_sort2(&head), 0);
    EXPECT_EQ(chain(&head), strs({"-", "2\x01two"}));  // a lone name keeps its key
}

TEST_F(NlSort, KeyPrefixOrdersNamesAndIsRemoved)
{
    fill(&head, {"2\x01two", nullptr, "1\x01one", "0\x01", "zz"});
    ASSERT_EQ(add_list(&head, "x"), 0);
    nl_set_int(&head, 10);  // values stay with their records
    EXPECT_EQ(name_sort2(&head), 0);
    EXPECT_EQ(chain(&head), strs({"", "-", "one", "two", "x", "zz"}));
    EXPECT_EQ(nl_int(&head), 10);
    for (NAME_LST *e = nl_named(&head); e != nullptr; e = nl_named(e->next))
        EXPECT_EQ(e->hash, name_hash(e->name));
    EXPECT_EQ(get_nameNo(&head, "two"), 2);
}

}  // namespace
