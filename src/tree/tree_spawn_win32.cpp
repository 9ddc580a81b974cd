#include "tree/tree_spawn.h"

#include <cstdio>
#include <mutex>
#include <windows.h>

namespace tree {

namespace {

struct slot_state {
    HANDLE err = INVALID_HANDLE_VALUE;  // private file (deleted on close) for the child's messages
    HANDLE out = INVALID_HANDLE_VALUE;  // read end of the running child's output pipe
    HANDLE proc = nullptr;              // the running child, or null; guarded by spawn_lock
};

std::vector<slot_state> slots;          // spawn_init: one per worker
HANDLE null_in = INVALID_HANDLE_VALUE;  // spawn_init: the null device, every child's input
// Handles are made inheritable only while one child is created under this lock, so a child never
// holds another child's pipe open (its reader would then wait for the wrong process to end).
std::mutex spawn_lock;

// One argument as the C runtime of the child splits its command line.
void append_quoted(std::string &cmd, const std::string &arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
        cmd += arg;
        return;
    }
    cmd += '"';
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            cmd.append(backslashes * 2 + 1, '\\');
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        cmd += c;
    }
    cmd.append(backslashes, '\\');
    cmd += '"';
}

std::string error_text(DWORD code) { return "Windows error " + std::to_string(code); }

}  // namespace

bool spawn_init(int count, std::string &err)
{
    slots.assign(static_cast<std::size_t>(count), slot_state());
    char dir[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir) {
        err = "cannot find the folder for temporary files";
        return false;
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        char name[MAX_PATH + 1];
        if (GetTempFileNameA(dir, "vkt", 0, name) == 0) {
            err = "cannot create a scratch file: " + error_text(GetLastError());
            return false;
        }
        slots[i].err = CreateFileA(name, GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (slots[i].err == INVALID_HANDLE_VALUE) {
            err = "cannot create a scratch file: " + error_text(GetLastError());
            DeleteFileA(name);
            return false;
        }
    }
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    null_in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                          OPEN_EXISTING, 0, nullptr);
    return true;
}

bool spawn_start(int slot, const std::string &prog, const std::vector<std::string> &argv,
                 std::string &err)
{
    slot_state &s = slots[static_cast<std::size_t>(slot)];
    SetFilePointer(s.err, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(s.err);
    HANDLE rd, wr;
    if (!CreatePipe(&rd, &wr, nullptr, 0)) {
        err = error_text(GetLastError());
        return false;
    }
    std::string cmd;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        if (i) cmd += ' ';
        append_quoted(cmd, argv[i]);
    }
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = null_in;
    si.hStdOutput = wr;
    si.hStdError = s.err;
    PROCESS_INFORMATION pi;
    BOOL ok;
    {
        std::lock_guard<std::mutex> g(spawn_lock);
        SetHandleInformation(wr, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        SetHandleInformation(s.err, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        ok = CreateProcessA(prog.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                            &pi);
        const DWORD code = GetLastError();
        SetHandleInformation(s.err, HANDLE_FLAG_INHERIT, 0);
        if (ok) {
            s.proc = pi.hProcess;
            CloseHandle(pi.hThread);
        } else {
            err = error_text(code);
        }
    }
    CloseHandle(wr);
    if (!ok) {
        CloseHandle(rd);
        return false;
    }
    s.out = rd;
    return true;
}

long spawn_read(int slot, char *buf, std::size_t n)
{
    slot_state &s = slots[static_cast<std::size_t>(slot)];
    DWORD got = 0;
    if (!ReadFile(s.out, buf, static_cast<DWORD>(n), &got, nullptr))
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    return static_cast<long>(got);
}

bool spawn_wait(int slot, spawn_end *end, std::string &msg)
{
    slot_state &s = slots[static_cast<std::size_t>(slot)];
    if (s.out != INVALID_HANDLE_VALUE) CloseHandle(s.out);
    s.out = INVALID_HANDLE_VALUE;
    msg.clear();
    if (WaitForSingleObject(s.proc, INFINITE) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    GetExitCodeProcess(s.proc, &code);
    {
        std::lock_guard<std::mutex> g(spawn_lock);
        CloseHandle(s.proc);
        s.proc = nullptr;
    }
    // Exception codes (0xC0000005 for an access violation) are how a crashed program ends.
    end->exited = code < 0xC0000000UL ? 1 : 0;
    end->status = static_cast<int>(code);
    const DWORD size = GetFileSize(s.err, nullptr);
    if (size != INVALID_FILE_SIZE && size > 0) {
        msg.resize(size);
        DWORD got = 0;
        SetFilePointer(s.err, 0, nullptr, FILE_BEGIN);
        if (!ReadFile(s.err, &msg[0], size, &got, nullptr)) got = 0;
        msg.resize(got);
    }
    return true;
}

void spawn_kill_all()
{
    std::lock_guard<std::mutex> g(spawn_lock);
    for (const slot_state &s : slots)
        if (s.proc) TerminateProcess(s.proc, 1);
}

std::string spawn_describe(const spawn_end &end)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX",
                  static_cast<unsigned long>(static_cast<DWORD>(end.status)));
    return std::string("velkrun crashed with exception ") + code;
}

void spawn_reset()
{
    std::lock_guard<std::mutex> g(spawn_lock);
    for (slot_state &s : slots) {
        if (s.err != INVALID_HANDLE_VALUE) CloseHandle(s.err);
        if (s.out != INVALID_HANDLE_VALUE) CloseHandle(s.out);
    }
    slots.clear();
    if (null_in != INVALID_HANDLE_VALUE) CloseHandle(null_in);
    null_in = INVALID_HANDLE_VALUE;
}

}  // namespace tree
