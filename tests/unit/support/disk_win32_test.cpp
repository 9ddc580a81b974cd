// The file and disk utilities against the real Windows drive and file services (run under Wine in
// CI, where C: is the emulator's own drive and Z: the build host's root).
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/file_util.h"
#include "support/message.h"

namespace {

// A fresh folder under the Windows temporary folder (a drive-letter path), removed afterwards.
class DiskWin32 : public ::testing::Test {
protected:
    void SetUp() override
    {
        support::file_util_reset();
        support::message_reset();
        char tmp[MAX_PATH];
        DWORD n = GetTempPathA(sizeof tmp, tmp);
        ASSERT_GT(n, 2u);
        ASSERT_LT(n, sizeof tmp);
        ASSERT_EQ(':', tmp[1]) << tmp;
        dir_ = std::string(tmp) + "velk_disk_" + std::to_string(GetCurrentProcessId()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr)) << dir_;
    }

    void TearDown() override
    {
        for (const std::string &f : made_) {
            DeleteFileA(f.c_str());
        }
        RemoveDirectoryA(dir_.c_str());
        support::file_util_reset();
        support::message_reset();
    }

    // The path of name in the folder, removed after the test; written with bytes when given.
    std::string file(const char *name, const char *bytes = nullptr)
    {
        std::string path = dir_ + "\\" + name;
        made_.push_back(path);
        if (bytes) {
            FILE *fp = std::fopen(path.c_str(), "wb");
            EXPECT_NE(nullptr, fp) << path;
            if (fp) {
                std::fputs(bytes, fp);
                std::fclose(fp);
            }
        }
        return path;
    }

    // The whole file in binary, or "<missing>".
    static std::string read(const std::string &path)
    {
        std::string text;
        FILE *fp = std::fopen(path.c_str(), "rb");
        if (!fp) {
            return "<missing>";
        }
        for (int c; (c = std::fgetc(fp)) != EOF;) {
            text += static_cast<char>(c);
        }
        std::fclose(fp);
        return text;
    }

    // A drive letter that names no drive on this machine, or 0 when every letter is taken.
    static char unused_drive()
    {
        DWORD drives = GetLogicalDrives();
        for (int i = 25; i >= 3; --i) {
            if (!(drives & (1UL << i))) {
                return static_cast<char>('A' + i);
            }
        }
        return 0;
    }

    std::string dir_;                // SetUp: this test's folder
    std::vector<std::string> made_;  // file: every path to remove at TearDown
};

TEST_F(DiskWin32, ClusterSizeOfADriveIsSectorTimesSectorsPerCluster)
{
    DWORD spc = 0;
    DWORD bps = 0;
    DWORD free_clusters = 0;
    DWORD total = 0;
    std::string root = dir_.substr(0, 3);
    ASSERT_TRUE(GetDiskFreeSpaceA(root.c_str(), &spc, &bps, &free_clusters, &total));
    EXPECT_EQ(static_cast<int>(spc * bps), support::getClusterSize(dir_.c_str()));
    EXPECT_GT(support::getClusterSize(dir_.c_str()), 0);
}

TEST_F(DiskWin32, FreeSpaceIsTheCallersShareCappedAtIntMax)
{
    ULARGE_INTEGER avail;
    ULARGE_INTEGER total;
    ULARGE_INTEGER total_free;
    std::string root = dir_.substr(0, 3);
    int got = support::getFreeSpace((dir_ + "\\name.txt").c_str());
    ASSERT_TRUE(GetDiskFreeSpaceExA(root.c_str(), &avail, &total, &total_free));
    ASSERT_GT(got, 0);
    // The drive is live: allow what other processes write between the two questions.
    double expect = static_cast<double>(avail.QuadPart);
    EXPECT_NEAR(expect, support::FreeDiskSpace, 64.0 * 1024 * 1024);
    if (support::FreeDiskSpace > 2147483647.0) {
        EXPECT_EQ(INT_MAX, got);
    } else {
        EXPECT_EQ(static_cast<int>(support::FreeDiskSpace), got);
    }
}

TEST_F(DiskWin32, PathWithoutDriveLetterAsksTheCurrentDrive)
{
    EXPECT_GT(support::getFreeSpace("relative\\name.c"), 0);
    EXPECT_GT(support::FreeDiskSpace, 0.0);
    EXPECT_GT(support::getClusterSize("name.c"), 0);
}

TEST_F(DiskWin32, DriveThatDoesNotExistFailsEveryQuery)
{
    char letter = unused_drive();
    if (!letter) {
        GTEST_SKIP() << "every drive letter is in use";
    }
    std::string path = std::string(1, letter) + ":\\dir\\file.txt";
    EXPECT_EQ(-1, support::getFreeSpace(path.c_str()));
    EXPECT_EQ(-1.0, support::FreeDiskSpace);
    EXPECT_EQ(0, support::getClusterSize(path.c_str()));
    EXPECT_EQ(0, support::isDir(path.substr(0, 3).c_str()));
}

