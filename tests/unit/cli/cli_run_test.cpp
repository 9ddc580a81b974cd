#include "cli/cli_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cond/cond_match.h"
#include "cond/cond_options.h"
#include "support/exit_hook.h"

namespace {

// Writable copies of arguments, as the process gets them.
class Args {
public:
    Args(std::initializer_list<const char *> list)
    {
        for (const char *a : list) {
            store_.emplace_back(a, a + std::char_traits<char>::length(a) + 1);
        }
        for (auto &s : store_) {
            argv_.push_back(s.data());
        }
        argv_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(argv_.size()) - 1; }
    char **argv() { return argv_.data(); }

private:
    std::vector<std::vector<char>> store_;
    std::vector<char *> argv_;
};

class CliRun : public ::testing::Test {
protected:
    void SetUp() override { cli::run_reset(); }
    void TearDown() override { cli::run_reset(); }
    static std::vector<std::string> names()
    {
        std::vector<std::string> out;
        for (int i = 0; i < cond::list_count; i++) {
            out.emplace_back(cond::list_name[i]);
        }
        return out;
    }
};

TEST_F(CliRun, SetOptionReturnsTheFileIndex)
{
    Args a{"velkrun", "-nvT", "-", "-l", "A", "in.c", "-x"};
    EXPECT_EQ(cli::set_option(a.argc(), a.argv()), 5);
    EXPECT_EQ(cond::opt_n + cond::opt_v + cond::opt_T, 3);
    EXPECT_EQ(cond::list_mode, 0);
    Args b{"velkrun", "-lA", "X", "-n"};
    EXPECT_EQ(cli::set_option(b.argc(), b.argv()), 4);  // no file name: the argument count
    EXPECT_EQ(cond::list_mode, cond::LIST_MODE_UNDEF);
}

TEST_F(CliRun, SetOptionRejectsMalformedCommandLines)
{
    Args none{"velkrun"};
    EXPECT_EQ(cli::set_option(none.argc(), none.argv()), -1);
    for (const char *bad : {"-nl", "-ln", "-lAn", "-q", "-usage", "-L"}) {
        Args a{"velkrun", bad, "A", "in.c"};
        EXPECT_EQ(cli::set_option(a.argc(), a.argv()), -1) << bad;
    }
    Args at_end{"velkrun", "-d", "A"};
    EXPECT_EQ(cli::set_option(at_end.argc(), at_end.argv()), -1);
}

TEST_F(CliRun, SetListCutsNamesAtCommas)
{
    std::vector<char> list{' ', 'A', ',', ' ', 'B', '*', '*', ',', ',', '?', 'x', ',', ' ', '\0'};
    EXPECT_EQ(cli::set_list(list.data(), 0), 0);
    EXPECT_EQ(names(), (std::vector<std::string>{"A", "B\2", "", "\1x"}));
    EXPECT_EQ(cond::list_value[0], 0);
    std::vector<char> second{',', 'C', '\0'};
    EXPECT_EQ(cli::set_list(second.data(), 1), 0);
    EXPECT_EQ(names(), (std::vector<std::string>{"A", "B\2", "", "\1x", "", "C"}));
    EXPECT_EQ(cond::list_value[5], 1);
}

TEST_F(CliRun, SetListRefusesTheFaultyName)
{
    testing::internal::CaptureStderr();
    std::vector<char> list{'A', ',', 'B', '.', 'C', ',', 'D', '\0'};
    EXPECT_EQ(cli::set_list(list.data(), 1), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: \"B.C\": invalid name.\n\n");
}

TEST_F(CliRun, SetListStopsAtTheTableSize)
{
    std::string all;
    for (int i = 0; i < cond::LIST_MAX; i++) {
        all += "N" + std::to_string(i) + ",";
    }
    std::vector<char> full(all.begin(), all.end());
    full.push_back('\0');
    EXPECT_EQ(cli::set_list(full.data(), 1), 0);
    EXPECT_EQ(cond::list_count, cond::LIST_MAX);
    std::vector<char> more{'X', ',', 'Y', '\0'};
    testing::internal::CaptureStderr();
    EXPECT_EQ(cli::set_list(more.data(), 1), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: \"X\": too many names (at most 256).\n\n");
    EXPECT_EQ(cond::list_count, cond::LIST_MAX);
}

}  // namespace
