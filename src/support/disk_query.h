// The operating-system questions the file utilities ask about drives and files. One source per
// platform answers them: Windows asks the drive root, POSIX the file system holding the path.
#pragma once

namespace support {

// What the drive geometry query reports.
struct disk_geometry {
    unsigned long sectors_per_cluster;
    unsigned long bytes_per_sector;
    unsigned long free_clusters;
    unsigned long total_clusters;
};

// The attribute bit of a directory, and the value for a path that does not exist.
constexpr unsigned long disk_attr_directory = 0x10;
constexpr unsigned long disk_attr_missing = 0xFFFFFFFFUL;

// Fills g for the drive of root (Windows) or of path (POSIX); returns false when the drive
// cannot be queried.
bool disk_geometry_query(const char *root, const char *path, disk_geometry *g);

// Free bytes available to the caller on the drive of root (Windows) or path (POSIX), as two
// unsigned 32-bit halves. Returns 1 on success, 0 when the query fails and -1 when the system has
// no 64-bit free-space query (the caller then falls back to the geometry).
int disk_free_query(const char *root, const char *path, unsigned long *low, unsigned long *high);

// The attribute bits of path, disk_attr_missing when it does not exist or cannot be asked about.
unsigned long disk_attributes(const char *path);

// True when both paths name one existing file (so copying one onto the other would empty it).
bool disk_same_file(const char *a, const char *b);

}  // namespace support
