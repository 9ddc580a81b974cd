// copyFile with sources that open but cannot be read, which only POSIX systems can make.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "scratch_dir.h"
#include "support/file_util.h"
#include "support/message.h"

namespace {

namespace fs = std::filesystem;
using scratch::pattern;
using scratch::read_file;
using scratch::write_file;

class FileCopyPosix : public testing::Test {
protected:
    void SetUp() override
    {
        support::file_util_reset();
        support::message_reset();
        ASSERT_FALSE(dir.path().empty()) << "no scratch folder";
        write_file(dst, held);
    }
    void TearDown() override { support::file_util_reset(); }

    scratch::ScratchDir dir;
    std::string src = dir / "src";
    std::string dst = dir / "dst";
    const std::string held = pattern(3000);
};

// Permission bits do not stop root from reading, so as root the copy runs under another
// effective user, which root can take and give back.
TEST_F(FileCopyPosix, FileWithoutReadPermissionLeavesTheDestinationAlone)
{
    write_file(src, "secret");
    ASSERT_EQ(chmod(src.c_str(), 0), 0) << std::strerror(errno);
    // The other user must be able to empty the destination, or the test would prove nothing.
    ASSERT_EQ(chmod(dst.c_str(), 0666), 0) << std::strerror(errno);
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0) << std::strerror(errno);
    const uid_t self = geteuid();
    const uid_t other = 65534;  // "nobody"
    if (self == 0 && seteuid(other) != 0) {
        GTEST_SKIP() << "running as root and cannot take another effective user ("
                     << std::strerror(errno) << "), so read permission cannot be taken away";
    }
    FILE *probe = std::fopen(src.c_str(), "rb");
    FILE *writable = std::fopen(dst.c_str(), "ab");
    int copied = support::copyFile(src.c_str(), dst.c_str(), 0);
    if (self == 0) {
        ASSERT_EQ(seteuid(0), 0) << std::strerror(errno);
    }
    if (probe) {
        std::fclose(probe);
    }
    if (writable) {
        std::fclose(writable);
    }
    ASSERT_EQ(probe, nullptr) << "the source was still readable";
    ASSERT_NE(writable, nullptr) << "the destination was not writable";
    EXPECT_EQ(copied, 0);
    EXPECT_EQ(read_file(dst), held);
}

// A file that opens but fails its first read: /proc/self/mem at offset 0, an address no
// process has mapped, reads as EIO even for root.
TEST_F(FileCopyPosix, ReadErrorOnTheFirstBlockLeavesTheDestinationAlone)
{
    const char *mem = "/proc/self/mem";
    FILE *probe = std::fopen(mem, "rb");
    if (!probe) {
        GTEST_SKIP() << mem << " cannot be opened here (" << std::strerror(errno) << ")";
    }
    char byte;
    bool fails = std::fread(&byte, 1, 1, probe) == 0 && std::ferror(probe);
    std::fclose(probe);
    if (!fails) {
        GTEST_SKIP() << mem << " can be read at offset 0 here";
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(support::copyFile(mem, dst.c_str(), 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(read_file(dst), held);
}

}  // namespace
