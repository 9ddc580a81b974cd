#include "support/file_util.h"

#include <climits>
#include <cstring>

#include "support/mem_block.h"
#include "support/message.h"
#include "support/sj_string.h"
#include "support/text_cmp.h"

namespace support {

double FreeDiskSpace;  // set by getFreeSpace: free bytes of the last drive asked, -1.0 on failure

static const disk_ops os_disk = {disk_geometry_query, disk_free_query, disk_attributes,
                                 disk_same_file};
static const disk_ops *disk = &os_disk;  // set by tests through set_disk_ops; the system's else

// The drive root of a path: "X:\" for a path that starts with a drive letter, else "\" (the
// current drive; network paths included).
static void drive_root(const char *path, char root[4])
{
    if (path[0] && path[1] == ':') {
        root[0] = path[0];
        root[1] = ':';
        root[2] = '\\';
        root[3] = '\0';
    } else {
        root[0] = '\\';
        root[1] = '\0';
    }
}

int getClusterSize(const char *path)
{
    char root[4];
    drive_root(path, root);
    disk_geometry g;
    if (!disk->geometry(root, path, &g)) {
        return 0;
    }
    unsigned long long size =
        static_cast<unsigned long long>(g.bytes_per_sector) * g.sectors_per_cluster;
    return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

int getFreeSpace(const char *path)
{
    char root[4];
    drive_root(path, root);
    unsigned long low = 0;
    unsigned long high = 0;
    int found = disk->free_space(root, path, &low, &high);
    if (found > 0) {
        FreeDiskSpace = static_cast<double>(high & 0xFFFFFFFFUL) * 4294967296.0 +
                        static_cast<double>(low & 0xFFFFFFFFUL);
    } else if (found == 0) {
        FreeDiskSpace = -1.0;
    } else {
        // No 64-bit query: the geometry's product, taken wide so a large drive cannot wrap into
        // a negative figure that would read as a full disk.
        disk_geometry g;
        FreeDiskSpace = disk->geometry(root, path, &g)
                            ? static_cast<double>(g.free_clusters) * g.sectors_per_cluster *
                                  static_cast<double>(g.bytes_per_sector)
                            : -1.0;
    }
    if (FreeDiskSpace > 2147483647.0) {
        return INT_MAX;
    }
    return static_cast<int>(FreeDiskSpace);
}

int Fclose(FILE *fp, const char *path)
{
    // A write that already failed (an earlier flush) has lost data even if the close succeeds.
    bool write_failed = std::ferror(fp) != 0;
    int closed = std::fclose(fp);
    if (closed != 0) {
        return closed;
    }
    if (write_failed) {
        return EOF;
    }
    // A write that filled the drive to the last byte succeeds, yet the next one will not.
    if (getFreeSpace(path) > 0) {
        return 0;
    }
    if (path[0] && path[1] == ':') {
        errmsg("%c drive: no free disk space\n", static_cast<unsigned char>(path[0]));
    } else {
        errmsg("no free disk space\n");
    }
    return -1;
}

int copyFile(const char *src, const char *dst, int mode)
{
    if (mode == 1) {
        FILE *existing = std::fopen(dst, "rb");
        if (existing) {
            std::fclose(existing);
            return 0;
        }
    }
    // Opening the destination empties it, so everything that can still fail without a message
    // is settled first: a copy onto itself, an unreadable source, a buffer that cannot be had.
    if (disk->same_file(src, dst)) {
        return 0;
    }
    FILE *in = std::fopen(src, "rb");
    if (!in) {
        return 0;
    }
    int size = getClusterSize(dst);
    if (size <= 0) {
        size = 1024;
    }
    char *buf = static_cast<char *>(getmem(size));
    if (!buf) {
        std::fclose(in);
        return 0;
    }
    // Opening a folder for reading succeeds on POSIX and only its read fails, so the source
    // proves readable by giving its first block before the destination is emptied.
    std::size_t got = std::fread(buf, 1, static_cast<std::size_t>(size), in);
    if (got == 0 && std::ferror(in)) {
        std::fclose(in);
        freemem(buf);
        return 0;
    }
    FILE *out = std::fopen(dst, "wb");
    if (!out) {
        std::fclose(in);
        freemem(buf);
        return 0;
    }
    for (; got > 0; got = std::fread(buf, 1, static_cast<std::size_t>(size), in)) {
        if (std::fwrite(buf, 1, got, out) < got) {
            errmsg("%s: writing error\n", dst);
            Fclose(out, dst);
            std::fclose(in);
            freemem(buf);
            return 0;
        }
    }
    // A source that could not be read to its end is not a copy, even though all it gave is out.
    bool read_failed = std::ferror(in) != 0;
    std::fclose(in);
    freemem(buf);
    if (read_failed) {
        std::fclose(out);
        return 0;
    }
    if (Fclose(out, dst) != 0) {
        errmsg("%s: writing error\n", dst);
        return 0;
    }
    return 1;
}

int isDir(const char *path)
{
    unsigned long attr = disk->attributes(path);
    return attr != disk_attr_missing && (attr & disk_attr_directory) ? 1 : 0;
}

char *findExt(const char *path)
{
    const char *sep = Strrchr(path, '\\');
    return const_cast<char *>(std::strrchr(sep ? sep + 1 : path, '.'));
}

int sepname(char *path, char *dir, char *rest)
{
    rest[0] = '\0';
    char *wild = srch_wild(path);
    char *sep = Strchr(wild ? wild : path + std::strlen(path), '\\');
    const char *tail = "";
    if (sep) {
        *sep = '\0';
        tail = sep + 1;
    }
    std::memmove(dir, path, std::strlen(path) + 1);
    std::memmove(rest, tail, std::strlen(tail) + 1);
    return 0;
}

// Backslashes of a path, not counting a second byte of a two-byte character.
static int depth(const char *path)
{
    int count = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(path); *p; ++p) {
        if (is_sj_lead(*p) && p[1]) {
            ++p;
        } else if (*p == '\\') {
            ++count;
        }
    }
    return count;
}

int comp_file(const void *a, const void *b)
{
    const char *pa = **static_cast<const char *const *const *>(a);
    const char *pb = **static_cast<const char *const *const *>(b);
    int da = depth(pa);
    int db = depth(pb);
    if (da != db) {
        return da < db ? -1 : 1;
    }
    return StrCmp(pa, pb);
}

const disk_ops *set_disk_ops(const disk_ops *ops)
{
    const disk_ops *old = disk;
    disk = ops ? ops : &os_disk;
    return old == &os_disk ? nullptr : old;
}

void file_util_reset()
{
    FreeDiskSpace = 0.0;
    disk = &os_disk;
}

}  // namespace support
