#include "support/file_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "scratch_dir.h"
#include "support/message.h"

namespace fs = std::filesystem;
using scratch::pattern;
using scratch::read_file;
using scratch::write_file;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

// A drive the tests describe, and the roots it was asked about.
int fake_free_result;  // what the 64-bit query answers: 1 ok, 0 failed, -1 missing
unsigned long fake_low, fake_high;
bool fake_geometry_ok;
support::disk_geometry fake_geometry;
std::string asked_roots;  // every root asked, each followed by '|'

bool fake_geometry_query(const char *root, const char *, support::disk_geometry *g)
{
    asked_roots += std::string(root) + "|";
    *g = fake_geometry;
    return fake_geometry_ok;
}

int fake_free_query(const char *root, const char *, unsigned long *low, unsigned long *high)
{
    asked_roots += std::string(root) + "|";
    *low = fake_low;
    *high = fake_high;
    return fake_free_result;
}

unsigned long all_bits(const char *) { return support::disk_attr_missing; }

const support::disk_ops fake_disk = {fake_geometry_query, fake_free_query, support::disk_attributes,
                                     support::disk_same_file};

class FileUtil : public testing::Test {
protected:
    void SetUp() override
    {
        support::file_util_reset();
        support::message_reset();
        ASSERT_FALSE(dir.path().empty()) << "no scratch folder";
        fake_free_result = 1;
        fake_low = 1u << 20;
        fake_high = 0;
        fake_geometry_ok = true;
        fake_geometry = {8, 512, 100, 1000};
        asked_roots.clear();
    }
    void TearDown() override { support::file_util_reset(); }

    scratch::ScratchDir dir;
};

TEST_F(FileUtil, DriveRootIsLetterColonBackslashOrABackslash)
{
    support::set_disk_ops(&fake_disk);
    support::getFreeSpace("C:\\dir\\file");
    support::getFreeSpace("d:");
    support::getFreeSpace("dir\\file");
    support::getFreeSpace("\\\\server\\share\\x");
    support::getFreeSpace("");
    support::getClusterSize("z:x");
    EXPECT_EQ(asked_roots, "C:\\|d:\\|\\|\\|\\|z:\\|");
}

TEST_F(FileUtil, FreeSpaceIsCappedWhileFreeDiskSpaceHoldsTheFullFigure)
{
    support::set_disk_ops(&fake_disk);
    fake_low = 5;
    fake_high = 1;
    EXPECT_EQ(support::getFreeSpace("C:\\"), INT_MAX);
    EXPECT_EQ(support::FreeDiskSpace, 4294967301.0);
    fake_low = 0xFFFFFFFFUL;
    fake_high = 0;
    EXPECT_EQ(support::getFreeSpace("C:\\"), INT_MAX);
    EXPECT_EQ(support::FreeDiskSpace, 4294967295.0);
    fake_low = 2147483647;
    EXPECT_EQ(support::getFreeSpace("C:\\"), 2147483647);
    fake_low = 0;
    EXPECT_EQ(support::getFreeSpace("C:\\"), 0);
    EXPECT_EQ(support::FreeDiskSpace, 0.0);
    fake_free_result = 0;
    EXPECT_EQ(support::getFreeSpace("C:\\"), -1);
    EXPECT_EQ(support::FreeDiskSpace, -1.0);
}

TEST_F(FileUtil, WithoutThe64BitQueryFreeSpaceComesFromTheGeometry)
{
    support::set_disk_ops(&fake_disk);
    fake_free_result = -1;
    EXPECT_EQ(support::getFreeSpace("x"), 100 * 8 * 512);
    // 2^20 clusters of 32 KiB: a figure a 32-bit product would wrap.
    fake_geometry = {64, 512, 1UL << 20, 1UL << 21};
    EXPECT_EQ(support::getFreeSpace("x"), INT_MAX);
    EXPECT_EQ(support::FreeDiskSpace, 34359738368.0);
    fake_geometry_ok = false;
    EXPECT_EQ(support::getFreeSpace("x"), -1);
    EXPECT_EQ(support::FreeDiskSpace, -1.0);
}

