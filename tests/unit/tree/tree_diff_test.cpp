#include "tree/tree_diff.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string lines(int from, int to)
{
    std::string s;
    for (int i = from; i <= to; ++i) s += "l" + std::to_string(i) + "\n";
    return s;
}

int hunks(const std::string &d)
{
    int n = 0;
    for (std::size_t p = d.find("\n@@ -"); p != std::string::npos; p = d.find("\n@@ -", p + 1)) ++n;
    return n;
}

std::string diff(const std::string &a, const std::string &b)
{
    std::string out;
    tree::diff_append(out, "f.c", a, b);
    return out;
}

TEST(TreeDiff, EqualTextsGiveNothing)
{
    EXPECT_EQ(diff("a\nb\n", "a\nb\n"), "");
    EXPECT_EQ(diff("", ""), "");
}

TEST(TreeDiff, DeletionWithThreeLinesOfContext)
{
    const std::string a = lines(1, 10);
    const std::string b = lines(1, 4) + lines(7, 10);
    EXPECT_EQ(diff(a, b),
              "--- f.c\n+++ f.c\n@@ -2,8 +2,6 @@\n l2\n l3\n l4\n-l5\n-l6\n l7\n l8\n l9\n");
}

TEST(TreeDiff, ChangesSixLinesApartShareAHunkSevenApartDoNot)
{
    // Deleting l2 and l9 leaves six kept lines between: one hunk.
    const std::string a = lines(1, 20);
    const std::string joined = diff(a, "l1\n" + lines(3, 8) + lines(10, 20));
    EXPECT_EQ(hunks(joined), 1);
    EXPECT_NE(joined.find("@@ -1,12 +1,10 @@\n"), std::string::npos);
    // Deleting l2 and l10 leaves seven: two hunks.
    const std::string split = diff(a, "l1\n" + lines(3, 9) + lines(11, 20));
    EXPECT_EQ(hunks(split), 2);
    EXPECT_NE(split.find("@@ -1,5 +1,4 @@\n"), std::string::npos);
    EXPECT_NE(split.find("@@ -7,7 +6,6 @@\n"), std::string::npos);
}

TEST(TreeDiff, LastLineWithoutNewlineIsMarked)
{
    EXPECT_EQ(diff("a\nb\nc", "a\nc"),
              "--- f.c\n+++ f.c\n@@ -1,3 +1,2 @@\n a\n-b\n c\n\\ No newline at end of file\n");
    EXPECT_EQ(diff("a\nb", "a\n"),
              "--- f.c\n+++ f.c\n@@ -1,2 +1 @@\n a\n-b\n\\ No newline at end of file\n");
}

TEST(TreeDiff, EverythingDeletedNumbersTheEmptyRangeZero)
{
    EXPECT_EQ(diff("x\ny\n", ""), "--- f.c\n+++ f.c\n@@ -1,2 +0,0 @@\n-x\n-y\n");
}

TEST(TreeDiff, CrLfAndHighBytesAreCarriedAsTheyAre)
{
    EXPECT_EQ(diff("a\r\n\x83\x5c\r\nb\r\n", "a\r\nb\r\n"),
              "--- f.c\n+++ f.c\n@@ -1,3 +1,2 @@\n a\r\n-\x83\x5c\r\n b\r\n");
}

TEST(TreeDiff, TextThatIsNoDeletionIsReplacedWhole)
{
    EXPECT_EQ(diff("a\nb\n", "a\r\nb\r\n"),
              "--- f.c\n+++ f.c\n@@ -1,2 +1,2 @@\n-a\n-b\n+a\r\n+b\r\n");
}

TEST(TreeDiff, NamesWithBlanksQuotesOrControlsAreQuoted)
{
    EXPECT_EQ(tree::diff_name("src/a.c"), "src/a.c");
    EXPECT_EQ(tree::diff_name("-lead.c"), "-lead.c");
    EXPECT_EQ(tree::diff_name("my file.c"), "\"my file.c\"");
    EXPECT_EQ(tree::diff_name("a\"b\\c\td\x01"), "\"a\\\"b\\\\c\\td\\001\"");
}

}  // namespace
