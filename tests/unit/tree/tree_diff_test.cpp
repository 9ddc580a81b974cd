#include "tree/tree_diff.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

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

TEST(TreeDiff, LinesFoundNowhereAreAddedAfterTheDeletedOnes)
{
    EXPECT_EQ(diff("a\nb\n", "a\r\nb\r\n"),
              "--- f.c\n+++ f.c\n@@ -1,2 +1,2 @@\n-a\n-b\n+a\r\n+b\r\n");
    EXPECT_EQ(diff("a\nb\nc\n", "a\nc\nX\n"),
              "--- f.c\n+++ f.c\n@@ -1,3 +1,3 @@\n a\n-b\n c\n+X\n");
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
            tree::diff_start(d, "f.c", tree::diff_source{lines_of::next, &src});
            for (std::size_t at = 0; at < b.size(); at += piece)
                tree::diff_feed(d, b.data() + at, b.size() - at < piece ? b.size() - at : piece);
            std::string out;
            EXPECT_TRUE(tree::diff_finish(d, out));
            EXPECT_EQ(out, diff(a, b)) << piece;
        }
    }
}

TEST(TreeDiff, RewrittenDirectiveLinesAreChangedWhereTheyStand)
{
    // A simplified condition: one line out, one in, at its place.
    EXPECT_EQ(diff(lines(1, 4) + "#if defined(A) || defined(B)\nx\n#endif\n" + lines(5, 8),
                   lines(1, 4) + "#if defined(B)\nx\n#endif\n" + lines(5, 8)),
              "--- f.c\n+++ f.c\n@@ -2,7 +2,7 @@\n l2\n l3\n l4\n-#if defined(A) || defined(B)\n"
              "+#if defined(B)\n x\n #endif\n l5\n");
    // An #elif known true after an unknown branch becomes #else: the #else further down, in
    // another conditional, is not taken for it.
    const std::string a =
        "#if U\nu\n#elif T\nt\n#elif V\nv\n#endif\n" + lines(1, 3) + "#if W\nw\n#else\nn\n#endif\n";
    const std::string b =
        "#if U\nu\n#else\nt\n#endif\n" + lines(1, 3) + "#if W\nw\n#else\nn\n#endif\n";
    EXPECT_EQ(diff(a, b), "--- f.c\n+++ f.c\n@@ -1,9 +1,7 @@\n #if U\n u\n-#elif T\n+#else\n t\n"
                          "-#elif V\n-v\n #endif\n l1\n l2\n");
    // A continued directive whose first line changed, its continuation kept.
    EXPECT_EQ(diff("a\n#if A && \\\n   B\nb\n#endif\n", "a\n#if \\\n   B\nb\n#endif\n"),
              "--- f.c\n+++ f.c\n@@ -1,5 +1,5 @@\n a\n-#if A && \\\n+#if \\\n    B\n b\n #endif\n");
}

// Applies a unified diff made by diff_append to old as patch would, with no fuzz: every context
// and deleted line must be the old line at its place. Counts the added lines in *added.
std::string apply(const std::string &old, const std::string &d, int *added)
{
    std::vector<std::string> in;
    for (std::size_t at = 0; at < old.size();) {
        const std::size_t nl = old.find('\n', at);
        const std::size_t end = nl == std::string::npos ? old.size() : nl + 1;
        in.push_back(old.substr(at, end - at));
        at = end;
    }
    std::string out;
    std::size_t taken = 0;
    *added = 0;
    for (std::size_t at = d.find("\n@@ -"); at != std::string::npos;) {
        at += 5;
        const unsigned long first = std::stoul(d.substr(at));
        const std::size_t sep = d.find_first_of(", ", at);
        const bool none = d[sep] == ',' && std::stoul(d.substr(sep + 1)) == 0;
        for (const unsigned long start = none ? first : first - 1; taken < start; ++taken) {
            out += in.at(taken);
        }
        at = d.find('\n', at) + 1;
        while (at < d.size() && d.compare(at, 3, "@@ ") != 0) {
            const char kind = d[at];
            const std::size_t nl = d.find('\n', at);
            std::string line = d.substr(at + 1, nl - at);
            at = nl + 1;
            if (d.compare(at, 2, "\\ ") == 0) {
                line.pop_back();
                at = d.find('\n', at) + 1;
            }
            if (kind == '+') {
                out += line;
                ++*added;
                continue;
            }
            EXPECT_EQ(in.at(taken), line);
            ++taken;
            if (kind == ' ') {
                out += line;
            }
        }
        at = at < d.size() ? at - 1 : std::string::npos;
    }
    for (; taken < in.size(); ++taken) {
        out += in[taken];
    }
    return out;
}

