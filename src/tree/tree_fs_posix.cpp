#include "tree/tree_fs.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace tree {

namespace {

fs_kind kind_of_mode(mode_t m)
{
    if (S_ISLNK(m)) {
        return fs_kind::link;
    }
    if (S_ISREG(m)) {
        return fs_kind::file;
    }
    if (S_ISDIR(m)) {
        return fs_kind::folder;
    }
    return fs_kind::other;
}

std::string folder_of(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

// Copies every byte of the open file in to the open file out; false on a read or write error.
bool copy_fd(int in, int out)
{
    char buf[65536];
    for (;;) {
        const ssize_t n = read(in, buf, sizeof buf);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out, buf + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            done += w;
        }
    }
}

fs_ident ident_of_stat(const struct stat &st)
{
    fs_ident id;
    id.dev = static_cast<unsigned long long>(st.st_dev);
    id.ino = static_cast<unsigned long long>(st.st_ino);
    id.size = static_cast<unsigned long long>(st.st_size);
    id.mtime = static_cast<unsigned long long>(st.st_mtim.tv_sec);
    id.mtime_frac = static_cast<unsigned long>(st.st_mtim.tv_nsec);
    return id;
}

// The identity of an open file; false with errno set.
bool ident_of_fd(int fd, fs_ident &id)
{
    struct stat st;
    if (fstat(fd, &st) != 0) {
        return false;
    }
    id = ident_of_stat(st);
    return true;
}

// Copies orig, open as in, to a new file bak created exclusively, with orig's mode and times.
fs_step copy_backup(int in, const std::string &bak, const fs_ident &id, fs_ident *made,
                    std::string &err)
{
    struct stat st;
    if (fstat(in, &st) != 0) {
        err = std::strerror(errno);
        return fs_step::failed;
    }
    if (!fs_same_state(ident_of_stat(st), id)) {
        return fs_step::changed;
    }
    const int out = open(bak.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        if (errno == EEXIST) {
            return fs_step::exists;
        }
        err = std::strerror(errno);
        return fs_step::failed;
    }
    bool ok = copy_fd(in, out);
    if (ok) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ok = fchmod(out, st.st_mode & 07777) == 0 && futimens(out, times) == 0 &&
             ident_of_fd(out, *made);
    }
    if (!ok) {
        err = std::strerror(errno);
    }
    if (close(out) != 0 && ok) {
        err = std::strerror(errno);
        ok = false;
    }
    // An edit written into the file while it was copied makes the copy neither old nor new.
    fs_ident after;
    const bool same = ok && ident_of_fd(in, after) && fs_same_state(after, id);
    if (!same) {
        unlink(bak.c_str());
    }
    if (!ok) {
        return fs_step::failed;
    }
    return same ? fs_step::done : fs_step::changed;
}

}  // namespace

bool fs_identify(const std::string &path, fs_ident &id, std::string &err)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        err = std::strerror(errno);
        return false;
    }
    id = ident_of_stat(st);
    return true;
}

std::string fs_link_target(const std::string &path)
{
    char *real = realpath(path.c_str(), nullptr);
    if (!real) {
        return std::string();
    }
    std::string target = real;
    std::free(real);
    return target;
}

fs_kind fs_lkind(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return fs_kind::missing;
    }
    return kind_of_mode(st.st_mode);
}

fs_kind fs_kind_of(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return fs_kind::missing;
    }
    return kind_of_mode(st.st_mode);
}

bool fs_list(const std::string &folder, std::vector<fs_entry> &out, std::string &err)
{
    DIR *d = opendir(folder.c_str());
    if (!d) {
        err = std::strerror(errno);
        return false;
    }
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    errno = 0;
    while (struct dirent *e = readdir(d)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) {
            continue;
        }
        fs_kind k = fs_kind::other;
        switch (e->d_type) {
        case DT_REG:
            k = fs_kind::file;
            break;
        case DT_DIR:
            k = fs_kind::folder;
            break;
        case DT_LNK:
            k = fs_kind::link;
            break;
        case DT_UNKNOWN:
            k = fs_lkind(prefix + n);
            break;
        default:
            break;
        }
        out.push_back(fs_entry{n, k});
        errno = 0;
    }
    const int read_errno = errno;
    closedir(d);
    if (read_errno != 0) {
        err = std::strerror(read_errno);
        return false;
    }
    return true;
}

FILE *fs_open_read(const std::string &path, std::string &err, fs_ident *id)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    FILE *f = fd < 0 || (id && !ident_of_fd(fd, *id)) ? nullptr : fdopen(fd, "rb");
    if (!f) {
        err = std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
    }
    return f;
}

