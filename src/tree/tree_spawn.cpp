#include "tree/tree_spawn.h"

#include "tree/tree_spawn_os.h"
#include "tree/tree_worker.h"

namespace tree {

namespace {

struct slot_state {
    worker_frames frames;        // with workers: the reading of the worker's answers
    bool messages_left = false;  // the slot's file may hold the last child's messages
};

// spawn_init: one per thread of the run. Never destroyed, as the slots of the system layer.
std::vector<slot_state> &slots = *new std::vector<slot_state>;
std::string worker_prog;  // spawn_use_workers: the program started as a worker, or empty

// Ends the slot's worker (killed when it has not ended by itself) and fills *end with how.
bool stop_worker(int slot, spawn_end *end)
{
    os_close_pipes(slot);
    slots[static_cast<std::size_t>(slot)].frames = worker_frames();
    return os_running(slot) && os_reap(slot, true, end);
}

// Sends argv to the slot's worker, starting one when the slot has none; a worker found gone is
// replaced once. Returns true, or false with the reason in err.
bool hand_to_worker(int slot, request_kind kind, const std::vector<std::string> &argv,
                    std::string &err)
{
    slot_state &s = slots[static_cast<std::size_t>(slot)];
    const std::string req = worker_request(kind, argv);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!os_running(slot) &&
            !os_start(slot, worker_prog, {worker_prog, WORKER_ARG}, true, err)) {
            return false;
        }
        worker_next(s.frames);
        if (os_send(slot, req, err)) {
            return true;
        }
        spawn_end gone{1, 0};
        stop_worker(slot, &gone);
    }
    return false;
}

}  // namespace

void spawn_use_workers(const std::string &self) { worker_prog = self; }

bool spawn_init(int count, std::string &err)
{
    slots.assign(static_cast<std::size_t>(count), slot_state());
    return os_slots_init(count, err);
}

bool spawn_start(int slot, const std::string &prog, const std::vector<std::string> &argv,
                 std::string &err, request_kind kind)
{
    slot_state &s = slots[static_cast<std::size_t>(slot)];
    if (s.messages_left) {
        if (!os_clear_messages(slot, err)) {
            return false;
        }
        s.messages_left = false;
    }
    if (!worker_prog.empty()) {
        return hand_to_worker(slot, kind, argv, err);
    }
    return os_start(slot, prog, argv, false, err);
}

long spawn_read(int slot, char *buf, std::size_t n)
{
    if (!worker_prog.empty()) {
        return worker_read(slots[static_cast<std::size_t>(slot)].frames, os_read, &slot, buf, n);
    }
    return os_read(&slot, buf, n);
}

bool spawn_wait(int slot, spawn_end *end, std::string &msg)
{
    slot_state &s = slots[static_cast<std::size_t>(slot)];
    bool waited;
    long size = -1;  // the size of the messages, when the worker told it
    if (worker_prog.empty()) {
        os_close_pipes(slot);
        waited = os_reap(slot, false, end);
    } else if (s.frames.ended) {
        end->exited = 1;
        end->status = s.frames.status;
        size = s.frames.messages;
        waited = true;
    } else {
        // The worker ended (or broke its answer) in the middle of the file; the next file gets a
        // new one.
        waited = stop_worker(slot, end);
    }
    msg.clear();
    if (size != 0) {
        os_read_messages(slot, size, msg);
        s.messages_left = true;
    }
    return waited;
}

void spawn_reset()
{
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const int slot = static_cast<int>(i);
        // A worker's requests end with its pipe; it ends by itself.
        os_close_pipes(slot);
        spawn_end end{1, 0};
        if (os_running(slot)) {
            os_reap(slot, false, &end);
        }
    }
    os_slots_release();
    slots.clear();
    worker_prog.clear();
}

}  // namespace tree
