// File and disk utilities over Windows-style paths ('\' separators, "C:" drive prefixes, texts
// that may hold two-byte characters): free space and cluster size of a path's drive, a file copy
// and a stream close that diagnose a full disk, and path helpers.
#pragma once

#include <cstdio>

#include "support/disk_query.h"

namespace support {

// Set by every getFreeSpace: the free bytes it found, -1.0 when its query failed; 0.0 at start.
extern double FreeDiskSpace;

// Bytes per cluster of the drive holding path; 0 when the drive cannot be queried.
int getClusterSize(const char *path);

// Free bytes available to the caller on path's drive, at most 2147483647, or -1 when the query
// fails; the full figure goes to FreeDiskSpace.
int getFreeSpace(const char *path);

// Copies src to dst in binary; mode 1 leaves an existing dst alone, as does a src that cannot be
// read. Returns 1 when copied, else 0; "<dst>: writing error" only for a failed write or close.
int copyFile(const char *src, const char *dst, int mode);

// Closes fp (written to path): EOF without a message when the close or an earlier write of fp
// failed, else 0 while path's drive still has free space, else -1 after a "no free disk space"
// message.
int Fclose(FILE *fp, const char *path);

int isDir(const char *path);      // 1 when path names an existing directory, else 0
char *findExt(const char *path);  // last '.' after the last '\', or null
// Cuts path at the first '\' after its first wildcard; copies the head to dir and the part after
// that '\' to rest (empty when there is none). Returns 0.
int sepname(char *path, char *dir, char *rest);
// qsort comparator over pointers to records whose first member is a path: fewer '\' first, then
// StrCmp order.
int comp_file(const void *a, const void *b);

// The operating-system queries the functions above ask. Tests replace them to play a full or
// unreadable drive; every member must be set.
struct disk_ops {
    bool (*geometry)(const char *root, const char *path, disk_geometry *g);
    int (*free_space)(const char *root, const char *path, unsigned long *low, unsigned long *high);
    unsigned long (*attributes)(const char *path);
    bool (*same_file)(const char *a, const char *b);
};

// Installs ops (null restores the operating system's); returns the ones it replaces (null for
// the operating system's).
const disk_ops *set_disk_ops(const disk_ops *ops);

// Puts FreeDiskSpace and the disk queries back to their process-start values.
void file_util_reset();

}  // namespace support