TEST_F(DiskWin32, IsDirTellsFoldersFromFilesAndMissingPaths)
{
    std::string f = file("plain.txt", "x");
    EXPECT_EQ(1, support::isDir(dir_.c_str()));
    EXPECT_EQ(1, support::isDir((dir_ + "\\").c_str()));
    EXPECT_EQ(1, support::isDir(dir_.substr(0, 3).c_str()));
    EXPECT_EQ(0, support::isDir(f.c_str()));
    EXPECT_EQ(0, support::isDir((dir_ + "\\missing").c_str()));
}

TEST_F(DiskWin32, CopyReplacesOrKeepsTheDestinationByMode)
{
    std::string src = file("src.bin", "line\r\nnext\x1a tail\n");
    std::string dst = file("dst.bin", "old");
    EXPECT_EQ(0, support::copyFile(src.c_str(), dst.c_str(), 1));
    EXPECT_EQ("old", read(dst));
    EXPECT_EQ(1, support::copyFile(src.c_str(), dst.c_str(), 0));
    // Binary both ways: CR LF and the Ctrl-Z of a text file pass unchanged.
    EXPECT_EQ("line\r\nnext\x1a tail\n", read(dst));
    std::string fresh = file("fresh.bin");
    EXPECT_EQ(1, support::copyFile(src.c_str(), fresh.c_str(), 1));
    EXPECT_EQ(read(src), read(fresh));
    EXPECT_EQ(0, support::errmsg_output_flg);
}

TEST_F(DiskWin32, CopyOntoItselfUnderAnotherSpellingLeavesTheFileWhole)
{
    std::string src = file("Self.txt", "keep me");
    // Windows file names are case-blind, and "." steps stay where they are.
    std::string other = dir_ + "\\.\\SELF.TXT";
    EXPECT_EQ(0, support::copyFile(src.c_str(), other.c_str(), 0));
    EXPECT_EQ("keep me", read(src));
}

TEST_F(DiskWin32, CopyFromMissingSourceLeavesDestinationAlone)
{
    std::string dst = file("dst.txt", "untouched");
    EXPECT_EQ(0, support::copyFile((dir_ + "\\absent.txt").c_str(), dst.c_str(), 0));
    EXPECT_EQ("untouched", read(dst));
    EXPECT_EQ(0, support::errmsg_output_flg);
}

TEST_F(DiskWin32, FcloseOnADriveWithRoomReportsNothing)
{
    std::string path = file("out.txt");
    FILE *fp = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, fp);
    std::fputs("data", fp);
    EXPECT_EQ(0, support::Fclose(fp, path.c_str()));
    EXPECT_EQ(0, support::errmsg_output_flg);
    EXPECT_EQ("data", read(path));
}

// A drive of 16 KiB given by the test run (VELK_SMALL_DRIVE, for instance "Q:"): the CI step maps
// a small file system to a Wine drive letter when the machine lets it mount one.
TEST_F(DiskWin32, CopyThatFillsASmallDriveNamesItsLetter)
{
    const char *drive = std::getenv("VELK_SMALL_DRIVE");
    if (drive == nullptr || std::strlen(drive) != 2 || drive[1] != ':') {
        GTEST_SKIP() << "no small drive given (VELK_SMALL_DRIVE=X:)";
    }
    std::string target = std::string(drive) + "\\copy.bin";
    made_.push_back(target);
    int room = support::getFreeSpace(target.c_str());
    ASSERT_GT(room, 0);
    ASSERT_LE(room, 1 << 20) << "the drive is not small";
    ASSERT_GT(support::getClusterSize(target.c_str()), 0);

    std::string fill = file("fill.bin", std::string(static_cast<std::size_t>(room), 'f').c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, support::copyFile(fill.c_str(), target.c_str(), 0));
    EXPECT_EQ(std::string(1, drive[0]) + " drive: no free disk space\n" + target +
                  ": writing error\n",
              testing::internal::GetCapturedStderr());
    EXPECT_EQ(0, support::getFreeSpace(target.c_str()));
    EXPECT_EQ(std::string(static_cast<std::size_t>(room), 'f'), read(target));

    std::string more =
        file("more.bin", std::string(static_cast<std::size_t>(room) + 1, 'm').c_str());
    ASSERT_TRUE(DeleteFileA(target.c_str()));
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, support::copyFile(more.c_str(), target.c_str(), 0));
    EXPECT_NE(std::string::npos,
              testing::internal::GetCapturedStderr().find(target + ": writing error\n"));
}

}  // namespace