TEST_F(FileUtil, ClusterSizeIsSectorBytesTimesSectors)
{
    support::set_disk_ops(&fake_disk);
    EXPECT_EQ(support::getClusterSize("C:\\a"), 4096);
    fake_geometry_ok = false;
    EXPECT_EQ(support::getClusterSize("C:\\a"), 0);
}

TEST_F(FileUtil, IsDirNeedsAnExistingDirectory)
{
    write_file(dir / "file", "x");
    EXPECT_EQ(support::isDir(dir.path().c_str()), 1);
    EXPECT_EQ(support::isDir((dir / "file").c_str()), 0);
    EXPECT_EQ(support::isDir((dir / "missing").c_str()), 0);
    // All attribute bits set means "no such path", not a directory.
    const support::disk_ops missing = {fake_geometry_query, fake_free_query, all_bits,
                                       support::disk_same_file};
    support::set_disk_ops(&missing);
    EXPECT_EQ(support::isDir(dir.path().c_str()), 0);
}

TEST_F(FileUtil, FindExtLooksOnlyAtTheLastComponent)
{
    const char *p = "dir.d\\name";
    EXPECT_EQ(support::findExt(p), nullptr);
    p = "a.b.c";
    EXPECT_EQ(support::findExt(p), p + 3);
    p = "name.";
    EXPECT_EQ(support::findExt(p), p + 4);
    p = "x\\y.z\\w.txt";
    EXPECT_EQ(support::findExt(p), p + 7);
    // 0x95 0x5C is one character, not a separator.
    p = "a.b\x95\\c";
    EXPECT_EQ(support::findExt(p), p + 1);
}

TEST_F(FileUtil, SepnameSplitsAfterTheLevelOfTheFirstWildcard)
{
    struct {
        const char *path, *dir, *rest;
    } cases[] = {
        {"src\\*.c\\x\\y.h", "src\\*.c", "x\\y.h"},
        {"src\\*.c", "src\\*.c", ""},
        {"a\\b\\c", "a\\b\\c", ""},
        {"a?\\b\\*", "a?", "b\\*"},
        {"\x95\\?\\x", "\x95\\?", "x"},
        {"", "", ""},
    };
    for (const auto &c : cases) {
        char path[64];
        char dir_out[64];
        char rest[64] = "junk";
        std::strcpy(path, c.path);
        EXPECT_EQ(support::sepname(path, dir_out, rest), 0);
        EXPECT_STREQ(dir_out, c.dir) << c.path;
        EXPECT_STREQ(rest, c.rest) << c.path;
    }
}

TEST_F(FileUtil, CompFileSortsShallowPathsFirst)
{
    struct record {
        const char *path;
        int other;
    };
    record recs[] = {{"a\\c", 0}, {"A\\b", 0}, {"b", 0}, {"x\x95\\y", 0}, {"a\\b\\c", 0}};
    record *list[] = {&recs[0], &recs[1], &recs[2], &recs[3], &recs[4]};
    std::qsort(list, 5, sizeof list[0], support::comp_file);
    std::string order;
    for (record *r : list) {
        order += std::string(r->path) + "|";
    }
    EXPECT_EQ(order, "b|x\x95\\y|A\\b|a\\c|a\\b\\c|");
}

class FileCopy : public FileUtil {
protected:
    std::string src = dir / "src";
    std::string dst = dir / "dst";
};

TEST_F(FileCopy, CopiesContentsAcrossManyBuffers)
{
    std::string bytes = pattern(100000);
    write_file(src, bytes);
    EXPECT_EQ(support::copyFile(src.c_str(), dst.c_str(), 0), 1);
    EXPECT_EQ(read_file(dst), bytes);
    write_file(src, "");
    EXPECT_EQ(support::copyFile(src.c_str(), dst.c_str(), 0), 1);
    EXPECT_TRUE(fs::exists(dst));
    EXPECT_EQ(fs::file_size(dst), 0u);
}

