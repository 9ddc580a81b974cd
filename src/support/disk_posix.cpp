// POSIX answers: there are no drives, so "the drive of a path" is the file system that holds the
// path, or its nearest existing parent folder. A drive root such as "C:\" means nothing here and
// is ignored; a path is queried as written.
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <string>

#include "support/disk_query.h"

namespace support {

// statvfs of path or, while the path does not exist, of its nearest existing parent folder.
static bool fs_stat(const char *path, struct statvfs *st)
{
    std::string probe = *path ? path : ".";
    for (;;) {
        if (statvfs(probe.c_str(), st) == 0) {
            return true;
        }
        if ((errno != ENOENT && errno != ENOTDIR) || probe == "." || probe == "/") {
            return false;  // no parent left to try (the current folder itself may be gone)
        }
        std::string::size_type slash = probe.find_last_not_of('/');
        slash = slash == std::string::npos ? 0 : probe.rfind('/', slash);
        if (slash == std::string::npos) {
            probe = ".";
        } else if (slash == 0) {
            probe = "/";
        } else {
            probe.erase(slash);
        }
    }
}

// The counts are 32-bit on the drive interface; larger ones stand at the 32-bit maximum.
static unsigned long clamp32(unsigned long long v) { return v > 0xFFFFFFFFULL ? 0xFFFFFFFFUL : v; }

bool disk_geometry_query(const char * /*root*/, const char *path, disk_geometry *g)
{
    struct statvfs st;
    if (!fs_stat(path, &st)) {
        return false;
    }
    // A fragment is the allocation unit, so it serves as the cluster: one "sector" per cluster.
    g->sectors_per_cluster = 1;
    g->bytes_per_sector = clamp32(st.f_frsize ? st.f_frsize : st.f_bsize);
    g->free_clusters = clamp32(st.f_bavail);
    g->total_clusters = clamp32(st.f_blocks);
    return true;
}

int disk_free_query(const char * /*root*/, const char *path, unsigned long *low,
                    unsigned long *high)
{
    struct statvfs st;
    if (!fs_stat(path, &st)) {
        return 0;
    }
    unsigned long long frag = st.f_frsize ? st.f_frsize : st.f_bsize;
    unsigned long long bytes = static_cast<unsigned long long>(st.f_bavail) * frag;
    *low = static_cast<unsigned long>(bytes & 0xFFFFFFFFULL);
    *high = static_cast<unsigned long>(bytes >> 32);
    return 1;
}

unsigned long disk_attributes(const char *path)
{
    struct stat st;
    if (stat(path, &st) != 0) {
        return disk_attr_missing;
    }
    // Windows reports a plain file as "normal" (0x80).
    return S_ISDIR(st.st_mode) ? disk_attr_directory : 0x80;
}

bool disk_same_file(const char *a, const char *b)
{
    struct stat sa;
    struct stat sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace support
