// Workers: velkrun-tree started in its worker mode runs the filter in process on one file after
// another, from a clean state each time, so a run starts -j processes instead of one per file.
// What crosses the pipes: a request (the argv velkrun would be given) from the run to the worker;
// the file's output in frames, then the size of its messages when it wrote any, then the filter's
// exit status, from the worker to the run. The filter's messages go to the worker's standard
// error, the slot's private file (tree_spawn).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tree {

// The argument that starts velkrun-tree as a worker; no user-facing option.
constexpr const char WORKER_ARG[] = "--velkrun-worker";

// The worker: reads requests from standard input until its end, answers each on standard output.
// Returns the process's exit status (0 when the requests ended, 1 when the run cannot be answered).
int worker_main();

// What a request asks of a worker: velkrun's run over the file, or the names scan of --symbols
// (its answer: symbols_note's reports).
enum class request_kind : char { filter = 'f', names = 'n' };

// The request for one file: its kind, then argv (argv[0] first, as velkrun would be given it) as
// the worker reads it.
std::string worker_request(request_kind kind, const std::vector<std::string> &argv);

// The numbers of the pipes' messages: four bytes, lowest first.
void put_u32(char *p, unsigned long v);
unsigned long get_u32(const char *p);

// The run's reading of one worker's answers. One read takes in whatever the pipe holds, so a
// small file's answer comes in one piece; bytes beyond the current answer are kept for the next.
struct worker_frames {
    unsigned long left = 0;  // output bytes of the current frame not yet handed on
    bool ended = false;      // the end frame came
    int status = 0;          // the filter's exit status, once ended
    long messages = -1;      // once ended: bytes the file wrote to standard error; -1 unknown
    std::vector<char> buf;   // bytes read and not yet taken: [at, end)
    std::size_t at = 0;
    std::size_t end = 0;
};

// Starts the reading of the next answer; bytes already read are kept for it.
void worker_next(worker_frames &frames);

// Reads up to n bytes of one file's output through read (which returns a count, 0 at the end of
// the pipe, -1 on an error). Returns the count, 0 once the end frame came or the worker is gone
// (frames.ended tells which), -1 on an error or a malformed answer.
long worker_read(worker_frames &frames, long (*read)(void *ctx, char *buf, std::size_t n),
                 void *ctx, char *buf, std::size_t n);

}  // namespace tree
