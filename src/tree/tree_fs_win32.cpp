#include "tree/tree_fs.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace tree {

namespace {

std::string last_error_text(DWORD code)
{
    char buf[512];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, buf, sizeof buf, nullptr);
    std::string s(buf, n);
    while (!s.empty() &&
           (s.back() == '\n' || s.back() == '\r' || s.back() == '.' || s.back() == ' ')) {
        s.pop_back();
    }
    return s.empty() ? "error " + std::to_string(code) : s;
}

fs_kind kind_of_attr(DWORD a)
{
    if (a == INVALID_FILE_ATTRIBUTES) {
        return fs_kind::missing;
    }
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
        return fs_kind::link;
    }
    if (a & FILE_ATTRIBUTE_DIRECTORY) {
        return fs_kind::folder;
    }
    return fs_kind::file;
}

std::string folder_of(const std::string &path)
{
    const std::size_t sep = path.find_last_of("/\\");
    if (sep == std::string::npos) {
        return ".";
    }
    return path.substr(0, sep + 1);
}

// The identity of an open file; false with the reason in err.
bool ident_of_handle(HANDLE h, fs_ident &id, std::string &err)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) {
        err = last_error_text(GetLastError());
        return false;
    }
    id.dev = info.dwVolumeSerialNumber;
    id.ino = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    id.size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    id.mtime = (static_cast<unsigned long long>(info.ftLastWriteTime.dwHighDateTime) << 32) |
               info.ftLastWriteTime.dwLowDateTime;
    id.mtime_frac = 0;
    return true;
}

// Opens path (its target, for a link) to ask about it, sharing it with every other user.
HANDLE open_to_ask(const std::string &path)
{
    return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

bool fs_identify(const std::string &path, fs_ident &id, std::string &err)
{
    HANDLE h = open_to_ask(path);
    if (h == INVALID_HANDLE_VALUE) {
        err = last_error_text(GetLastError());
        return false;
    }
    const bool ok = ident_of_handle(h, id, err);
    CloseHandle(h);
    return ok;
}

std::string fs_link_target(const std::string &path)
{
    HANDLE h = open_to_ask(path);
    if (h == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    char buf[MAX_PATH + 8];
    const DWORD n = GetFinalPathNameByHandleA(h, buf, sizeof buf, FILE_NAME_NORMALIZED);
    CloseHandle(h);
    if (n == 0 || n >= sizeof buf) {
        return std::string();
    }
    std::string target(buf, n);
    if (target.compare(0, 4, "\\\\?\\") == 0) {
        target.erase(0, 4);
    }
    return target;
}

fs_kind fs_lkind(const std::string &path) { return kind_of_attr(GetFileAttributesA(path.c_str())); }

fs_kind fs_kind_of(const std::string &path)
{
    const DWORD a = GetFileAttributesA(path.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // Follow the link by opening what it points to.
        HANDLE h =
            CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return fs_kind::missing;
        }
        BY_HANDLE_FILE_INFORMATION info;
        const BOOL ok = GetFileInformationByHandle(h, &info);
        CloseHandle(h);
        if (!ok) {
            return fs_kind::missing;
        }
        return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? fs_kind::folder : fs_kind::file;
    }
    return kind_of_attr(a);
}

bool fs_list(const std::string &folder, std::vector<fs_entry> &out, std::string &err)
{
    const char last = folder.empty() ? '/' : folder.back();
    const std::string pattern = folder + (last == '/' || last == '\\' ? "*" : "/*");
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) {
            return true;
        }
        err = last_error_text(code);
        return false;
    }
    do {
        const char *n = fd.cFileName;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) {
            continue;
        }
        out.push_back(fs_entry{n, kind_of_attr(fd.dwFileAttributes)});
    } while (FindNextFileA(h, &fd));
    const DWORD code = GetLastError();
    FindClose(h);
    if (code != ERROR_NO_MORE_FILES) {
        err = last_error_text(code);
        return false;
    }
    return true;
}

