#include <cstdint>
#include <cstring>

#include "nl_fixture.h"
#include "support/mem_block.h"

using namespace namelist;
using nltest::chain;
using nltest::fill;
using nltest::strs;

namespace {

class NlStore : public nltest::NameListTest {};

TEST(NlHash, FoldsAsciiCaseOutsidePairsOnly)
{
    EXPECT_EQ(name_hash("abc"), 198);
    EXPECT_EQ(name_hash("ABC"), 198);
    EXPECT_EQ(name_hash("aBc"), 198);
    EXPECT_EQ(name_hash(""), 0);
    EXPECT_EQ(name_hash(nullptr), 0);
    EXPECT_EQ(name_hash("\x82\xA0"), -222);
    EXPECT_EQ(name_hash("\x82\x61"), -29);  // the pair's second byte is not folded
    EXPECT_EQ(name_hash("a\x82"), -61);     // a final lead byte counts alone
    EXPECT_EQ(name_hash("\xE0z"), -32 + 'z');
    EXPECT_EQ(name_hash("\xA1z"), -95 + 'Z');  // katakana is no lead byte: 'z' is folded
}

TEST_F(NlStore, EveryStoredNameCarriesItsHash)
{
    fill(&head, {"abc", "\x82\x61"});
    ASSERT_EQ(add_name(&head, "aBc"), 0);
    ASSERT_EQ(ren_name(&head, "abc", "x"), 0);
    for (NAME_LST *e = &head; e != nullptr; e = e->next) EXPECT_EQ(e->hash, name_hash(e->name));
}

TEST_F(NlStore, FirstNameGoesIntoTheHead)
{
    ASSERT_EQ(add_list(&head, "one"), 0);
    EXPECT_STREQ(head.name, "one");
    EXPECT_EQ(head.next, nullptr);
    del_allname(&head);
    ASSERT_EQ(add_name(&head, "two"), 0);
    EXPECT_STREQ(head.name, "two");
    EXPECT_EQ(head.next, nullptr);
}

TEST_F(NlStore, DuplicateRuleSkipsHeldNamesByBytes)
{
    ASSERT_EQ(add_name3(&head, "x", 5), 0);
    EXPECT_EQ(add_name3(&head, "x", 9), 0);
    EXPECT_EQ(add_name(&head, "x"), 0);
    EXPECT_EQ(add_name(&head, "X"), 0);  // case differs: a new name
    EXPECT_EQ(chain(&head), strs({"x", "X"}));
    EXPECT_EQ(nl_int(&head), 5);
}

TEST_F(NlStore, DuplicateRuleOffStoresTwiceAndFirstEntryWins)
{
    name_lst_dup_check = 0;
    ASSERT_EQ(add_name3(&head, "x", 1), 0);
    ASSERT_EQ(add_name3(&head, "x", 2), 0);
    EXPECT_EQ(chain(&head), strs({"x", "x"}));
    EXPECT_EQ(ser_name(&head, "x"), &head);
    EXPECT_EQ(del_name(&head, "x"), 0);
    EXPECT_EQ(chain(&head), strs({"-", "x"}));
    EXPECT_EQ(nl_int(ser_name(&head, "x")), 2);
}

TEST_F(NlStore, AddNameRefillsFirstEmptyEntryAddListAppends)
{
    fill(&head, {"a", "b", "c"});
    ASSERT_EQ(del_name(&head, "b"), 0);
    ASSERT_EQ(add_list(&head, "d"), 0);
    EXPECT_EQ(chain(&head), strs({"a", "-", "c", "d"}));
    ASSERT_EQ(add_name(&head, "e"), 0);
    EXPECT_EQ(chain(&head), strs({"a", "e", "c", "d"}));
    // add_list does reuse an emptied last record.
    ASSERT_EQ(del_name(&head, "d"), 0);
    ASSERT_EQ(add_list(&head, "f"), 0);
    EXPECT_EQ(chain(&head), strs({"a", "e", "c", "f"}));
}

TEST_F(NlStore, DelNameKeepsValueDelName2ReleasesIt)
{
    ASSERT_EQ(add_name3(&head, "n", -7), 0);
    EXPECT_EQ(del_name(&head, "n"), 0);
    EXPECT_EQ(head.name, nullptr);
    EXPECT_EQ(nl_int(&head), -7);
    EXPECT_EQ(del_name(&head, "n"), -1);
    del_allname(&head);

    ASSERT_EQ(add_name2(&head, "k", "v1"), 0);
    ASSERT_EQ(add_name2(&head, "m", "v2"), 0);
    EXPECT_STREQ(nl_str(head.next), "v2");
    EXPECT_EQ(del_name2(&head, "k"), 0);
    EXPECT_EQ(nl_str(&head), nullptr);
    EXPECT_EQ(del_name2(&head, "k"), -1);
    ASSERT_EQ(add_name2(&head, "p", "v3"), 0);  // refills the head
    EXPECT_STREQ(head.name, "p");
    EXPECT_STREQ(nl_str(&head), "v3");
    del_allname2(&head);
}

TEST_F(NlStore, IntegerValuesStayExact)
{
    ASSERT_EQ(add_list3(&head, "min", INT32_MIN, 1), 0);
    ASSERT_EQ(add_list3(&head, "neg", -1, 0), 0);
    ASSERT_EQ(add_name3(&head, "max", INT32_MAX), 0);
    EXPECT_EQ(nl_int(ser_name(&head, "min")), INT32_MIN);
    EXPECT_EQ(nl_int(ser_name(&head, "neg")), -1);
    EXPECT_EQ(nl_int(ser_name(&head, "max")), INT32_MAX);
    EXPECT_EQ(nl_int(ser_name(&head, "neg")), get_name_value(&head, "neg"));
}

TEST_F(NlStore, RememberedTailAppendsAcrossLists)
{
    EXPECT_EQ(add_list2(&head, "a", "1", 0), -1);  // no tail yet
    EXPECT_EQ(add_list3(&head, "a", 1, 0), -1);
    EXPECT_EQ(head.name, nullptr);
    ASSERT_EQ(add_list3(&head, "a", 1, 1), 0);
    ASSERT_EQ(add_list3(&head, "b", 2, 0), 0);
    NAME_LST other{};
    name_init(&other);
    // The tail belongs to the operation, not to the list.
    ASSERT_EQ(add_list3(&other, "c", 3, 0), 0);
    ASSERT_EQ(add_list3(nullptr, "d", 4, 1), 0);  // a null list keeps the tail too
    EXPECT_EQ(chain(&head), strs({"a", "b", "c", "d"}));
    EXPECT_EQ(other.name, nullptr);
    ASSERT_EQ(add_list3(&other, "e", 5, 1), 0);
    EXPECT_STREQ(other.name, "e");
    EXPECT_EQ(nl_int(ser_name(&head, "c")), 3);
    del_allname(&other);
}

TEST_F(NlStore, TailsAreForgottenWhenTheirRecordIsReleased)
{
    NAME_LST two{};
    name_init(&two);
    ASSERT_EQ(add_list2(&two, "a", "1", 1), 0);
    ASSERT_EQ(add_list2(&two, "b", "2", 0), 0);  // tail: a record the release frees
    ASSERT_EQ(add_list3(&head, "x", 1, 1), 0);
    ASSERT_EQ(add_list3(&head, "y", 2, 0), 0);
    del_allname2(&two);
    EXPECT_EQ(add_list2(&two, "c", "3", 0), -1);
    EXPECT_EQ(two.name, nullptr);
    // add_list3's tail lies in another list and is kept.
    EXPECT_EQ(add_list3(nullptr, "z", 3, 0), 0);
    EXPECT_EQ(chain(&head), strs({"x", "y", "z"}));
    // A tail at a head that is reset is forgotten as well.
    del_allname(&head);
    ASSERT_EQ(add_list3(&head, "h", 1, 1), 0);
    del_allname(&head);
    EXPECT_EQ(add_list3(&head, "i", 1, 0), -1);
    EXPECT_EQ(head.name, nullptr);
}

TEST_F(NlStore, RenameKeepsPlaceValueAndNumbers)
{
    ASSERT_EQ(add_name3(&head, "a", 1), 0);
    ASSERT_EQ(add_name3(&head, "b", 2), 0);
    head.next->sub_no = -3;
    head.next->aux = 9;
    EXPECT_EQ(ren_name(&head, "b", "a"), 0);  // no check against the other names
    EXPECT_EQ(chain(&head), strs({"a", "a"}));
    EXPECT_EQ(nl_int(head.next), 2);
    EXPECT_EQ(head.next->sub_no, -3);
    EXPECT_EQ(head.next->aux, 9);
    EXPECT_EQ(ren_name(&head, "zz", "q"), -1);
    EXPECT_EQ(ren_name(&head, "a", head.name), 0);  // its own name as the new one
    EXPECT_STREQ(head.name, "a");
}

TEST_F(NlStore, SetAllnameStoresPointersAndEmptiesTheRest)
{
    ASSERT_EQ(add_name3(&head, "a", 1), 0);
    ASSERT_EQ(add_name3(&head, "b", 2), 0);
    ASSERT_EQ(add_name3(&head, "c", 3), 0);
    // The old names are not released by set_allname: the caller still owns them.
    char *old[] = {head.name, head.next->name, head.next->next->name};
    char *names[] = {support::setstr("P"), support::setstr("q"), support::setstr("unused")};
    set_allname(&head, names, 2);
    EXPECT_EQ(chain(&head), strs({"P", "q", "-"}));
    EXPECT_EQ(head.name, names[0]);
    EXPECT_EQ(head.next->hash, name_hash("Q"));
    for (NAME_LST *e = &head; e != nullptr; e = e->next) EXPECT_EQ(e->value, 0);
    set_allname(nullptr, names, 2);
    for (char *p : old) support::freemem(p);
    support::freemem(names[2]);
}

TEST_F(NlStore, ReleaseLeavesHeadReadyAndIsRepeatable)
{
    head.value = 77;
    del_allname(&head);
    EXPECT_EQ(head.name, nullptr);
    EXPECT_EQ(head.next, nullptr);
    EXPECT_EQ(head.value, 77);
    del_allname(&head);
    EXPECT_EQ(head.next, nullptr);
    fill(&head, {"a", "b"});
    del_allname(&head);
    EXPECT_EQ(head.name, nullptr);
    EXPECT_EQ(head.next, nullptr);
    ASSERT_EQ(add_list2(&head, "a", "x", 1), 0);
    ASSERT_EQ(add_list2(&head, "b", "y", 0), 0);
    del_allname2(&head);  // the head's string too: the leak check would see it
    EXPECT_EQ(head.value, 0);
    EXPECT_EQ(head.next, nullptr);
}

TEST_F(NlStore, NullListsFindNothingAndDoNotCrash)
{
    EXPECT_EQ(ser_name(nullptr, "a"), nullptr);
    EXPECT_EQ(check_name(nullptr, "a"), 0);
    EXPECT_EQ(del_name(nullptr, "a"), -1);
    EXPECT_EQ(del_name2(nullptr, "a"), -1);
    EXPECT_EQ(ren_name(nullptr, "a", "b"), -1);
    EXPECT_EQ(add_list2(nullptr, "a", "b", 1), -1);
    EXPECT_EQ(add_list3(nullptr, "a", 1, 1), -1);
    EXPECT_EQ(add_list(nullptr, "a"), -1);
    EXPECT_EQ(add_name(nullptr, "a"), -1);
    EXPECT_EQ(add_name2(nullptr, "a", "b"), -1);
    EXPECT_EQ(add_name3(nullptr, "a", 1), -1);
    name_init(nullptr);
    del_allname(nullptr);
    del_allname2(nullptr);
    fill(&head, {"a"});
    EXPECT_EQ(check_name(&head, "a"), 1);
    EXPECT_EQ(check_name(&head, "A"), 0);
}

}  // namespace