TEST(TreeDiff, RewritesOfEveryShapeApplyBackAndAddOnlyTheirRewrittenLines)
{
    // Old texts of code and directive lines (continued ones too), rewritten as velkrun does:
    // lines deleted, directive lines replaced where they stand; the diff must give the new text
    // back and add no line that was not rewritten.
    // Code lines are each of their own, as velkrun keeps them, so the line after held ones is
    // found where it stands; directive lines repeat.
    const char *code[] = {"a%u\n", "b%u\r\n", "x = %u; \\\n", "d%u"};
    const char *dir[] = {"#if A\n",   "#else\n",          "#endif\n",
                         "#elif B\n", "  # if C && \\\n", "#if D\n"};
    unsigned seed = 1;
    auto rnd = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string a, b;
        int rewritten = 0;
        const unsigned n = rnd(24);
        for (unsigned k = 0; k < n; ++k) {
            const bool is_dir = rnd(2) == 0;
            char text[32];
            std::snprintf(text, sizeof text, code[k + 1 == n && rnd(4) == 0 ? 3 : rnd(3)], k);
            std::string line = is_dir ? dir[rnd(6)] : text;
            a += line;
            const unsigned fate = rnd(4);
            if (fate == 0) {
                continue;  // deleted
            }
            if (is_dir && fate == 1) {
                const std::string other = dir[rnd(6)];
                if (other != line && !other.empty()) {
                    b += other;
                    ++rewritten;
                    continue;
                }
            }
            b += line;
        }
        const std::string d = diff(a, b);
        int added = 0;
        EXPECT_EQ(apply(a, d, &added), b) << "old:\n" << a << "new:\n" << b << "diff:\n" << d;
        EXPECT_LE(added, rewritten) << "old:\n" << a << "new:\n" << b << "diff:\n" << d;
        EXPECT_EQ(d.empty(), a == b);
    }
}

TEST(TreeDiff, HeldLinesTooManyForTheTableAreMatchedInOrder)
{
    // 1,201 held directive lines against 1,200 old ones: matched greedily, the last one, equal to
    // a line already taken, added.
    std::string a;
    for (int k = 0; k < 1200; ++k) {
        a += "#x " + std::to_string(k) + "\n";
    }
    const std::string b = a + "#x 0\n";
    const std::string d = diff(a, b);
    int added = 0;
    EXPECT_EQ(apply(a, d, &added), b);
    EXPECT_EQ(added, 1);
    EXPECT_EQ(d, "--- f.c\n+++ f.c\n@@ -1198,3 +1198,4 @@\n #x 1197\n #x 1198\n #x 1199\n+#x 0\n");
}

TEST(TreeDiff, NamesWithBlanksQuotesOrControlsAreQuoted)
{
    EXPECT_EQ(tree::diff_name("src/a.c"), "src/a.c");
    EXPECT_EQ(tree::diff_name("-lead.c"), "-lead.c");
    EXPECT_EQ(tree::diff_name("my file.c"), "\"my file.c\"");
    EXPECT_EQ(tree::diff_name("a\"b\\c\td\x01"), "\"a\\\"b\\\\c\\td\\001\"");
}

}  // namespace
