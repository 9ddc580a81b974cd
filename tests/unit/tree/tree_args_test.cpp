#include "tree/tree_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

// Parses args (without the program name); returns parse_args's result, the stderr text in *err.
int parse(std::vector<std::string> args, std::string *err = nullptr)
{
    tree::args_reset();
    std::vector<char *> argv{const_cast<char *>("velkrun-tree")};
    for (std::string &a : args) argv.push_back(&a[0]);
    CaptureStderr();
    const int r = tree::parse_args(static_cast<int>(argv.size()), argv.data());
    const std::string text = GetCapturedStderr();
    if (err) *err = text;
    return r;
}

TEST(TreeArgs, VelkrunOptionsPassInOrderAndListsAreTakenWhole)
{
    ASSERT_EQ(parse({"-T", "-l", "A,B", "-d", "--x", "-lA", "C", "--", "p", "q"}), 0);
    EXPECT_EQ(tree::vopts, (std::vector<std::string>{"-T", "-l", "A,B", "-d", "--x", "-lA", "C"}));
    EXPECT_EQ(tree::paths, (std::vector<std::string>{"p", "q"}));
    ASSERT_EQ(parse({"-xT", "-l", "V=1", "-x", "--", "p"}), 0);
    EXPECT_EQ(tree::vopts, (std::vector<std::string>{"-xT", "-l", "V=1", "-x"}));
}

TEST(TreeArgs, JobsInEveryForm)
{
    ASSERT_EQ(parse({"-j", "3", "-d", "X", "--", "p"}), 0);
    EXPECT_EQ(tree::jobs, 3);
    ASSERT_EQ(parse({"-j7", "-d", "X", "--", "p"}), 0);
    EXPECT_EQ(tree::jobs, 7);
    ASSERT_EQ(parse({"--jobs=2", "-d", "X", "--", "p"}), 0);
    EXPECT_EQ(tree::jobs, 2);
    for (const char *bad : {"0", "x", "1025", "-1", "2x"})
        EXPECT_EQ(parse({"--jobs", bad, "-d", "X", "--", "p"}), 2) << bad;
}

TEST(TreeArgs, RefusedAndMalformedCommandLinesAreUsageErrors)
{
    std::string err;
    EXPECT_EQ(parse({"-nT", "--", "p"}, &err), 2);
    EXPECT_NE(err.find("-nT: -n and -v change what velkrun writes"), std::string::npos);
    EXPECT_NE(err.find("Usage: velkrun-tree "), std::string::npos);
    EXPECT_EQ(parse({"-", "--", "p"}), 2);
    EXPECT_EQ(parse({"-q", "--", "p"}), 2);
    EXPECT_EQ(parse({"-Tq", "--", "p"}), 2);
    EXPECT_EQ(parse({"p"}), 2);
    EXPECT_EQ(parse({"--"}), 2);
    EXPECT_EQ(parse({"-l"}), 2);
    EXPECT_EQ(parse({"--backup", "a/b", "--", "p"}), 2);
    EXPECT_EQ(parse({"--ext", ",", "--", "p"}), 2);
    EXPECT_EQ(parse({"--ext", "c;h", "--", "p"}), 2);
    EXPECT_EQ(parse({"--locate", "--", "p"}), 2);
    EXPECT_EQ(parse({"--symbols", "--diff", "--", "p"}), 2);
    EXPECT_EQ(parse({"--symbols", "--locate", "-j", "1", "--", "p"}), 0);
}

TEST(TreeArgs, EveryModeThatRunsVelkrunNeedsAList)
{
    std::string err;
    for (const char *mode : {"--quiet", "--dry-run", "--check", "--diff"}) {
        EXPECT_EQ(parse({mode, "-T", "--", "p"}, &err), 2) << mode;
        EXPECT_NE(err.find("no -l, -lA or -d list given"), std::string::npos) << mode;
        EXPECT_NE(err.find("give -d '*'"), std::string::npos) << mode;
    }
    for (const char *list : {"-l", "-lA", "-d"}) EXPECT_EQ(parse({list, "*", "--", "p"}), 0);
    EXPECT_EQ(parse({"-T", "--", "p"}), 2);
    EXPECT_EQ(parse({"--symbols", "--", "p"}), 0);
}

TEST(TreeArgs, ExtensionsDecideWhichFilesAFolderGives)
{
    ASSERT_EQ(parse({"-l", "X", "--", "p"}), 0);
    EXPECT_TRUE(tree::has_ext("dir/a.c"));
    EXPECT_TRUE(tree::has_ext("a.hpp"));
    EXPECT_FALSE(tree::has_ext("a.C"));
    EXPECT_FALSE(tree::has_ext("dir.c/readme"));
    EXPECT_FALSE(tree::has_ext("c"));
    ASSERT_EQ(parse({"--ext", ".inc,c++", "-lA", "X", "--", "p"}), 0);
    EXPECT_TRUE(tree::has_ext("x/y.inc"));
    EXPECT_TRUE(tree::has_ext("y.c++"));
    EXPECT_FALSE(tree::has_ext("y.c"));
    tree::args_reset();
}

}  // namespace