FILE *fs_open_read(const std::string &path, std::string &err, fs_ident *id)
{
    // Shared for deletion, so that reading a file never keeps another run from replacing it;
    // not inherited, as a child holding it open would.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        err = last_error_text(GetLastError());
        return nullptr;
    }
    if (id && !ident_of_handle(h, *id, err)) {
        CloseHandle(h);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        err = "cannot open the file";
        return nullptr;
    }
    FILE *f = _fdopen(fd, "rb");
    if (!f) {
        _close(fd);
        err = "cannot open the file";
    }
    return f;
}

FILE *fs_create_temp(const std::string &path, std::string &tmp_path, std::string &err)
{
    static const char digits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned long long seed =
        GetTickCount64() ^ (static_cast<unsigned long long>(GetCurrentThreadId()) << 32);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder_of(path);
        if (name == ".") {
            name += "/";
        }
        name += ".velkrun-tree.";
        for (int i = 0; i < 6; ++i) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            name += digits[(seed >> 33) % (sizeof digits - 1)];
        }
        const int fd =
            _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            err = std::strerror(errno);
            return nullptr;
        }
        FILE *f = _fdopen(fd, "wb");
        if (!f) {
            _close(fd);
            DeleteFileA(name.c_str());
            err = "cannot open the temporary file";
            return nullptr;
        }
        tmp_path = name;
        return f;
    }
    err = "no free temporary file name";
    return nullptr;
}

bool fs_read_only(const std::string &path)
{
    const DWORD a = GetFileAttributesA(path.c_str());
    return a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_READONLY) != 0;
}

bool fs_copy_mode(FILE *, const std::string &, std::string &) { return true; }

fs_step fs_backup(const std::string &orig, const std::string &bak, const fs_ident &id,
                  fs_ident *made, std::string &err)
{
    if (!fs_unchanged(orig, id)) {
        return fs_step::changed;
    }
    // A copy, not a hard link: a link shares the file's sharing state, so it could not be
    // removed again (fs_backup_undo) while another program holds the file open. The copy fails
    // when bak names anything already: a backup never replaces a file.
    if (!CopyFileA(orig.c_str(), bak.c_str(), TRUE)) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) {
            return fs_step::exists;
        }
        err = last_error_text(code);
        return fs_step::failed;
    }
    // An edit saved while the backup was made leaves it neither old nor new.
    if (!fs_identify(bak, *made, err) || !fs_unchanged(orig, id)) {
        DeleteFileA(bak.c_str());
        return fs_step::changed;
    }
    return fs_step::done;
}

fs_step fs_replace(const std::string &from, const std::string &to, const fs_ident &id,
                   std::string &err)
{
    // Windows has no way to swap two names; the check comes right before the move.
    if (!fs_unchanged(to, id)) {
        return fs_step::changed;
    }
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return fs_step::done;
    }
    err = last_error_text(GetLastError());
    return fs_step::failed;
}

void fs_remove(const std::string &path) { DeleteFileA(path.c_str()); }

std::string fs_self_program(const char *)
{
    char buf[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) {
        return std::string();
    }
    return std::string(buf, n);
}

std::string fs_find_program(const std::string &name)
{
    if (name.empty()) {
        return std::string();
    }
    const auto runnable = [](const std::string &p) {
        const DWORD a = GetFileAttributesA(p.c_str());
        return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
    };
    if (name.find_first_of("/\\:") != std::string::npos) {
        if (runnable(name)) {
            return name;
        }
        return runnable(name + ".exe") ? name + ".exe" : std::string();
    }
    char buf[MAX_PATH + 1];
    const DWORD n = SearchPathA(nullptr, name.c_str(), ".exe", sizeof buf, buf, nullptr);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

void fs_stdout_binary()
{
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

bool fs_stderr_is_terminal()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int fs_processors()
{
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const int n = static_cast<int>(si.dwNumberOfProcessors);
    return n < 1 ? 1 : n > 1024 ? 1024 : n;
}

std::string fs_empty_input(std::string &err)
{
    char dir[MAX_PATH + 1], name[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir || GetTempFileNameA(dir, "vkt", 0, name) == 0) {
        err = last_error_text(GetLastError());
        return std::string();
    }
    return name;
}

void fs_empty_input_done(const std::string &path) { DeleteFileA(path.c_str()); }

}  // namespace tree
