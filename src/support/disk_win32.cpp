// Windows answers, from the drive root ("C:\" or "\") the file utilities build.
#include <windows.h>

#include "support/disk_query.h"

namespace support {

bool disk_geometry_query(const char *root, const char * /*path*/, disk_geometry *g)
{
    DWORD sectors = 0;
    DWORD bytes = 0;
    DWORD free_clusters = 0;
    DWORD total_clusters = 0;
    if (!GetDiskFreeSpaceA(root, &sectors, &bytes, &free_clusters, &total_clusters)) {
        return false;
    }
    g->sectors_per_cluster = sectors;
    g->bytes_per_sector = bytes;
    g->free_clusters = free_clusters;
    g->total_clusters = total_clusters;
    return true;
}

using free_space_ex_fn = BOOL(WINAPI *)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

int disk_free_query(const char *root, const char * /*path*/, unsigned long *low,
                    unsigned long *high)
{
    // Early Windows 95 lacks the 64-bit query, so it is looked up by name at each call.
    HMODULE kernel = LoadLibraryA("KERNEL32.DLL");
    if (!kernel) {
        return -1;
    }
    FARPROC proc = GetProcAddress(kernel, "GetDiskFreeSpaceExA");
    int result = -1;
    if (proc) {
        // Through void (*)(void), the one function type every other converts to silently.
        free_space_ex_fn query =
            reinterpret_cast<free_space_ex_fn>(reinterpret_cast<void (*)(void)>(proc));
        ULARGE_INTEGER avail;
        ULARGE_INTEGER total;
        ULARGE_INTEGER total_free;
        result = 0;
        if (query(root, &avail, &total, &total_free)) {
            *low = avail.LowPart;
            *high = avail.HighPart;
            result = 1;
        }
    }
    FreeLibrary(kernel);
    return result;
}

unsigned long disk_attributes(const char *path)
{
    DWORD attr = GetFileAttributesA(path);
    return attr == INVALID_FILE_ATTRIBUTES ? disk_attr_missing : attr;
}

// Opens path only to ask for its identity; no access rights are needed for that.
static bool file_identity(const char *path, BY_HANDLE_FILE_INFORMATION *info)
{
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    BOOL ok = GetFileInformationByHandle(h, info);
    CloseHandle(h);
    return ok != 0;
}

bool disk_same_file(const char *a, const char *b)
{
    BY_HANDLE_FILE_INFORMATION ia;
    BY_HANDLE_FILE_INFORMATION ib;
    return file_identity(a, &ia) && file_identity(b, &ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace support
