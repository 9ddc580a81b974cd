// The file selection: every file under the paths whose extension is taken, files named as paths
// whatever their name, no symbolic link followed but a path that is a link to a folder; sorted
// in byte order, each file once.
#pragma once

#include <string>
#include <vector>

namespace tree {

extern std::vector<std::string> walk_files;  // walk_paths: the files to process, sorted, unique
extern int walk_links;                       // walk_paths: symbolic links skipped
extern int walk_failed;  // walk_paths: paths that do not exist and folders that cannot be read

// Collects the files under roots into walk_files, reporting each skipped link and each failure
// (through report_note / report_fail) as it is met. stop is polled between folders: when it
// returns true the walk ends early.
void walk_paths(const std::vector<std::string> &roots, bool (*stop)());

// Empties the selection and its counters.
void walk_reset();

}  // namespace tree
