#include "tree/tree_run.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "tree/tree_args.h"
#include "tree/tree_diff.h"
#include "tree/tree_fs.h"
#include "tree/tree_report.h"
#include "tree/tree_signal.h"
#include "tree/tree_spawn.h"
#include "tree/tree_symbols.h"
#include "tree/tree_walk.h"
#include "tree/tree_worker.h"

namespace tree {

namespace {

constexpr std::size_t CHUNK = 65536;         // bytes read from a child or a file at a time
constexpr std::size_t NAMES_BATCH_MAX = 64;  // most files of one names request

// What became of one file: stopped is a file an interrupt kept from being finished, neither
// counted nor reported.
enum class outcome { unchanged, changed, refused, failed, stopped };

struct file_result {
    bool done = false;  // set by the worker under result_lock
    outcome what = outcome::unchanged;
    std::string out;       // text for standard output (the diff)
    std::string msg;       // failure message, one or more lines; for a file that did not
                           // fail, what velkrun wrote to stderr all the same (-x warnings)
    std::string tmp_path;  // a rewrite: the complete new text, waiting for the finisher to replace
                           // the file with it
    fs_ident id;           // a rewrite: the file as it was when reading began
    fs_ident tmp_id;       // a rewrite: the temporary file
    sym_file sym;          // --symbols: what the file tests
};

std::string velkrun_path;               // run: the velkrun started for every file, or the workers'
                                        // program
std::atomic<int> interrupted{0};        // on_interrupt: the exit status of an interrupt, or 0
std::vector<file_result> results;       // run: one per entry of walk_files
std::atomic<std::size_t> next_file{0};  // workers: index of the next file to take
std::mutex result_lock;                 // guards results[].done and awaited; wakes the main thread
std::size_t awaited = 0;                // run: the index of the result the main thread waits for
std::condition_variable result_ready;

void on_interrupt(int status)
{
    int none = 0;
    if (!interrupted.compare_exchange_strong(none, status)) {
        return;
    }
    spawn_kill_all();
    std::lock_guard<std::mutex> g(result_lock);
    result_ready.notify_all();
}

// The exit status of an interrupt, also of one whose handler has not run yet; 0 for none.
int interrupt_status()
{
    const int s = interrupted.load();
    return s != 0 ? s : signals_arrived();
}

// Before a file is replaced, every interrupt sent so far counts; elsewhere the handler's record
// is enough, as it follows within a fraction of a second.
bool stop_requested() { return interrupt_status() != 0; }
bool stop_recorded() { return interrupted.load() != 0; }

// The name velkrun is given for the file: one starting with '-' would be read as an option.
std::string arg_name(const std::string &file)
{
    return !file.empty() && file[0] == '-' ? "./" + file : file;
}

std::vector<std::string> velkrun_args(const std::string &file)
{
    std::vector<std::string> argv{velkrun_path};
    argv.insert(argv.end(), vopts.begin(), vopts.end());
    argv.push_back(arg_name(file));
    return argv;
}

// Reads up to n bytes of f into buf; the count (short only at the end of the file or an error).
std::size_t read_some(FILE *f, char *buf, std::size_t n) { return std::fread(buf, 1, n, f); }

// An open file read line by line for the diff.
struct file_lines {
    FILE *f;
    std::vector<char> buf;
    std::size_t at, end;
};

bool file_next(void *ctx, std::string &line)
{
    file_lines &s = *static_cast<file_lines *>(ctx);
    line.clear();
    for (;;) {
        if (s.at == s.end) {
            s.at = 0;
            s.end = read_some(s.f, s.buf.data(), s.buf.size());
            if (s.end == 0) {
                return !line.empty();
            }
        }
        const char *p = s.buf.data() + s.at;
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', s.end - s.at));
        const std::size_t take = nl ? static_cast<std::size_t>(nl + 1 - p) : s.end - s.at;
        line.append(p, take);
        s.at += take;
        if (nl) {
            return true;
        }
    }
}

// How velkrun ended for one file: empty when it succeeded, else the message, and *refused set
// when it declined the file by its rules (status 1 and its message) rather than failing.
std::string child_failure(const spawn_end &end, const std::string &msg, bool *refused)
{
    *refused = false;
    if (!end.exited) {
        return spawn_describe(end) + (msg.empty() ? "" : "\n" + msg);
    }
    if (end.status == 0) {
        return std::string();
    }
    *refused = end.status == 1;
    return msg.empty() ? "velkrun ended with status " + std::to_string(end.status) : msg;
}

// Runs velkrun on one file (file is the path to read and replace, name the one to report) and,
// in a rewrite, writes the new text to a temporary file when it differs, for the finisher. The
// identity of the file is taken when its reading begins and checked again once velkrun is done.
void process_file(const std::string &file, const std::string &name, int slot, file_result &r)
{
    std::string err, open_err;
    FILE *orig = fs_open_read(file, open_err, &r.id);
    if (!orig) {
        r.what = outcome::failed;
        r.msg = "cannot read the file: " + open_err;
        return;
    }
    if (!spawn_start(slot, velkrun_path, velkrun_args(file), err)) {
        std::fclose(orig);
        r.what = outcome::failed;
        r.msg = "cannot run velkrun: " + err;
        return;
    }
    const bool rewrite = !writes_nothing();
    std::vector<char> buf(CHUNK), obuf(CHUNK);
    file_lines old_lines{orig, std::vector<char>(), 0, 0};
    diff_stream diff;
    if (diff_mode) {
        old_lines.buf.resize(CHUNK);
        diff_start(diff, name, diff_source{file_next, &old_lines});
    }
    bool differs = false;
    unsigned long long matched = 0;  // bytes of output equal to the file so far
    FILE *tmp = nullptr;
    std::string tmp_path, write_err;

    // Starts the new file in a rewrite: the bytes already seen to be equal, then the rest.
    const auto begin_temp = [&]() {
        if (!rewrite) {
            return;
        }
        tmp = fs_create_temp(file, tmp_path, write_err);
        if (!tmp) {
            write_err = "cannot create a temporary file: " + write_err;
            return;
        }
        std::rewind(orig);
        unsigned long long left = matched;
        while (left > 0) {
            const std::size_t want = left < CHUNK ? static_cast<std::size_t>(left) : CHUNK;
            const std::size_t got = read_some(orig, obuf.data(), want);
            if (got == 0 || std::fwrite(obuf.data(), 1, got, tmp) != got) {
                write_err = "cannot write the temporary file";
                return;
            }
            left -= got;
        }
    };

    for (;;) {
        const long n = spawn_read(slot, buf.data(), buf.size());
        if (n <= 0) {
            break;
        }
        const std::size_t got = static_cast<std::size_t>(n);
        if (diff_mode) {
            diff_feed(diff, buf.data(), got);
        } else if (!differs) {
            const std::size_t have = read_some(orig, obuf.data(), got);
            std::size_t same = 0;
            while (same < have && buf[same] == obuf[same]) {
                ++same;
            }
            if (same == got) {
                matched += got;
                continue;
            }
            matched += same;
            differs = true;
            begin_temp();
            if (tmp && write_err.empty() &&
                std::fwrite(buf.data() + same, 1, got - same, tmp) != got - same) {
                write_err = "cannot write the temporary file";
            }
        } else if (tmp && write_err.empty()) {
            if (std::fwrite(buf.data(), 1, got, tmp) != got) {
                write_err = "cannot write the temporary file";
            }
        }
    }
    spawn_end end{1, 0};
    std::string msg;
    const bool waited = spawn_wait(slot, &end, msg);
    bool refused = false;
    std::string failure = waited ? child_failure(end, msg, &refused) : "cannot wait for velkrun";

    if (failure.empty() && diff_mode) {
        differs = diff_finish(diff, r.out);
    } else if (failure.empty() && !differs && std::fgetc(orig) != EOF) {
        differs = true;  // the output is a proper beginning of the file
        begin_temp();
    }
    const bool read_error = std::ferror(orig) != 0;
    std::fclose(orig);

    if (failure.empty() && read_error) {
        failure = "cannot read the file";
    }
    if (failure.empty() && differs && rewrite) {
        if (fs_read_only(file)) {
            failure = "read-only; not rewritten";
        } else if (!fs_unchanged(file, r.id)) {
            failure = "changed during the run; not rewritten";
        } else if (!write_err.empty()) {
            failure = write_err + "; not rewritten";
        } else if (std::fflush(tmp) != 0 || std::ferror(tmp)) {
            failure = "cannot write the temporary file; not rewritten";
        } else if (!fs_copy_mode(tmp, file, err)) {
            failure = "cannot copy the file mode; not rewritten";
        }
        if (tmp && std::fclose(tmp) != 0 && failure.empty()) {
            failure = "cannot write the temporary file; not rewritten";
        }
        tmp = nullptr;
        if (failure.empty() && !fs_identify(tmp_path, r.tmp_id, err)) {
            failure = "cannot find the temporary file: " + err + "; not rewritten";
        }
        if (failure.empty()) {
            // The finisher keeps the backup and replaces the file.
            r.tmp_path = tmp_path;
            tmp_path.clear();
        }
    }
    if (tmp) {
        std::fclose(tmp);
    }
    if (!tmp_path.empty()) {
        fs_remove(tmp_path);
    }

    if (!failure.empty()) {
        r.what = refused ? outcome::refused : outcome::failed;
        r.msg = failure;
        r.out.clear();
    } else {
        r.what = differs ? outcome::changed : outcome::unchanged;
    }
    if (failure.empty()) {
        r.msg = msg;
    }
}

// Names requests for --symbols: files [i, i + n) of walk_files in one request.
struct names_req {
    std::size_t i = 0, n = 0;
};

// Sends the names request of req to the slot's worker; false with the reason in err.
bool send_names(const names_req &req, int slot, std::string &err)
{
    std::vector<std::string> argv{velkrun_path};
    argv.insert(argv.end(), vopts.begin(), vopts.end());
    for (std::size_t k = 0; k < req.n; ++k) {
        argv.push_back(arg_name(walk_targets[req.i + k]));
    }
    return spawn_start(slot, velkrun_path, argv, err, request_kind::names);
}

// What a worker gave for one names request, and how it ended.
struct names_answer {
    std::string bytes;
    bool waited = false;
    spawn_end end{1, 0};
    std::string msg;
};

void take_answer(int slot, names_answer &a)
{
    thread_local std::vector<char> buf(CHUNK);
    a.bytes.clear();
    for (;;) {
        const long got = spawn_read(slot, buf.data(), buf.size());
        if (got <= 0) {
            break;
        }
        a.bytes.append(buf.data(), static_cast<std::size_t>(got));
    }
    a.waited = spawn_wait(slot, &a.end, a.msg);
}

// Reads the answer to req into out (one result per file). Returns how many files it answered:
// when fewer than req.n, the worker ended in the middle of the next one, which out[answered]
// fails; the files behind it are not answered.
std::size_t read_names(const names_req &req, const names_answer &a, std::vector<file_result> &out)
{
    out.assign(req.n, file_result());
    const char *p = a.bytes.data();
    std::size_t left = a.bytes.size();
    std::size_t at = 0;
    int r = 1;
    while (at < req.n && (r = symbols_read(&p, &left, out[at].sym, out[at].msg)) == 1) {
        out[at].what = out[at].msg.empty() ? outcome::unchanged : outcome::failed;
        ++at;
    }
    if (at < req.n) {
        // The answer ended before the file's end: what became of the worker is its failure.
        bool refused = false;
        std::string failure =
            a.waited ? child_failure(a.end, a.msg, &refused) : "cannot wait for velkrun";
        if (failure.empty() || r < 0) {
            failure = "a worker's answer is malformed";
        }
        out[at] = file_result();
        out[at].what = outcome::failed;
        out[at].msg = failure;
    }
    return at;
}

// The finisher: replacing a file can wait on the disk (a file system may write the new text out
// before the rename), so one thread of its own does it while the workers go on running velkrun.
std::deque<std::size_t> to_finish;  // workers: results whose file is to be replaced, in order
bool finish_closing = false;        // run: no more results will be queued
std::condition_variable finish_ready;

// Keeps the backup and replaces the file of result i with its new text, each step only while
// the file is still the one read; after an interrupt, nothing more is replaced and the file
// stays as it was.
void finish_file(std::size_t i, file_result &r)
{
    const std::string &file = walk_targets[i];
    const std::string bak = file + backup;
    std::string err;
    fs_ident made;
    bool backed = false;
    if (stop_requested()) {
        r.what = outcome::stopped;
    } else if (!backup.empty()) {
        switch (fs_backup(file, bak, r.id, &made, err)) {
        case fs_step::done:
            backed = true;
            break;
        case fs_step::exists:
            r.what = outcome::failed;
            r.msg = "backup " + bak + " exists; not rewritten";
            break;
        case fs_step::changed:
            r.what = outcome::failed;
            r.msg = "changed during the run; not rewritten";
            break;
        case fs_step::failed:
            r.what = outcome::failed;
            r.msg = "cannot write the backup " + bak + ": " + err + "; not rewritten";
            break;
        }
    }
    if (r.what == outcome::changed) {
        switch (fs_replace(r.tmp_path, file, r.id, err)) {
        case fs_step::done:
            r.tmp_path.clear();
            break;
        case fs_step::changed:
        case fs_step::exists:
            r.what = outcome::failed;
            r.msg = "changed during the run; not rewritten";
            break;
        case fs_step::failed:
            r.what = outcome::failed;
            r.msg = "cannot replace the file: " + err;
            break;
        }
    }
    if (r.what != outcome::changed && backed) {
        fs_backup_undo(file, bak, made);
    }
    // Only the run's own temporary file is removed, whatever a failed step left under its name.
    fs_ident now;
    if (!r.tmp_path.empty() && fs_identify(r.tmp_path, now, err) && fs_same_file(now, r.tmp_id)) {
        fs_remove(r.tmp_path);
    }
    r.tmp_path.clear();
}

void finisher()
{
    std::unique_lock<std::mutex> g(result_lock);
    for (;;) {
        finish_ready.wait(g, []() { return !to_finish.empty() || finish_closing; });
        if (to_finish.empty()) {
            return;
        }
        const std::size_t i = to_finish.front();
        to_finish.pop_front();
        file_result r = std::move(results[i]);
        g.unlock();
        finish_file(i, r);
        g.lock();
        r.done = true;
        results[i] = std::move(r);
        if (i == awaited) {
            result_ready.notify_all();
        }
    }
}

// Hands result i to the main thread, or to the finisher when a file is to be replaced. Under
// result_lock.
void store_result(std::size_t i, file_result &r)
{
    // A velkrun or worker ended by the interrupt is no failure of its file. A Ctrl-C reaches the
    // whole process group at once, so the signal may still be pending here.
    if (r.what == outcome::failed && stop_requested()) {
        r.what = outcome::stopped;
    }
    if (!r.tmp_path.empty()) {
        results[i] = std::move(r);
        to_finish.push_back(i);
        finish_ready.notify_one();
        return;
    }
    r.done = true;
    results[i] = std::move(r);
    // Only the result the main thread waits for wakes it; it finds the others done.
    if (i == awaited) {
        result_ready.notify_all();
    }
}

// Files a names request takes: many while many are left, so that a file costs no exchange of its
// own, and fewer towards the end, so that the workers finish together.
std::size_t names_batch(std::size_t left, std::size_t n_threads)
{
    const std::size_t k = left / (4 * n_threads);
    return k < 1 ? 1 : k > NAMES_BATCH_MAX ? NAMES_BATCH_MAX : k;
}

// The next names request of a slot: the files a dead worker left, else a new batch; false when
// there are none (or the run is interrupted).
bool next_names(std::deque<names_req> &left_over, std::size_t n_threads, names_req &req)
{
    if (!left_over.empty()) {
        req = left_over.front();
        left_over.pop_front();
        return true;
    }
    const std::size_t total = walk_files.size();
    const std::size_t next = next_file.load();
    std::size_t n = names_batch(next < total ? total - next : 0, n_threads);
    const std::size_t i = next_file.fetch_add(n);
    if (i >= total || stop_recorded()) {
        return false;
    }
    req.i = i;
    req.n = n < total - i ? n : total - i;
    return true;
}

// A slot's thread for --symbols: the next request goes to the worker before the answer to the
// last one is read back, so the worker scans while this thread reads.
void names_worker(int slot, std::size_t n_threads)
{
    std::deque<names_req> left_over;  // the files behind one a worker died on
    std::vector<file_result> batch;
    names_answer answer;
    names_req req, next;
    if (!next_names(left_over, n_threads, req)) {
        return;
    }
    std::string err;
    bool sent = send_names(req, slot, err);
    for (;;) {
        if (sent) {
            take_answer(slot, answer);
        }
        std::string next_err;
        bool more = next_names(left_over, n_threads, next);
        bool next_sent = more && send_names(next, slot, next_err);
        std::size_t answered = 0;
        if (sent) {
            answered = read_names(req, answer, batch);
            if (answered + 1 < req.n) {
                left_over.push_back(names_req{req.i + answered + 1, req.n - answered - 1});
            }
        } else {
            batch.assign(req.n, file_result());
            for (file_result &r : batch) {
                r.what = outcome::failed;
                r.msg = "cannot run velkrun: " + err;
            }
        }
        {
            std::lock_guard<std::mutex> g(result_lock);
            for (std::size_t k = 0; k < req.n; ++k) {
                if (!sent || k <= answered) {
                    store_result(req.i + k, batch[k]);
                }
            }
        }
        if (!more && !left_over.empty() && !stop_recorded()) {
            more = next_names(left_over, n_threads, next);
            next_sent = more && send_names(next, slot, next_err);
        }
        if (!more) {
            return;
        }
        req = next;
        sent = next_sent;
        err = next_err;
    }
}

void worker(int slot, std::size_t n_threads)
{
    if (symbols_mode) {
        names_worker(slot, n_threads);
        return;
    }
    for (;;) {
        const std::size_t i = next_file.fetch_add(1);
        if (i >= walk_files.size() || stop_recorded()) {
            return;
        }
        file_result r;
        process_file(walk_targets[i], walk_files[i], slot, r);
        std::lock_guard<std::mutex> g(result_lock);
        store_result(i, r);
    }
}

// Runs velkrun once on an empty file so that refused options stop the run before any file.
// Returns 0, or 2 after a message.
int trial_run()
{
    std::string err;
    const std::string empty = fs_empty_input(err);
    if (empty.empty()) {
        report_note("cannot create a scratch file: " + err);
        return 2;
    }
    bool started = spawn_start(0, velkrun_path, velkrun_args(empty), err);
    spawn_end end{1, 0};
    std::string msg;
    if (started) {
        char buf[4096];
        while (spawn_read(0, buf, sizeof buf) > 0) {
        }
        started = spawn_wait(0, &end, msg);
    }
    fs_empty_input_done(empty);
    if (!started) {
        report_note("cannot run velkrun (" + velkrun_path + "): " + err);
        return 2;
    }
    bool refused = false;
    const std::string failure = child_failure(end, msg, &refused);
    if (!failure.empty()) {
        std::string text = failure;
        if (text.back() != '\n') {
            text += '\n';
        }
        report_note("velkrun refused the options:\n" + text.substr(0, text.size() - 1));
        return 2;
    }
    return 0;
}

// Sets up how files are run: the velkrun named by $VELKRUN once per file, else the run's own
// workers.
bool find_velkrun(const char *argv0)
{
    // The names scan runs only in the run's own workers.
    const char *env = symbols_mode ? nullptr : std::getenv("VELKRUN");
    if (env && *env) {
        velkrun_path = fs_find_program(env);
        if (!velkrun_path.empty()) {
            return true;
        }
        report_note(std::string("cannot find velkrun (") + env + "); install it or set VELKRUN");
        return false;
    }
    velkrun_path = fs_self_program(argv0);
    if (velkrun_path.empty()) {
        report_note("cannot find this program's own file to start its workers");
        return false;
    }
    spawn_use_workers(velkrun_path);
    return true;
}

// What the run did so far.
struct tally {
    int seen = 0;  // files whose result was taken
    int changed = 0, unchanged = 0, refused = 0, failed = 0;
};

// Reports result i in its place and counts it.
void take_result(std::size_t i, file_result &r, tally &t)
{
    const bool list_files = !quiet && !diff_mode;
    const char *changed_word = writes_nothing() ? "would change" : "changed";
    if (r.what != outcome::stopped) {
        ++t.seen;
    }
    switch (r.what) {
    case outcome::stopped:
        break;
    case outcome::failed:
        ++t.failed;
        report_fail(walk_files[i], r.msg);
        break;
    case outcome::refused:
        ++t.refused;
        report_fail(walk_files[i], r.msg);
        break;
    case outcome::changed:
        ++t.changed;
        report_fail(walk_files[i], r.msg);  // velkrun's warnings, if any
        if (diff_mode) {
            report_out(r.out);
        }
        if (list_files) {
            report_out(std::string(changed_word) + ": " + walk_files[i] + "\n");
        }
        break;
    case outcome::unchanged:
        ++t.unchanged;
        report_fail(walk_files[i], r.msg);
        if (symbols_mode) {
            const std::string located = symbols_add(walk_files[i], r.sym, locate_mode != 0);
            if (!located.empty()) {
                report_out(located);
            }
        }
        break;
    }
    const int total = static_cast<int>(walk_files.size());
    const bool last = i + 1 == walk_files.size();
    if (symbols_mode) {
        report_progress(static_cast<int>(i + 1), total, "names", symbols_count(), 0, t.failed,
                        last);
    } else {
        report_progress(static_cast<int>(i + 1), total, changed_word, t.changed, t.refused,
                        t.failed, last);
    }
}

// The summary of a run that rewrites or previews, and its exit status.
int finish_summary(const tally &t)
{
    char summary[240];
    std::snprintf(summary, sizeof summary,
                  "%s: files seen %d, %s %d, unchanged %d, refused %d, failed %d", prog_name,
                  t.seen, writes_nothing() ? "would change" : "changed", t.changed, t.unchanged,
                  t.refused, t.failed);
    std::string line = summary;
    if (walk_links > 0) {
        line += ", symbolic links skipped " + std::to_string(walk_links);
    }
    line += "\n";
    if (diff_mode) {
        std::fflush(stdout);
        std::fputs(line.c_str(), stderr);
    } else {
        report_out(line);
    }
    if (std::fflush(stdout) != 0 || report_out_failed()) {
        report_note("cannot write to standard output");
        return 1;
    }
    if (t.failed > 0 || (check_mode && t.changed > 0)) {
        return 1;
    }
    return t.refused > 0 ? 3 : 0;
}

int finish_interrupted(int status)
{
    std::fflush(stdout);
    report_note("interrupted; files not yet reached are unchanged");
    return status;
}

// The end of a --symbols run: the table (unless --locate) and the last line on stderr.
int finish_symbols(int total, int n_failed)
{
    int names = 0, open = 0;
    const std::string table = symbols_table(&names, &open);
    if (!locate_mode) {
        report_out(table);
    }
    std::fflush(stdout);
    std::string line = std::string(prog_name) + ": files read " +
                       std::to_string(total + walk_failed - n_failed) + ", names found " +
                       std::to_string(names) + ", open " + std::to_string(open);
    if (n_failed > 0) {
        line += ", failed " + std::to_string(n_failed);
    }
    if (walk_links > 0) {
        line += ", symbolic links skipped " + std::to_string(walk_links);
    }
    std::fputs((line + "\n").c_str(), stderr);
    if (std::fflush(stdout) != 0 || report_out_failed()) {
        report_note("cannot write to standard output");
        return 1;
    }
    return n_failed > 0 ? 1 : 0;
}

}  // namespace

int run(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], WORKER_ARG) == 0) {
        return worker_main();
    }
    const int parsed = parse_args(argc, argv);
    if (parsed != 0) {
        return parsed == 1 ? 0 : 2;
    }
    signals_start(on_interrupt);
    if (diff_mode || symbols_mode) {
        fs_stdout_binary();
    }
    const int n_jobs = jobs > 0 ? jobs : fs_processors();
    if (symbols_mode && symbols_setup() != 0) {
        return 2;
    }
    if (!find_velkrun(argc > 0 ? argv[0] : nullptr)) {
        return 2;
    }
    std::string err;
    if (!spawn_init(n_jobs, err)) {
        report_note(err);
        return 2;
    }
    if (!symbols_mode && trial_run() != 0) {
        return 2;
    }
    report_start(!quiet && fs_stderr_is_terminal());

    walk_paths(paths, stop_requested);
    if (stop_requested()) {
        report_progress_clear();
        return finish_interrupted(interrupt_status());
    }
    const std::size_t total = walk_files.size();
    results.assign(total, file_result());
    next_file = 0;
    const std::size_t n_threads =
        total < static_cast<std::size_t>(n_jobs) ? total : static_cast<std::size_t>(n_jobs);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < n_threads; ++t) {
        threads.emplace_back(worker, static_cast<int>(t), n_threads);
    }
    finish_closing = false;
    std::thread finish_thread;
    if (!writes_nothing()) {
        finish_thread = std::thread(finisher);
    }

    tally t;
    t.failed = walk_failed;
    std::size_t reached = total;  // the first result the main thread gave up waiting for
    for (std::size_t i = 0; i < total; ++i) {
        file_result r;
        {
            std::unique_lock<std::mutex> g(result_lock);
            awaited = i;
            result_ready.wait(g, [i]() { return results[i].done || stop_recorded(); });
            if (!results[i].done) {
                reached = i;
                break;
            }
            r = std::move(results[i]);
        }
        take_result(i, r, t);
    }
    for (std::thread &th : threads) {
        th.join();
    }
    if (finish_thread.joinable()) {
        {
            std::lock_guard<std::mutex> g(result_lock);
            finish_closing = true;
            finish_ready.notify_all();
        }
        finish_thread.join();
    }
    // After an interrupt, the files finished beyond the one waited for count too.
    for (std::size_t i = reached; i < total; ++i)
        if (results[i].done) {
            take_result(i, results[i], t);
        }
    report_progress_clear();
    if (stop_requested() && symbols_mode) {
        return finish_interrupted(interrupt_status());
    }
    if (symbols_mode) {
        return finish_symbols(static_cast<int>(total), t.failed);
    }
    const int status = finish_summary(t);
    return stop_requested() ? finish_interrupted(interrupt_status()) : status;
}

void run_reset()
{
    velkrun_path.clear();
    interrupted = 0;
    results.clear();
    next_file = 0;
    awaited = 0;
    to_finish.clear();
    finish_closing = false;
    args_reset();
    walk_reset();
    report_reset();
    spawn_reset();
    symbols_reset();
}

}  // namespace tree
