#include "tree/tree_walk.h"

#include <algorithm>
#include <utility>

#include "tree/tree_args.h"
#include "tree/tree_fs.h"
#include "tree/tree_report.h"

namespace tree {

std::vector<std::string> walk_files;
std::vector<std::string> walk_targets;
int walk_links = 0;
int walk_failed = 0;

namespace {

// walk_paths: the files found, in the order met, with the link target of a link PATH.
struct found {
    std::string name;
    std::string target;
};
std::vector<found> met;

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
                if (has_ext(path)) {
                    met.push_back(found{path, path});
                }
                break;
            case fs_kind::folder:
                subfolders.push_back(path);
                break;
            case fs_kind::link:
                if (has_ext(path)) {
                    skip_link(path);
                }
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

// Keeps the first of the files in walk_files that are one file (reached through overlapping
// paths, spellings or hard links), so that no file is read twice or backed up over its own
// rewrite. A file that cannot be asked about stays: reading it fails and says why.
void drop_repeats()
{
    std::vector<std::pair<fs_ident, std::size_t>> ids;
    ids.reserve(walk_files.size());
    std::string err;
    for (std::size_t i = 0; i < walk_files.size(); ++i) {
        fs_ident id;
        if (fs_identify(walk_targets[i], id, err)) {
            ids.emplace_back(id, i);
        }
    }
    std::sort(
        ids.begin(), ids.end(),
        [](const std::pair<fs_ident, std::size_t> &a, const std::pair<fs_ident, std::size_t> &b) {
            if (a.first.dev != b.first.dev) {
                return a.first.dev < b.first.dev;
            }
            if (a.first.ino != b.first.ino) {
                return a.first.ino < b.first.ino;
            }
            return a.second < b.second;
        });
    std::vector<char> repeat(walk_files.size(), 0);
    for (std::size_t k = 1; k < ids.size(); ++k)
        if (fs_same_file(ids[k].first, ids[k - 1].first)) {
            repeat[ids[k].second] = 1;
        }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < walk_files.size(); ++i) {
        if (repeat[i]) {
            continue;
        }
        if (kept != i) {
            walk_files[kept] = std::move(walk_files[i]);
            walk_targets[kept] = std::move(walk_targets[i]);
        }
        ++kept;
    }
    walk_files.resize(kept);
    walk_targets.resize(kept);
}

}  // namespace

void walk_paths(const std::vector<std::string> &roots, bool (*stop)())
{
    for (const std::string &p : roots) {
        if (stop()) {
            return;
        }
        const fs_kind own = fs_lkind(p);
        const fs_kind target = own == fs_kind::link ? fs_kind_of(p) : own;
        if (own == fs_kind::link && target == fs_kind::file) {
            // Named on purpose: the file it points to is rewritten and the link stays a link.
            const std::string real = fs_link_target(p);
            if (real.empty()) {
                ++walk_failed;
                report_fail(p, "cannot follow the symbolic link");
            } else {
                met.push_back(found{p, real});
            }
        } else if (own == fs_kind::link && target != fs_kind::folder) {
            ++walk_failed;
            report_fail(p, target == fs_kind::missing ? "symbolic link to nothing"
                                                      : "not a regular file or folder");
        } else if (target == fs_kind::file) {
            met.push_back(
                found{p, p});  // a file named on the command line is taken whatever its name
        } else if (target == fs_kind::folder) {
            walk_folder(p, stop);
        } else {
            ++walk_failed;
            report_fail(p, target == fs_kind::missing ? "no such file or folder"
                                                      : "not a regular file or folder");
        }
    }
    std::sort(met.begin(), met.end(),
              [](const found &a, const found &b) { return a.name < b.name; });
    for (found &f : met) {
        if (!walk_files.empty() && walk_files.back() == f.name) {
            continue;
        }
        walk_files.push_back(std::move(f.name));
        walk_targets.push_back(std::move(f.target));
    }
    met.clear();
    drop_repeats();
}

void walk_reset()
{
    met.clear();
    walk_files.clear();
    walk_targets.clear();
    walk_links = 0;
    walk_failed = 0;
}

}  // namespace tree
