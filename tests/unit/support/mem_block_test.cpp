#include "support/mem_block.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/exit_hook.h"
#include "support/message.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

struct exit_called {
    int status;
};

// What the hooks saw, in order: 'm' endfun ran after a message, 'E' endfun ran without one,
// 'X' the run ended.
std::string events;
int fail_from = 1;  // requests of this many bytes or more fail (the test heap)
int releases = 0;   // blocks the test heap was asked to release
std::size_t last_request = 0;

void *test_resize(void *block, std::size_t size)
{
    last_request = size;
    if (size >= static_cast<std::size_t>(fail_from)) {
        return nullptr;
    }
    void *grown = std::realloc(block, size);
    if (!block && grown) {
        std::memset(grown, 0xA5, size);  // a fresh block is never clean by accident
    }
    return grown;
}

void test_release(void *block)
{
    ++releases;
    std::free(block);
}

const support::heap_ops test_heap = {test_resize, test_release};

void record_endfun() { events += support::errmsg_output_flg ? 'm' : 'E'; }

class MemBlock : public testing::Test {
protected:
    void SetUp() override
    {
        support::mem_block_reset();
        support::message_reset();
        support::set_heap_ops(&test_heap);
        support::set_exit_hook([](int status) {
            events += 'X';
            throw exit_called{status};
        });
        events.clear();
        fail_from = 1 << 30;
        releases = 0;
    }
    void TearDown() override
    {
        support::set_exit_hook(nullptr);
        support::mem_block_reset();
        support::message_reset();
    }

    // Runs call, which must end the run; returns what it wrote to standard error.
    template <typename F>
    std::string expect_exit(F call)
    {
        CaptureStderr();
        try {
            call();
            ADD_FAILURE() << "the run did not end";
        } catch (const exit_called &e) {
            EXPECT_EQ(e.status, 1);
        }
        return GetCapturedStderr();
    }
};

TEST_F(MemBlock, GetmemZeroFillsAndMorememKeepsContents)
{
    auto *p = static_cast<unsigned char *>(support::getmem(64));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(p[i], 0) << "byte " << i;
    }
    std::memcpy(p, "keep", 5);
    auto *q = static_cast<char *>(support::moremem(p, 100000));
    EXPECT_STREQ(q, "keep");
    auto *fresh = static_cast<char *>(support::moremem(nullptr, 8));
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(last_request, 8u);
    support::freemem(q);
    support::freemem(fresh);
    EXPECT_EQ(releases, 2);
    support::freemem(nullptr);
    EXPECT_EQ(releases, 2);
}

TEST_F(MemBlock, GetmemReportsBytesUpTo1000AndKOf1024Above)
{
    fail_from = 1;
    struct {
        int size;
        const char *message;
    } cases[] = {
        {1000, "\ncannot get the memory of 1000 bytes\n"},
        {1001, "\ncannot get the memory of 0 K bytes\n"},
        {1023, "\ncannot get the memory of 0 K bytes\n"},
        {4096000, "\ncannot get the memory of 4000 K bytes\n"},
    };
    for (const auto &c : cases) {
        events.clear();
        EXPECT_EQ(expect_exit([&] { support::getmem(c.size); }), c.message) << c.size;
        EXPECT_EQ(events, "X") << "no endfun is set";
    }
}

TEST_F(MemBlock, ZeroOrNegativeRequestFailsWithoutAskingTheHeap)
{
    last_request = 99;
    EXPECT_EQ(expect_exit([] { support::getmem(0); }), "\ncannot get the memory of 0 bytes\n");
    EXPECT_EQ(expect_exit([] { support::getmem(-5); }), "\ncannot get the memory of -5 bytes\n");
    EXPECT_EQ(last_request, 99u);
}

TEST_F(MemBlock, FailureOrderIsMessageThenEndfunThenExit)
{
    support::endfun = record_endfun;
    fail_from = 1;
    expect_exit([] { support::getmem(10); });
    EXPECT_EQ(events, "mX");
    support::errmsg_output_flg = 0;
    events.clear();
    expect_exit([] { support::moremem(nullptr, 10); });
    EXPECT_EQ(events, "mX");
    support::errmsg_output_flg = 0;
    events.clear();
    expect_exit([] { support::setstr("abc"); });
    EXPECT_EQ(events, "mX");
    support::errmsg_output_flg = 0;
    events.clear();
    expect_exit([] { support::addstr(nullptr, "abc"); });
    EXPECT_EQ(events, "mX");
}

