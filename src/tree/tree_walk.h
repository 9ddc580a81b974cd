// The file selection: every file under the paths whose extension is taken, files named as paths
// whatever their name, no symbolic link followed but a path that is a link (to a folder: searched;
// to a file: taken); sorted in byte order, each file once however many paths reach it.
#pragma once

#include <string>
#include <vector>

namespace tree {

extern std::vector<std::string> walk_files;  // walk_paths: the files to process, sorted, unique
// walk_paths: for each of walk_files, the path to read and replace: the same path, or the file a
// link named as a PATH points to.
extern std::vector<std::string> walk_targets;
extern int walk_links;  // walk_paths: symbolic links skipped
// walk_paths: paths that do not exist or are neither file nor folder, and folders that cannot be
// read
extern int walk_failed;

// Collects the files under roots into walk_files, reporting each skipped link and each failure
// (through report_note / report_fail) as it is met. stop is polled between folders: when it
// returns true the walk ends early.
void walk_paths(const std::vector<std::string> &roots, bool (*stop)());

// Empties the selection and its counters.
void walk_reset();

}  // namespace tree
