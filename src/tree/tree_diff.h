// Unified diffs of one file's rewrite, for patch -p0: every byte of every line, CR LF and
// Shift_JIS included, with "\ No newline at end of file" where a last line has no newline.
// velkrun only drops whole lines, so the diff is found in one pass over both texts: memory holds
// the hunk being built, not the file.
#pragma once

#include <string>
#include <vector>

namespace tree {

constexpr int DIFF_CONTEXT = 3;  // unchanged lines shown around each change

// Where the old text comes from: next gives its next line (the newline included; false at the
// end), rewind goes back to its start.
struct diff_source {
    bool (*next)(void *ctx, std::string &line);
    void (*rewind)(void *ctx);
    void *ctx;
};

// The state of one diff between diff_start and diff_finish.
struct diff_stream {
    diff_source old_src{nullptr, nullptr, nullptr};
    std::string name;
    std::string text;      // the hunks so far
    std::string partial;   // new text after its last complete line
    std::string old_line;  // scratch for the line read from old_src
    // Kept lines before the next change, a ring of the last DIFF_CONTEXT (strings reused, so
    // that a line costs no allocation).
    std::string ahead[DIFF_CONTEXT];
    std::size_t ahead_first = 0, ahead_count = 0;
    // Kept lines after the last change of the open hunk: one more than two contexts closes it.
    std::string tail[2 * DIFF_CONTEXT + 1];
    std::size_t tail_count = 0;
    std::string body;                                 // the open hunk's lines
    bool open = false;                                // a hunk is open
    unsigned long long old_no = 0, new_no = 0;        // lines of each text taken so far
    unsigned long long hunk_old = 0, hunk_new = 0;    // lines of each text before the open hunk
    unsigned long long count_old = 0, count_new = 0;  // lines of each text in body
    bool changed = false;                             // a line was deleted
    // Once a new line is found nowhere in the rest of the old text, the diff replaces the text
    // whole: runs (kept and deleted lines, alternately, kept first) and pending (the new text
    // from that line on) rebuild it at the end.
    bool whole = false;
    std::vector<unsigned long long> runs;
    std::string pending;
    unsigned long long pending_lines = 0;
};

// Begins the diff of the text of old_src against a new text given to diff_feed; name goes into
// both headers.
void diff_start(diff_stream &d, const std::string &name, diff_source old_src);

// Takes the next n bytes of the new text.
void diff_feed(diff_stream &d, const char *p, std::size_t n);

// Ends the new text; appends the diff to out (nothing when the texts are equal). Returns true
// when they differ.
bool diff_finish(diff_stream &d, std::string &out);

// Appends to out the diff that turns old_text into new_text, both headers naming the file name
// (quoted C-style when it holds blanks, quotes, backslashes or control bytes). Nothing is
// appended when the texts are equal. Where new_text keeps whole lines of old_text in order (all
// velkrun does), the diff only deletes lines; otherwise it replaces the text whole.
void diff_append(std::string &out, const std::string &name, const std::string &old_text,
                 const std::string &new_text);

// The name as a diff header writes it.
std::string diff_name(const std::string &name);

}  // namespace tree
