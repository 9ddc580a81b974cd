// File utilities against real POSIX file systems: a device that is always full and a tiny tmpfs.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "scratch_dir.h"
#include "support/file_util.h"
#include "support/message.h"

using scratch::pattern;
using scratch::read_file;
using scratch::write_file;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

class DiskPosix : public testing::Test {
protected:
    void SetUp() override
    {
        support::file_util_reset();
        support::message_reset();
        ASSERT_FALSE(dir.path().empty()) << "no scratch folder";
    }
    void TearDown() override { support::file_util_reset(); }

    scratch::ScratchDir dir;
    std::string src = dir / "src";
};

TEST_F(DiskPosix, RealDriveOfAPathIsItsNearestExistingFolder)
{
    int cluster = support::getClusterSize(dir.path().c_str());
    EXPECT_GT(cluster, 0);
    EXPECT_EQ(support::getClusterSize((dir / "no/such/file").c_str()), cluster);
    EXPECT_GT(support::getFreeSpace((dir / "no/such/file").c_str()), 0);
    EXPECT_GT(support::FreeDiskSpace, 0.0);
    // A drive letter means nothing here: the name is asked about as written.
    EXPECT_GT(support::getClusterSize("C:\\no such file"), 0);
    EXPECT_GT(support::getFreeSpace(""), 0);
}

TEST_F(DiskPosix, SourceThatCannotBeReadIsNotReportedAsCopied)
{
    // A folder opens for reading on POSIX but every read fails.
    EXPECT_EQ(support::copyFile(dir.path().c_str(), (dir / "dst").c_str(), 0), 0);
}

TEST_F(DiskPosix, FailedCloseReturnsItsResultWithoutAMessage)
{
    FILE *fp = std::fopen("/dev/full", "wb");
    if (!fp) {
        GTEST_SKIP() << "/dev/full cannot be opened here";
    }
    CaptureStderr();
    std::fputs("buffered until the close", fp);
    EXPECT_EQ(support::Fclose(fp, "/dev/full"), EOF);
    // A flush that failed before the close is a failure even though the close succeeds.
    fp = std::fopen("/dev/full", "wb");
    ASSERT_NE(fp, nullptr);
    std::fputs("lost", fp);
    std::fflush(fp);
    EXPECT_EQ(support::Fclose(fp, "/dev/full"), EOF);
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(DiskPosix, WriteErrorIsReportedWithTheDestination)
{
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "/dev/full cannot be written here";
    }
    write_file(src, pattern(100000));
    CaptureStderr();
    EXPECT_EQ(support::copyFile(src.c_str(), "/dev/full", 0), 0);
    EXPECT_EQ(GetCapturedStderr(), "/dev/full: writing error\n");
}

// A real file system of 16 KiB, mounted for the test and removed after it.
class SmallDisk : public DiskPosix {
protected:
    void SetUp() override
    {
        DiskPosix::SetUp();
        mnt = dir / "mnt";
        std::filesystem::create_directory(mnt);
        if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=16k") != 0) {
            GTEST_SKIP() << "mounting a 16 KiB tmpfs was refused (" << std::strerror(errno)
                         << "); the full-disk paths are covered through the disk query seam";
        }
        mounted = true;
    }
    void TearDown() override
    {
        if (mounted) {
            umount2(mnt.c_str(), MNT_DETACH);
        }
        DiskPosix::TearDown();
    }

    std::string mnt;
    bool mounted = false;
};

TEST_F(SmallDisk, CopyThatFillsTheDiskExactlyFailsWithBothMessages)
{
    std::string bytes = pattern(16384);
    write_file(src, bytes);
    std::string target = mnt + "/copy";
    CaptureStderr();
    EXPECT_EQ(support::copyFile(src.c_str(), target.c_str(), 0), 0);
    EXPECT_EQ(GetCapturedStderr(), "no free disk space\n" + target + ": writing error\n");
    EXPECT_EQ(read_file(target), bytes);
    EXPECT_EQ(support::getFreeSpace(target.c_str()), 0);
}

TEST_F(SmallDisk, CopyLargerThanTheDiskFails)
{
    write_file(src, pattern(40000));
    std::string target = mnt + "/copy";
    CaptureStderr();
    EXPECT_EQ(support::copyFile(src.c_str(), target.c_str(), 0), 0);
    EXPECT_NE(GetCapturedStderr().find(target + ": writing error\n"), std::string::npos);
}

TEST_F(SmallDisk, CopyThatLeavesRoomSucceeds)
{
    write_file(src, pattern(5000));
    std::string target = mnt + "/copy";
    EXPECT_EQ(support::copyFile(src.c_str(), target.c_str(), 0), 1);
    EXPECT_EQ(support::getClusterSize(target.c_str()), 4096);
    EXPECT_EQ(support::getFreeSpace(target.c_str()), 16384 - 8192);
}

}  // namespace
