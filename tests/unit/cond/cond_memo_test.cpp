// Remembered name lookups: the same answers as looking each name up, across list changes, list
// modes, resets and a full table.
#include <string>

#include "cond/cond_memo.h"
#include "cond_fixture.h"

using namespace cond;

namespace {

class CondMemo : public CondTest {
protected:
    static int pattern_of(const std::string &name)
    {
        return memo_pattern(name.data(), name.size());
    }
};

TEST_F(CondMemo, HitsAndMissesGiveTheFirstMatchingPattern)
{
    add("A*", 1);
    add("AB", 0);
    add("?_X", 0);
    EXPECT_EQ(pattern_of("AB"), 0);
    EXPECT_EQ(memo_count(), 1);
    EXPECT_EQ(pattern_of("AB"), 0);  // remembered: no second entry
    EXPECT_EQ(memo_count(), 1);
    EXPECT_EQ(pattern_of("Q_X"), 2);
    EXPECT_EQ(pattern_of("B"), -1);
    EXPECT_EQ(pattern_of("B"), -1);
    EXPECT_EQ(pattern_of("Q_X"), 2);
    EXPECT_EQ(memo_count(), 3);
    // Names that share a prefix or differ only in length are different names.
    EXPECT_EQ(pattern_of("Q_XY"), -1);
    EXPECT_EQ(pattern_of("Q_"), -1);
    EXPECT_EQ(pattern_of(""), -1);
    EXPECT_EQ(memo_count(), 6);
}

TEST_F(CondMemo, NameNeedNotBeTerminated)
{
    add("ABC", 1);
    const std::string text = "ABCD";
    EXPECT_EQ(memo_pattern(text.data(), 3), 0);
    EXPECT_EQ(memo_pattern(text.data(), 4), -1);
    EXPECT_EQ(memo_pattern(text.data(), 3), 0);
}

TEST_F(CondMemo, ChangedTableIsNotAnsweredFromMemory)
{
    add("A", 1);
    EXPECT_EQ(pattern_of("B"), -1);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef B\n"), COND_KEEP);
    add("B", 0);  // a pattern appended
    EXPECT_EQ(pattern_of("B"), 1);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef B\n"), COND_FALSE);
    options_reset();  // a new table of the same size
    add("B", 1);
    add("A", 0);
    EXPECT_EQ(pattern_of("B"), 0);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef A\n"), COND_FALSE);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef B\n"), COND_TRUE);
}

TEST_F(CondMemo, ResetForgetsNamesFromAPatternRewrittenInPlace)
{
    add("A", 1);
    EXPECT_EQ(pattern_of("A"), 0);
    EXPECT_EQ(pattern_of("B"), -1);
    // Same pointer, new text: only a reset can tell.
    list_name[0][0] = 'B';
    memo_reset();
    EXPECT_EQ(memo_count(), 0);
    EXPECT_EQ(pattern_of("A"), -1);
    EXPECT_EQ(pattern_of("B"), 0);
    cond_reset();
    EXPECT_EQ(memo_count(), 0);
    EXPECT_EQ(pattern_of("B"), -1);  // the table is empty now
}

TEST_F(CondMemo, ValuesFollowTheListModeOfEachLookup)
{
    add("A", 1);
    add("D", 0);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef X\n"), COND_KEEP);
    EXPECT_EQ(eval(DIR_IF, "#if X || D\n"), COND_KEEP);
    list_mode = LIST_MODE_UNDEF;  // the same names, now undefined outside the lists
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef X\n"), COND_FALSE);
    EXPECT_EQ(eval(DIR_IF, "#if X || D\n"), COND_FALSE);
    EXPECT_EQ(eval(DIR_IF, "#if X || A\n"), COND_TRUE);
    list_mode = 0;
    EXPECT_EQ(eval(DIR_IFNDEF, "#ifndef X\n"), COND_KEEP);
    list_value[0] = 0;  // the value is read from the table, not remembered
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef A\n"), COND_FALSE);
}

TEST_F(CondMemo, FullTableStopsRememberingButKeepsAnswering)
{
    add("N1*", 1);
    add("N2*", 0);
    const int names = MEMO_NAMES_MAX + 300;
    for (int i = 0; i < names; i++) {
        const std::string n = "N" + std::to_string(i);
        const int want = n[1] == '1' ? 0 : n[1] == '2' ? 1 : -1;
        ASSERT_EQ(pattern_of(n), want) << n;
    }
    EXPECT_EQ(memo_count(), MEMO_NAMES_MAX);
    // Remembered and not remembered names alike, in the other order.
    for (int i = names - 1; i >= 0; i--) {
        const std::string n = "N" + std::to_string(i);
        const int want = n[1] == '1' ? 0 : n[1] == '2' ? 1 : -1;
        ASSERT_EQ(pattern_of(n), want) << n;
    }
    EXPECT_EQ(memo_count(), MEMO_NAMES_MAX);
}

TEST_F(CondMemo, FullNameStoreStopsRemembering)
{
    add("L*", 1);
    // Each entry takes the name and two bytes: names of 254 bytes fill the store exactly.
    const int per_name = 254;
    const int fit = MEMO_STORE_SIZE / (per_name + 2);
    ASSERT_LT(fit, MEMO_NAMES_MAX);
    for (int i = 0; i < fit + 10; i++) {
        std::string n = "L" + std::to_string(i);
        n += std::string(static_cast<size_t>(per_name) - n.size(), 'x');
        ASSERT_EQ(pattern_of(n), 0) << i;
    }
    EXPECT_EQ(memo_count(), fit);
    EXPECT_EQ(pattern_of("L"), 0);
    EXPECT_EQ(pattern_of("M"), -1);
    EXPECT_EQ(memo_count(), fit);
    EXPECT_EQ(pattern_of("L"), 0);
    memo_reset();
    EXPECT_EQ(pattern_of("L"), 0);
    EXPECT_EQ(memo_count(), 1);
}

TEST_F(CondMemo, NoRememberedNameOutlivesAnyNumberOfResets)
{
    add("A", 1);
    // A name remembered under the old text, then k resets without lookups: never answered from
    // before them, however many resets pass.
    for (int k = 1; k <= 600; k++) {
        list_name[0][0] = 'A';
        memo_reset();
        ASSERT_EQ(pattern_of("B"), -1);
        list_name[0][0] = 'B';
        for (int j = 0; j < k; j++) {
            memo_reset();
        }
        ASSERT_EQ(pattern_of("B"), 0) << k;
    }
}

}  // namespace