TEST_F(FileCopy, ModeOneLeavesAnExistingDestinationAlone)
{
    write_file(src, "new");
    write_file(dst, "old");
    EXPECT_EQ(support::copyFile(src.c_str(), dst.c_str(), 1), 0);
    EXPECT_EQ(read_file(dst), "old");
    EXPECT_EQ(support::copyFile(src.c_str(), dst.c_str(), 0), 1);
    EXPECT_EQ(read_file(dst), "new");
    std::string fresh = dir / "fresh";
    EXPECT_EQ(support::copyFile(src.c_str(), fresh.c_str(), 1), 1);
    EXPECT_EQ(read_file(fresh), "new");
}

TEST_F(FileCopy, FailuresBeforeWritingLeaveTheDestinationIntactAndSayNothing)
{
    write_file(dst, "keep");
    CaptureStderr();
    // No source.
    EXPECT_EQ(support::copyFile((dir / "missing").c_str(), dst.c_str(), 0), 0);
    // A file copied onto itself would be emptied by opening it for writing.
    EXPECT_EQ(support::copyFile(dst.c_str(), dst.c_str(), 0), 0);
    std::string alias = dir.path() + "/./dst";
    EXPECT_EQ(support::copyFile(dst.c_str(), alias.c_str(), 0), 0);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(read_file(dst), "keep");
    // A destination that cannot be created.
    write_file(src, "x");
    EXPECT_EQ(support::copyFile(src.c_str(), (dir / "no/such/dst").c_str(), 0), 0);
}

// A folder opens for reading on POSIX and fails only at its first read; neither it nor a
// missing file may cost the destination its data.
TEST_F(FileCopy, SourcesThatCannotBeReadLeaveAnExistingDestinationAlone)
{
    std::string folder = dir / "folder";
    ASSERT_TRUE(fs::create_directory(folder));
    write_file(folder + "/inside", "not copied");
    const std::string held = pattern(3000);
    for (const std::string &source : {folder, dir / "missing"}) {
        for (int mode : {0, 2}) {
            write_file(dst, held);
            CaptureStderr();
            EXPECT_EQ(support::copyFile(source.c_str(), dst.c_str(), mode), 0) << source;
            EXPECT_EQ(GetCapturedStderr(), "") << source;
            EXPECT_EQ(read_file(dst), held) << source << " mode " << mode;
        }
    }
    // Nor is a destination created for them.
    std::string fresh = dir / "fresh";
    EXPECT_EQ(support::copyFile(folder.c_str(), fresh.c_str(), 0), 0);
    EXPECT_FALSE(fs::exists(fresh));
}

TEST_F(FileCopy, DiskFilledToTheLastByteIsReportedTwice)
{
    write_file(src, "data");
    support::set_disk_ops(&fake_disk);
    fake_low = 0;
    // The scratch folder may lie on a lettered drive (Windows), which the message then names.
    const std::string full = dst.size() > 1 && dst[1] == ':'
                                 ? dst.substr(0, 1) + " drive: no free disk space\n"
                                 : "no free disk space\n";
    CaptureStderr();
    EXPECT_EQ(support::copyFile(src.c_str(), dst.c_str(), 0), 0);
    EXPECT_EQ(GetCapturedStderr(), full + dst + ": writing error\n");
    EXPECT_EQ(read_file(dst), "data");  // the incomplete destination stays
    // A drive that cannot be queried counts as full.
    fake_free_result = 0;
    CaptureStderr();
    EXPECT_EQ(support::copyFile(src.c_str(), dst.c_str(), 0), 0);
    EXPECT_EQ(GetCapturedStderr(), full + dst + ": writing error\n");
}

TEST_F(FileCopy, FcloseNamesTheDriveLetterOfTheWrittenPath)
{
    support::set_disk_ops(&fake_disk);
    FILE *fp = std::fopen(dst.c_str(), "wb");
    ASSERT_NE(fp, nullptr);
    CaptureStderr();
    EXPECT_EQ(support::Fclose(fp, "C:\\out.txt"), 0);
    fp = std::fopen(dst.c_str(), "wb");
    fake_low = 0;
    EXPECT_EQ(support::Fclose(fp, "e:\\out.txt"), -1);
    fp = std::fopen(dst.c_str(), "wb");
    EXPECT_EQ(support::Fclose(fp, "out.txt"), -1);
    EXPECT_EQ(GetCapturedStderr(), "e drive: no free disk space\nno free disk space\n");
}

}  // namespace
