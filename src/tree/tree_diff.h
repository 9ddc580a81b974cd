// Unified diffs of one file's rewrite, for patch -p0: every byte of every line, CR LF and
// Shift_JIS included, with "\ No newline at end of file" where a last line has no newline.
// velkrun drops whole lines and, under -x, rewrites directive lines in place, so the diff is found
// in one pass over both texts: memory holds the hunk being built and a bounded look-ahead of the
// old text, not the file.
#pragma once

#include <string>
#include <vector>

namespace tree {

constexpr int DIFF_CONTEXT = 3;  // unchanged lines shown around each change

// The most old text held while directive lines of the new text wait for the next other line to
// place them: past it, they count as added lines.
constexpr std::size_t DIFF_LOOK_BYTES = 1u << 20;

// The largest table (held lines times old lines) matched exactly; past it, greedily.
constexpr std::size_t DIFF_HELD_CELLS = 1u << 20;

// Where the old text comes from: next gives its next line (the newline included; false at the
// end).
struct diff_source {
    bool (*next)(void *ctx, std::string &line);
    void *ctx;
};

// The state of one diff between diff_start and diff_finish.
struct diff_stream {
    diff_source old_src{nullptr, nullptr};
    std::string name;
    std::string text;        // the hunks so far
    std::string partial;     // new text after its last complete line
    bool continued = false;  // the last new line ended in a backslash: a directive goes on
    // New directive lines (and lines they continue) held until the next other new line places
    // them: pend[0] up to pend[pend_count] (strings reused, so that a line costs no allocation).
    std::vector<std::string> pend;
    std::size_t pend_count = 0;
    std::string old_line;  // scratch for the line read from old_src
    // Old lines read ahead while placing held lines, not yet taken: look[look_first] up to
    // look[look_end].
    std::vector<std::string> look;
    std::size_t look_first = 0, look_end = 0, look_bytes = 0;
    std::vector<unsigned> common;  // scratch for matching held lines with old ones
    // Kept lines before the next change, a ring of the last DIFF_CONTEXT.
    std::string ahead[DIFF_CONTEXT];
    std::size_t ahead_first = 0, ahead_count = 0;
    // Kept lines after the last change of the open hunk: one more than two contexts closes it.
    std::string tail[2 * DIFF_CONTEXT + 1];
    std::size_t tail_count = 0;
    std::string body;   // the open hunk's lines
    std::string added;  // added lines of the change under way, written after its deleted ones
    bool open = false;  // a hunk is open
    unsigned long long old_no = 0, new_no = 0;        // lines of each text taken so far
    unsigned long long hunk_old = 0, hunk_new = 0;    // lines of each text before the open hunk
    unsigned long long count_old = 0, count_new = 0;  // lines of each text in body and added
    bool changed = false;                             // a line was deleted or added
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
// appended when the texts are equal. Every other new line is matched with the first equal old
// line after the last one matched, directive lines only among the old lines before that one, and
// a line with no match is added: a rewrite by velkrun gives just its deleted and rewritten lines,
// and any other text still a diff that patch applies.
void diff_append(std::string &out, const std::string &name, const std::string &old_text,
                 const std::string &new_text);

// The name as a diff header writes it.
std::string diff_name(const std::string &name);

}  // namespace tree