FILE *fs_create_temp(const std::string &path, std::string &tmp_path, std::string &err)
{
    std::string name = folder_of(path) + "/.velkrun-tree.XXXXXX";
    const int fd = mkostemp(&name[0], O_CLOEXEC);
    if (fd < 0) {
        err = std::strerror(errno);
        return nullptr;
    }
    FILE *f = fdopen(fd, "wb");
    if (!f) {
        err = std::strerror(errno);
        close(fd);
        unlink(name.c_str());
        return nullptr;
    }
    tmp_path = name;
    return f;
}

bool fs_read_only(const std::string &path)
{
    struct stat st;
    if (access(path.c_str(), W_OK) != 0) {
        return true;
    }
    return stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

bool fs_copy_mode(FILE *tmp, const std::string &orig, std::string &err)
{
    struct stat st;
    const int fd = fileno(tmp);
    if (stat(orig.c_str(), &st) != 0) {
        err = std::strerror(errno);
        return false;
    }
    // Keeping the owner only works for a privileged user or within one's own groups; the mode
    // is set afterwards, as a change of owner may clear its set-id bits.
    if (fchown(fd, st.st_uid, st.st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
        errno = 0;  // the new file keeps the caller's owner or group, which is harmless
    }
    if (fchmod(fd, st.st_mode & 07777) != 0) {
        err = std::strerror(errno);
        return false;
    }
    return true;
}

fs_step fs_backup(const std::string &orig, const std::string &bak, const fs_ident &id,
                  fs_ident *made, std::string &err)
{
    // A hard link keeps the original bytes, mode and times without copying, and like the copy
    // below it never replaces a name that exists.
    if (link(orig.c_str(), bak.c_str()) == 0) {
        fs_ident now;
        if (fs_identify(bak, now, err) && fs_same_state(now, id)) {
            *made = now;
            return fs_step::done;
        }
        unlink(bak.c_str());  // orig was replaced or written since the check
        return fs_step::changed;
    }
    if (errno == EEXIST) {
        return fs_step::exists;
    }
    const int in = open(orig.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        err = std::strerror(errno);
        return errno == ENOENT ? fs_step::changed : fs_step::failed;
    }
    const fs_step step = copy_backup(in, bak, id, made, err);
    close(in);
    return step;
}

fs_step fs_replace(const std::string &from, const std::string &to, const fs_ident &id,
                   std::string &err)
{
#ifdef RENAME_EXCHANGE
    // Swapping the two names first and then looking at the file that comes out leaves no instant
    // in which an edit saved by rename could be lost: the check is made on the very file that
    // leaves its place. Only an edit written into that file between the check and its removal
    // is left to chance.
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
        if (fs_unchanged(from, id)) {
            unlink(from.c_str());
            return fs_step::done;
        }
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) != 0 &&
            rename(from.c_str(), to.c_str()) != 0) {
            err = std::string(std::strerror(errno)) + "; the file as it is now is kept as " + from;
            return fs_step::failed;
        }
        return fs_step::changed;
    }
    // Not every file system swaps names; those fall back to a check right before the rename.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        err = std::strerror(errno);
        return errno == ENOENT && access(from.c_str(), F_OK) == 0 ? fs_step::changed
                                                                  : fs_step::failed;
    }
#endif
    if (!fs_unchanged(to, id)) {
        return fs_step::changed;
    }
    if (rename(from.c_str(), to.c_str()) == 0) {
        return fs_step::done;
    }
    err = std::strerror(errno);
    return fs_step::failed;
}

void fs_remove(const std::string &path) { unlink(path.c_str()); }

std::string fs_self_program(const char *argv0)
{
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        return std::string(buf, static_cast<std::size_t>(n));
    }
    return fs_find_program(argv0 ? argv0 : "");
}

std::string fs_find_program(const std::string &name)
{
    struct stat st;
    const auto runnable = [&st](const std::string &p) {
        return stat(p.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && access(p.c_str(), X_OK) == 0;
    };
    if (name.empty()) {
        return std::string();
    }
    if (name.find('/') != std::string::npos) {
        return runnable(name) ? name : std::string();
    }
    const char *path = std::getenv("PATH");
    std::string list = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = list.find(':', start);
        std::string dir =
            list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (dir.empty()) {
            dir = ".";
        }
        const std::string cand = dir + "/" + name;
        if (runnable(cand)) {
            return cand;
        }
        if (colon == std::string::npos) {
            return std::string();
        }
        start = colon + 1;
    }
}

void fs_stdout_binary() {}

bool fs_stderr_is_terminal() { return isatty(2) == 1; }

int fs_processors()
{
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n < 1024 ? n : 1024) : 1;
}

std::string fs_empty_input(std::string &) { return "/dev/null"; }

void fs_empty_input_done(const std::string &) {}

}  // namespace tree
