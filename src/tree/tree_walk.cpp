#include "tree/tree_walk.h"

#include <algorithm>

#include "tree/tree_args.h"
#include "tree/tree_fs.h"
#include "tree/tree_report.h"

namespace tree {

std::vector<std::string> walk_files;
int walk_links = 0;
int walk_failed = 0;

namespace {

void skip_link(const std::string &path)
{
    ++walk_links;
    report_fail(path, "symbolic link, skipped");
}

// Walks one folder to any depth; the folder itself has been checked to be one.
void walk_folder(const std::string &folder, bool (*stop)())
{
    std::vector<std::string> pending{folder};
    std::vector<fs_entry> entries;
    while (!pending.empty() && !stop()) {
        const std::string dir = pending.back();
        pending.pop_back();
        entries.clear();
        std::string err;
        if (!fs_list(dir, entries, err)) {
            // A folder that cannot be read hides its files: a failure, not a quiet omission.
            ++walk_failed;
            report_fail(dir, "cannot read the folder: " + err);
            continue;
        }
        const std::string prefix = dir.back() == '/' ? dir : dir + "/";
        std::vector<std::string> subfolders;
        for (const fs_entry &e : entries) {
            const std::string path = prefix + e.name;
            switch (e.kind) {
            case fs_kind::file:
                if (has_ext(path)) walk_files.push_back(path);
                break;
            case fs_kind::folder:
                subfolders.push_back(path);
                break;
            case fs_kind::link:
                if (has_ext(path)) skip_link(path);
                break;
            default:
                break;
            }
        }
        // Deepest last on the stack, so folders are entered in name order (messages too).
        std::sort(subfolders.rbegin(), subfolders.rend());
        pending.insert(pending.end(), subfolders.begin(), subfolders.end());
    }
}

}  // namespace

void walk_paths(const std::vector<std::string> &roots, bool (*stop)())
{
    for (const std::string &p : roots) {
        if (stop()) return;
        const fs_kind own = fs_lkind(p);
        const fs_kind target = own == fs_kind::link ? fs_kind_of(p) : own;
        if (own == fs_kind::link && target != fs_kind::folder) {
            skip_link(p);
        } else if (target == fs_kind::file) {
            walk_files.push_back(p);  // a file named on the command line is taken whatever its name
        } else if (target == fs_kind::folder) {
            walk_folder(p, stop);
        } else {
            ++walk_failed;
            report_fail(p, target == fs_kind::missing ? "no such file or folder"
                                                      : "not a regular file or folder");
        }
    }
    std::sort(walk_files.begin(), walk_files.end());
    walk_files.erase(std::unique(walk_files.begin(), walk_files.end()), walk_files.end());
}

void walk_reset()
{
    walk_files.clear();
    walk_links = 0;
    walk_failed = 0;
}

}  // namespace tree
