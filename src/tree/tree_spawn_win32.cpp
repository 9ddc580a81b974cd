#include "tree/tree_spawn_os.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <mutex>
#include <string>
#include <windows.h>

namespace tree {

namespace {

struct slot_state {
    HANDLE err = INVALID_HANDLE_VALUE;  // private file (deleted on close) for the child's messages
    HANDLE out = INVALID_HANDLE_VALUE;  // read end of the child's output pipe
    HANDLE req = INVALID_HANDLE_VALUE;  // write end of the child's request pipe
    HANDLE proc = nullptr;              // the running child, or null; guarded by spawn_lock
};

// os_slots_init: one per thread of the run. Never destroyed: an interrupt that arrives as the
// process ends still reaches spawn_kill_all from the signal thread after the exit has begun.
std::vector<slot_state> &slots = *new std::vector<slot_state>;
HANDLE null_in = INVALID_HANDLE_VALUE;  // os_slots_init: the null device, every child's input
// Handles are made inheritable only while one child is created under this lock, so a child never
// holds another child's pipe open (its reader would then wait for the wrong process to end).
std::mutex spawn_lock;

slot_state &slot_of(int slot) { return slots[static_cast<std::size_t>(slot)]; }

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

void close_handle(HANDLE &h)
{
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
    }
    h = INVALID_HANDLE_VALUE;
}

// Starts prog with argv, its standard input in (the null device when invalid), standard output
// out, standard error the slot's file. Returns true, or false with the reason in err.
bool start_child(slot_state &s, const std::string &prog, const std::vector<std::string> &argv,
                 HANDLE in, HANDLE out, std::string &err)
{
    std::string cmd;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        if (i) {
            cmd += ' ';
        }
        append_quoted(cmd, argv[i]);
    }
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in != INVALID_HANDLE_VALUE ? in : null_in;
    si.hStdOutput = out;
    si.hStdError = s.err;
    PROCESS_INFORMATION pi;
    BOOL ok;
    std::lock_guard<std::mutex> g(spawn_lock);
    SetHandleInformation(out, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    SetHandleInformation(s.err, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    if (in != INVALID_HANDLE_VALUE) {
        SetHandleInformation(in, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    ok = CreateProcessA(prog.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi);
    const DWORD code = GetLastError();
    // No later child may hold these open: a reader would then wait for the wrong process to end.
    SetHandleInformation(s.err, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(out, HANDLE_FLAG_INHERIT, 0);
    if (in != INVALID_HANDLE_VALUE) {
        SetHandleInformation(in, HANDLE_FLAG_INHERIT, 0);
    }
    if (!ok) {
        err = error_text(code);
        return false;
    }
    s.proc = pi.hProcess;
    CloseHandle(pi.hThread);
    return true;
}

// Waits for the slot's child to end (terminated first with kill), forgets it and fills *end; false
// when it cannot be waited for.
bool reap(slot_state &s, bool kill, spawn_end *end)
{
    if (kill) {
        TerminateProcess(s.proc, 0xC000013AUL);  // only this thread closes the handle
    }
    if (WaitForSingleObject(s.proc, INFINITE) != WAIT_OBJECT_0) {
        return false;
    }
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
    return true;
}

}  // namespace

bool os_slots_init(int count, std::string &err)
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

bool os_start(int slot, const std::string &prog, const std::vector<std::string> &argv,
              bool requests, std::string &err)
{
    slot_state &s = slot_of(slot);
    HANDLE req_rd = INVALID_HANDLE_VALUE, req_wr = INVALID_HANDLE_VALUE, out_rd, out_wr;
    if (requests && !CreatePipe(&req_rd, &req_wr, nullptr, 0)) {
        err = error_text(GetLastError());
        return false;
    }
    if (!CreatePipe(&out_rd, &out_wr, nullptr, 0)) {
        err = error_text(GetLastError());
        close_handle(req_rd);
        close_handle(req_wr);
        return false;
    }
    const bool ok = start_child(s, prog, argv, req_rd, out_wr, err);
    close_handle(req_rd);
    close_handle(out_wr);
    if (!ok) {
        close_handle(req_wr);
        close_handle(out_rd);
        return false;
    }
    s.req = req_wr;
    s.out = out_rd;
    return true;
}

bool os_running(int slot) { return slot_of(slot).proc != nullptr; }

bool os_send(int slot, const std::string &data, std::string &err)
{
    const HANDLE h = slot_of(slot).req;
    std::size_t at = 0;
    while (at < data.size()) {
        DWORD put = 0;
        if (!WriteFile(h, data.data() + at, static_cast<DWORD>(data.size() - at), &put, nullptr) ||
            put == 0) {
            err = error_text(GetLastError());
            return false;
        }
        at += put;
    }
    return true;
}

long os_read(void *ctx, char *buf, std::size_t n)
{
    const HANDLE h = slot_of(*static_cast<const int *>(ctx)).out;
    DWORD got = 0;
    if (!ReadFile(h, buf, static_cast<DWORD>(n), &got, nullptr)) {
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return static_cast<long>(got);
}

void os_close_pipes(int slot)
{
    slot_state &s = slot_of(slot);
    close_handle(s.req);
    close_handle(s.out);
}

bool os_reap(int slot, bool kill, spawn_end *end) { return reap(slot_of(slot), kill, end); }

bool os_clear_messages(int slot, std::string &err)
{
    const HANDLE h = slot_of(slot).err;
    if (SetFilePointer(h, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER || !SetEndOfFile(h)) {
        err = error_text(GetLastError());
        return false;
    }
    return true;
}

void os_read_messages(int slot, long size, std::string &msg)
{
    const HANDLE h = slot_of(slot).err;
    if (size < 0) {
        const DWORD all = GetFileSize(h, nullptr);
        size = all != INVALID_FILE_SIZE ? static_cast<long>(all) : 0;
    }
    msg.resize(static_cast<std::size_t>(size));
    DWORD got = 0;
    if (size > 0 && (SetFilePointer(h, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
                     !ReadFile(h, &msg[0], static_cast<DWORD>(size), &got, nullptr))) {
        got = 0;
    }
    msg.resize(got);
}

void os_slots_release()
{
    for (slot_state &s : slots) {
        close_handle(s.err);
    }
    close_handle(null_in);
    std::lock_guard<std::mutex> g(spawn_lock);
    slots.clear();
}

const bool spawn_text_output = true;

void spawn_kill_all()
{
    std::lock_guard<std::mutex> g(spawn_lock);
    for (const slot_state &s : slots) {
        if (s.proc) {
            TerminateProcess(s.proc, 1);
        }
    }
}

std::string spawn_describe(const spawn_end &end)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX",
                  static_cast<unsigned long>(static_cast<DWORD>(end.status)));
    return std::string("velkrun crashed with exception ") + code;
}

bool spawn_worker_channels(FILE **requests, FILE **replies)
{
    _setmode(_fileno(stdin), _O_BINARY);
    const int reply_fd = _dup(_fileno(stdout));
    if (reply_fd < 0) {
        return false;
    }
    _setmode(reply_fd, _O_BINARY);
    *requests = stdin;
    *replies = _fdopen(reply_fd, "wb");
    return *replies != nullptr && std::freopen("NUL", "w", stdout) != nullptr;
}

void spawn_die()
{
    TerminateProcess(GetCurrentProcess(), 0xC000013AUL);
    std::_Exit(1);
}

}  // namespace tree