TEST_F(MemBlock, TerminateSizeMakesLargeGetmemFailSoftly)
{
    support::endfun = record_endfun;
    support::terminate_size = 1000000;
    fail_from = 1;
    CaptureStderr();
    EXPECT_EQ(support::getmem(2000000), nullptr);
    EXPECT_EQ(support::getmem(1000000), nullptr);
    EXPECT_EQ(GetCapturedStderr(), "\ncannot get the memory of 1953 K bytes\n"
                                   "\ncannot get the memory of 976 K bytes\n");
    EXPECT_EQ(events, "");
    EXPECT_EQ(expect_exit([] { support::getmem(999999); }),
              "\ncannot get the memory of 976 K bytes\n");
    EXPECT_EQ(events, "mX");
}

TEST_F(MemBlock, MorememReportsKOf1000AndZeroSizeReleasesTheBlock)
{
    support::endfun = record_endfun;
    void *block = support::getmem(16);
    fail_from = 1001;
    EXPECT_EQ(expect_exit([&] { support::moremem(block, 1001); }),
              "cannot get the memory of 1 K bytes\n");
    EXPECT_EQ(expect_exit([&] { support::moremem(block, 4096000); }),
              "cannot get the memory of 4096 K bytes\n");
    EXPECT_EQ(releases, 0);
    EXPECT_EQ(expect_exit([&] { support::moremem(block, 0); }),
              "cannot get the memory of 0 bytes\n");
    EXPECT_EQ(releases, 1);  // the block is gone
    EXPECT_EQ(events, "mXmXmX");
}

TEST_F(MemBlock, GetmemLockTurnsSoftFailureFatalWithoutEndfun)
{
    support::endfun = record_endfun;
    support::terminate_size = 1000000;
    fail_from = 1;
    EXPECT_EQ(expect_exit([] { support::getmemLock(2000000); }),
              "\ncannot get the memory of 1953 K bytes\n"
              "Faital error:\ncannot get the memory of 2000 K bytes");
    EXPECT_EQ(events, "X");
    support::terminate_size = 500;
    events.clear();
    EXPECT_EQ(
        expect_exit([] { support::getmemLock(500); }),
        "\ncannot get the memory of 500 bytes\nFaital error:\ncannot get memory of 500 bytes");
    EXPECT_EQ(events, "X");
    fail_from = 1 << 30;
    void *block = support::getmemLock(32);
    EXPECT_EQ(support::getmemAdr(block), block);
    support::freeLocal(block);
    EXPECT_EQ(releases, 1);
}

TEST_F(MemBlock, SetstrAndAddstrBuildTexts)
{
    char *t = support::setstr("ab");
    EXPECT_EQ(last_request, 3u);
    t = support::addstr(t, "cd");
    EXPECT_STREQ(t, "abcd");
    t = support::addstr(t, t + 1);  // a text appended to itself survives the move
    EXPECT_STREQ(t, "abcdbcd");
    t = support::addstr(t, "");
    EXPECT_STREQ(t, "abcdbcd");
    support::freemem(t);
    char *fresh = support::addstr(nullptr, "x");
    EXPECT_STREQ(fresh, "x");
    support::freemem(fresh);
}

TEST_F(MemBlock, SetstrAndAddstrFailureMessages)
{
    fail_from = 1;
    EXPECT_EQ(expect_exit([] { support::setstr(""); }), "cannot get memory\n");
    fail_from = 4;
    char *t = support::setstr("ab");
    EXPECT_EQ(expect_exit([&] { support::addstr(t, "c"); }), "can't get memory\n");
    EXPECT_STREQ(t, "ab");  // a failed resize leaves the text where it was
    support::freemem(t);
}

TEST_F(MemBlock, ResetRestoresSwitchesAndHeap)
{
    support::terminate_size = 5;
    support::endfun = record_endfun;
    support::mem_block_reset();
    EXPECT_EQ(support::terminate_size, 2147483647);
    EXPECT_EQ(support::endfun, nullptr);
    void *block = support::getmem(8);
    support::freemem(block);
    EXPECT_EQ(releases, 0);  // the C heap, not the test heap
}

// The real process exit, with no hook installed.
TEST(MemBlockDeathTest, OutOfMemoryEndsTheProcessWithStatus1)
{
    support::mem_block_reset();
    EXPECT_EXIT(support::getmem(0), testing::ExitedWithCode(1), "cannot get the memory of 0 bytes");
    EXPECT_EXIT(
        {
            support::terminate_size = 10;
            support::set_heap_ops(&test_heap);
            fail_from = 1;
            support::getmemLock(100);
        },
        testing::ExitedWithCode(1), "Faital error:\ncannot get memory of 100 bytes");
}

}  // namespace
