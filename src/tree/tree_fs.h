// The file-system questions and changes velkrun-tree needs, answered by one source per platform
// (tree_fs_posix.cpp, tree_fs_win32.cpp). Paths are byte strings as the user gave them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tree {

// What a path names.
enum class fs_kind { missing, file, folder, link, other };

// One entry of a folder listing.
struct fs_entry {
    std::string name;  // the entry's own name, no folder
    fs_kind kind;      // as fs_lkind would say
};

// What path names without following a last symbolic link (link for any link, dangling or not).
fs_kind fs_lkind(const std::string &path);

// What path names after following links (missing for a dangling link).
fs_kind fs_kind_of(const std::string &path);

// Reads the entries of folder (not "." and ".."). Returns true, or false with the system's reason
// in err.
bool fs_list(const std::string &folder, std::vector<fs_entry> &out, std::string &err);

// What tells one state of a file from another: the file (device and inode, or volume and file
// ID) and its size and last modification time, as finely as the system keeps it.
struct fs_ident {
    unsigned long long dev = 0, ino = 0;  // the file, whatever its names
    unsigned long long size = 0;
    unsigned long long mtime = 0;  // seconds (POSIX) or 100 ns units (Windows)
    unsigned long mtime_frac = 0;  // nanoseconds within the second (POSIX), else 0
};

// True when both name one file (device and inode alike).
inline bool fs_same_file(const fs_ident &a, const fs_ident &b)
{
    return a.dev == b.dev && a.ino == b.ino;
}

// True when both are one file in one state (file, size and modification time alike).
inline bool fs_same_state(const fs_ident &a, const fs_ident &b)
{
    return fs_same_file(a, b) && a.size == b.size && a.mtime == b.mtime &&
           a.mtime_frac == b.mtime_frac;
}

// Fills id for what path names after following links. Returns true, or false with the reason in
// err.
bool fs_identify(const std::string &path, fs_ident &id, std::string &err);

// True when path still names the file of id, unchanged since id was taken.
inline bool fs_unchanged(const std::string &path, const fs_ident &id)
{
    fs_ident now;
    std::string err;
    return fs_identify(path, now, err) && fs_same_state(now, id);
}

// The file a path names once every symbolic link in it is followed (for a link named on the
// command line); empty when it cannot be resolved.
std::string fs_link_target(const std::string &path);

// Opens path for reading in binary, not handed to child processes; null with the reason in err.
// When id is given, it receives the identity of the file opened, taken from the open file.
FILE *fs_open_read(const std::string &path, std::string &err, fs_ident *id = nullptr);

// Creates an empty temporary file ".velkrun-tree.XXXXXX" in the folder of path, open for writing
// in binary and not handed to child processes; sets tmp_path. Null with the reason in err.
FILE *fs_create_temp(const std::string &path, std::string &tmp_path, std::string &err);

// True when the user cannot write path, or when its mode grants write permission to nobody (so
// that even an all-powerful user leaves it alone).
bool fs_read_only(const std::string &path);

// Gives the open temporary file the mode and, where allowed, the owner and group of orig.
// Returns true, or false with the reason in err when the mode cannot be copied.
bool fs_copy_mode(FILE *tmp, const std::string &orig, std::string &err);

// How fs_backup and fs_replace ended.
enum class fs_step { done, exists, changed, failed };

// Makes bak a copy of orig as id describes it (a hard link where possible, else a copy keeping
// mode and times), created exclusively: done with the identity of bak in *made; exists when bak
// names anything already (it is left as it is); changed when orig is no longer the file of id
// (no bak is left); failed with the reason in err.
fs_step fs_backup(const std::string &orig, const std::string &bak, const fs_ident &id,
                  fs_ident *made, std::string &err);

// Removes bak when it is still the file fs_backup made of orig (made, as it was made; or, for a
// hard link, a name of orig itself), for a rewrite given up after its backup was made. A file
// made under that name by someone else since stays.
void fs_backup_undo(const std::string &orig, const std::string &bak, const fs_ident &made);

// Puts the file from in the place of to, provided to is still the file of id, unchanged: done
// (from is gone), changed (to and from stay as they were; see the manual for the instant that
// remains between the last check and the replacement), or failed with the reason in err (which
// names from when the file to had to be left there).
fs_step fs_replace(const std::string &from, const std::string &to, const fs_ident &id,
                   std::string &err);

// Removes a file; errors are ignored (used for temporary files and undone backups only).
void fs_remove(const std::string &path);

inline void fs_backup_undo(const std::string &orig, const std::string &bak, const fs_ident &made)
{
    fs_ident now, of_orig;
    std::string err;
    if (!fs_identify(bak, now, err) || !fs_same_file(now, made)) {
        return;
    }
    if (fs_same_state(now, made) ||
        (fs_identify(orig, of_orig, err) && fs_same_file(of_orig, now))) {
        fs_remove(bak);
    }
}

// The running program's file (argv0 where the system does not say); empty when unknown.
std::string fs_self_program(const char *argv0);

// The executable that running name would start: name itself when it holds a separator, else the
// first match in PATH; empty when there is none.
std::string fs_find_program(const std::string &name);

// Makes standard output write bytes as they are (a diff carries its own line ends).
void fs_stdout_binary();

// True when standard error is a terminal.
bool fs_stderr_is_terminal();

// Processors available to this process, at least 1.
int fs_processors();

// An empty input for the trial run of the options (the null device, or a private empty file made
// here). Empty with the reason in err when there is none. Hand it to fs_empty_input_done after.
std::string fs_empty_input(std::string &err);
void fs_empty_input_done(const std::string &path);

}  // namespace tree
