#include "tree/tree_spawn.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <mutex>
#include <windows.h>

#include "tree/tree_worker.h"

namespace tree {

namespace {

struct slot_state {
    HANDLE err = INVALID_HANDLE_VALUE;  // private file (deleted on close) for the child's messages
    HANDLE out = INVALID_HANDLE_VALUE;  // read end of the running child's output pipe
    HANDLE req = INVALID_HANDLE_VALUE;  // with workers: write end of the worker's request pipe
    HANDLE proc = nullptr;              // the running child, or null; guarded by spawn_lock
    worker_frames frames;               // with workers: the reading of the current file's answer
};

// spawn_init: one per thread of the run. Never destroyed: an interrupt that arrives as the process
// ends still reaches spawn_kill_all from the signal thread after the exit has begun.
std::vector<slot_state> &slots = *new std::vector<slot_state>;
std::string worker_prog;                // spawn_use_workers: the program started as a worker
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

// Waits for the slot's child to end, forgets it and fills *end; false when it cannot be waited
// for.
bool reap(slot_state &s, spawn_end *end)
{
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

// Ends the slot's worker (terminated when it has not ended by itself) and fills *end with how.
bool stop_worker(slot_state &s, spawn_end *end)
{
    close_handle(s.req);
    close_handle(s.out);
    {
        std::lock_guard<std::mutex> g(spawn_lock);
        if (s.proc) {
            TerminateProcess(s.proc, 0xC000013AUL);
        }
    }
    return s.proc && reap(s, end);
}

// Starts a worker in the slot. Returns true, or false with the reason in err.
bool start_worker(slot_state &s, std::string &err)
{
    HANDLE req_rd, req_wr, rep_rd, rep_wr;
    if (!CreatePipe(&req_rd, &req_wr, nullptr, 0)) {
        err = error_text(GetLastError());
        return false;
    }
    if (!CreatePipe(&rep_rd, &rep_wr, nullptr, 0)) {
        err = error_text(GetLastError());
        CloseHandle(req_rd);
        CloseHandle(req_wr);
        return false;
    }
    const bool ok = start_child(s, worker_prog, {worker_prog, WORKER_ARG}, req_rd, rep_wr, err);
    CloseHandle(req_rd);
    CloseHandle(rep_wr);
    if (!ok) {
        CloseHandle(req_wr);
        CloseHandle(rep_rd);
        return false;
    }
    s.req = req_wr;
    s.out = rep_rd;
    return true;
}

bool write_all(HANDLE h, const std::string &data)
{
    std::size_t at = 0;
    while (at < data.size()) {
        DWORD put = 0;
        if (!WriteFile(h, data.data() + at, static_cast<DWORD>(data.size() - at), &put, nullptr) ||
            put == 0) {
            return false;
        }
        at += put;
    }
    return true;
}

// Sends argv to the slot's worker, starting one when the slot has none; a worker found gone is
// replaced once. Returns true, or false with the reason in err.
bool hand_to_worker(slot_state &s, request_kind kind, const std::vector<std::string> &argv,
                    std::string &err)
{
    const std::string req = worker_request(kind, argv);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!s.proc && !start_worker(s, err)) {
            return false;
        }
        s.frames = worker_frames();
        if (write_all(s.req, req)) {
            return true;
        }
        err = error_text(GetLastError());
        spawn_end gone{1, 0};
        stop_worker(s, &gone);
    }
    return false;
}

long read_handle(void *ctx, char *buf, std::size_t n)
{
    const HANDLE h = *static_cast<const HANDLE *>(ctx);
    DWORD got = 0;
    if (!ReadFile(h, buf, static_cast<DWORD>(n), &got, nullptr)) {
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return static_cast<long>(got);
}

// What the child wrote to standard error.
void read_messages(const slot_state &s, std::string &msg)
{
    msg.clear();
    const DWORD size = GetFileSize(s.err, nullptr);
    if (size != INVALID_FILE_SIZE && size > 0) {
        msg.resize(size);
        DWORD got = 0;
        SetFilePointer(s.err, 0, nullptr, FILE_BEGIN);
        if (!ReadFile(s.err, &msg[0], size, &got, nullptr)) {
            got = 0;
        }
        msg.resize(got);
    }
}

}  // namespace

const bool spawn_text_output = true;

void spawn_use_workers(const std::string &self) { worker_prog = self; }

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
                 std::string &err, request_kind kind)
{
    slot_state &s = slots[static_cast<std::size_t>(slot)];
    SetFilePointer(s.err, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(s.err);
    if (!worker_prog.empty()) {
        return hand_to_worker(s, kind, argv, err);
    }
    HANDLE rd, wr;
    if (!CreatePipe(&rd, &wr, nullptr, 0)) {
        err = error_text(GetLastError());
        return false;
    }
    const bool ok = start_child(s, prog, argv, INVALID_HANDLE_VALUE, wr, err);
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
    if (!worker_prog.empty()) {
        return worker_read(s.frames, read_handle, &s.out, buf, n);
    }
    return read_handle(&s.out, buf, n);
}

bool spawn_wait(int slot, spawn_end *end, std::string &msg)
{
    slot_state &s = slots[static_cast<std::size_t>(slot)];
    bool waited;
    if (worker_prog.empty()) {
        close_handle(s.out);
        waited = reap(s, end);
    } else if (s.frames.ended) {
        end->exited = 1;
        end->status = s.frames.status;
        waited = true;
    } else {
        // The worker ended (or broke its answer) in the middle of the file; the next file gets a
        // new one.
        waited = stop_worker(s, end);
    }
    read_messages(s, msg);
    return waited;
}

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

void spawn_reset()
{
    for (slot_state &s : slots) {
        // A worker's requests end with its pipe; it ends by itself.
        close_handle(s.req);
        close_handle(s.out);
        spawn_end end{1, 0};
        if (s.proc) {
            reap(s, &end);
        }
        close_handle(s.err);
    }
    slots.clear();
    worker_prog.clear();
    close_handle(null_in);
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
