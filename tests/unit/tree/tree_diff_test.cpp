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

TEST(TreeDiff, ANewLineFoundNowhereReplacesTheTextWhole)
{
    // The lines kept before the stray one come back as added lines, in order.
    EXPECT_EQ(diff("a\nb\nc\n", "a\nc\nX\n"),
              "--- f.c\n+++ f.c\n@@ -1,3 +1,3 @@\n-a\n-b\n-c\n+a\n+c\n+X\n");
    EXPECT_EQ(diff("", "new"),
              "--- f.c\n+++ f.c\n@@ -0,0 +1 @@\n+new\n\\ No newline at end of file\n");
}

// An old text read line by line, as the tree reads a file.
struct lines_of {
    std::string text;
    std::size_t at = 0;
    static bool next(void *ctx, std::string &line)
    {
        lines_of &s = *static_cast<lines_of *>(ctx);
        if (s.at >= s.text.size()) return false;
        const std::size_t nl = s.text.find('\n', s.at);
        const std::size_t end = nl == std::string::npos ? s.text.size() : nl + 1;
        line = s.text.substr(s.at, end - s.at);
        s.at = end;
        return true;
    }
    static void rewind(void *ctx) { static_cast<lines_of *>(ctx)->at = 0; }
};

TEST(TreeDiff, TheNewTextMayArriveInPiecesOfAnySize)
{
    const std::string a = "#if X\n" + lines(1, 30) + "#endif\n" + lines(31, 40) + "tail";
    const std::string cases[] = {lines(1, 30) + lines(31, 40) + "tail", lines(1, 40),
                                 lines(1, 30) + "stray\n" + lines(31, 40)};
    for (const std::string &b : cases) {
        for (std::size_t piece : {1, 2, 5, 64, 4096}) {
            lines_of src{a};
            tree::diff_stream d;
            tree::diff_start(d, "f.c", tree::diff_source{lines_of::next, lines_of::rewind, &src});
            for (std::size_t at = 0; at < b.size(); at += piece)
                tree::diff_feed(d, b.data() + at, b.size() - at < piece ? b.size() - at : piece);
            std::string out;
            EXPECT_TRUE(tree::diff_finish(d, out));
            EXPECT_EQ(out, diff(a, b)) << piece;
        }
    }
}

TEST(TreeDiff, NamesWithBlanksQuotesOrControlsAreQuoted)
{
    EXPECT_EQ(tree::diff_name("src/a.c"), "src/a.c");
    EXPECT_EQ(tree::diff_name("-lead.c"), "-lead.c");
    EXPECT_EQ(tree::diff_name("my file.c"), "\"my file.c\"");
    EXPECT_EQ(tree::diff_name("a\"b\\c\td\x01"), "\"a\\\"b\\\\c\\td\\001\"");
}

}  // namespace
