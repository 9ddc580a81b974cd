#include "tree/tree_fs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../support/scratch_dir.h"

namespace {

using scratch::read_file;
using scratch::write_file;

// The identity of path, which the test has just written.
tree::fs_ident ident(const std::string &path)
{
    tree::fs_ident id;
    std::string err;
    EXPECT_TRUE(tree::fs_identify(path, id, err)) << path << ": " << err;
    return id;
}

bool exists(const std::string &path) { return tree::fs_lkind(path) != tree::fs_kind::missing; }

// Replaces path by a new file of other text, as an editor that saves by rename does.
void save_by_rename(const std::string &path, const std::string &text)
{
    // Made before the old file goes, so it is another file whatever the system reuses; removed
    // first, as a rename on Windows does not replace.
    write_file(path + ".new", text);
    std::remove(path.c_str());
    ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
}

TEST(TreeFs, ABackupNeverReplacesAnything)
{
    scratch::ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string f = dir / "a.c", bak = dir / "a.c.orig";
    write_file(f, "old\n");
    const tree::fs_ident id = ident(f);
    tree::fs_ident made;
    std::string err;

    write_file(bak, "left by patch\n");
    EXPECT_EQ(tree::fs_backup(f, bak, id, &made, err), tree::fs_step::exists);
    EXPECT_EQ(read_file(bak), "left by patch\n");

    std::remove(bak.c_str());
    EXPECT_EQ(tree::fs_backup(f, bak, id, &made, err), tree::fs_step::done) << err;
    EXPECT_EQ(read_file(bak), "old\n");
    // Undone, the backup goes; a file of the same name made by someone else would stay.
    tree::fs_backup_undo(f, bak, made);
    EXPECT_FALSE(exists(bak));
    write_file(bak, "someone else's\n");
    tree::fs_backup_undo(f, bak, made);
    EXPECT_EQ(read_file(bak), "someone else's\n");
    std::remove(bak.c_str());

    save_by_rename(f, "edited\n");
    EXPECT_EQ(tree::fs_backup(f, bak, id, &made, err), tree::fs_step::changed);
    EXPECT_FALSE(exists(bak));
}

TEST(TreeFs, AFileIsReplacedOnlyWhileItIsTheOneRead)
{
    scratch::ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string f = dir / "a.c", tmp = dir / "new.tmp";
    std::string err;

    write_file(f, "old\n");
    tree::fs_ident id = ident(f);
    EXPECT_TRUE(tree::fs_unchanged(f, id));
    write_file(tmp, "rewrite\n");
    EXPECT_EQ(tree::fs_replace(tmp, f, id, err), tree::fs_step::done) << err;
    EXPECT_EQ(read_file(f), "rewrite\n");
    EXPECT_FALSE(exists(tmp));

    // Saved by rename after the reading began: both files stay as they are.
    write_file(f, "old\n");
    id = ident(f);
    save_by_rename(f, "edited\n");
    EXPECT_FALSE(tree::fs_unchanged(f, id));
    write_file(tmp, "rewrite\n");
    EXPECT_EQ(tree::fs_replace(tmp, f, id, err), tree::fs_step::changed);
    EXPECT_EQ(read_file(f), "edited\n");
    EXPECT_EQ(read_file(tmp), "rewrite\n");

    // Written in place with another size, and removed.
    write_file(f, "old\n");
    id = ident(f);
    write_file(f, "longer edit\n");
    EXPECT_EQ(tree::fs_replace(tmp, f, id, err), tree::fs_step::changed);
    EXPECT_EQ(read_file(f), "longer edit\n");
    std::remove(f.c_str());
    EXPECT_EQ(tree::fs_replace(tmp, f, id, err), tree::fs_step::changed);
    EXPECT_FALSE(exists(f));
    EXPECT_EQ(read_file(tmp), "rewrite\n");
}

TEST(TreeFs, TheIdentityTellsFilesAndTheirStatesApart)
{
    scratch::ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    write_file(dir / "a.c", "a\n");
    write_file(dir / "b.c", "a\n");
    const tree::fs_ident a = ident(dir / "a.c");
    EXPECT_TRUE(tree::fs_same_state(a, ident(dir / "a.c")));
    EXPECT_FALSE(tree::fs_same_file(a, ident(dir / "b.c")));
    std::string err;
    FILE *f = tree::fs_open_read(dir / "a.c", err, nullptr);
    ASSERT_NE(f, nullptr) << err;
    std::fclose(f);
    tree::fs_ident opened;
    f = tree::fs_open_read(dir / "a.c", err, &opened);
    ASSERT_NE(f, nullptr) << err;
    std::fclose(f);
    EXPECT_TRUE(tree::fs_same_state(a, opened));
    tree::fs_ident none;
    EXPECT_FALSE(tree::fs_identify(dir / "missing.c", none, err));
}

}  // namespace
