#include "tree/tree_diff.h"

#include <cstdio>
#include <cstring>

namespace tree {

namespace {

void put_line(std::string &out, char kind, const std::string &line)
{
    out += kind;
    out += line;
    if (line.empty() || line.back() != '\n') {
        out += "\n\\ No newline at end of file\n";
    }
}

// "start,count" as a hunk header writes it: the count left out when 1, and an empty range
// numbered by the line before it.
std::string range(unsigned long long first, unsigned long long count)
{
    if (count == 1) {
        return std::to_string(first + 1);
    }
    return std::to_string(count == 0 ? first : first + 1) + "," + std::to_string(count);
}

constexpr std::size_t CONTEXT = static_cast<std::size_t>(DIFF_CONTEXT);

void ahead_push(diff_stream &d, const std::string &line)
{
    if (d.ahead_count < CONTEXT) {
        d.ahead[(d.ahead_first + d.ahead_count) % CONTEXT].assign(line);
        ++d.ahead_count;
    } else {
        d.ahead[d.ahead_first].assign(line);
        d.ahead_first = (d.ahead_first + 1) % CONTEXT;
    }
}

void close_hunk(diff_stream &d)
{
    const std::size_t keep = d.tail_count < CONTEXT ? d.tail_count : CONTEXT;
    for (std::size_t k = 0; k < keep; ++k) {
        put_line(d.body, ' ', d.tail[k]);
    }
    d.text += "@@ -" + range(d.hunk_old, d.count_old + keep) + " +" +
              range(d.hunk_new, d.count_new + keep) + " @@\n";
    d.text += d.body;
    d.body.clear();
    // The last lines after the hunk are the context before the next one.
    d.ahead_first = d.ahead_count = 0;
    const std::size_t from = d.tail_count > CONTEXT ? d.tail_count - CONTEXT : 0;
    for (std::size_t k = from > keep ? from : keep; k < d.tail_count; ++k) {
        ahead_push(d, d.tail[k]);
    }
    d.tail_count = 0;
    d.open = false;
}

// A change begins: opens a hunk with the context before it, or carries the kept lines since the
// last change into the open one.
void begin_change(diff_stream &d)
{
    d.changed = true;
    if (!d.open) {
        d.open = true;
        d.hunk_old = d.old_no - d.ahead_count;
        d.hunk_new = d.new_no - d.ahead_count;
        d.count_old = d.count_new = d.ahead_count;
        for (std::size_t k = 0; k < d.ahead_count; ++k) {
            put_line(d.body, ' ', d.ahead[(d.ahead_first + k) % CONTEXT]);
        }
        d.ahead_first = d.ahead_count = 0;
    }
    for (std::size_t k = 0; k < d.tail_count; ++k) {
        put_line(d.body, ' ', d.tail[k]);
    }
    d.count_old += d.tail_count;
    d.count_new += d.tail_count;
    d.tail_count = 0;
}

void old_kept(diff_stream &d, const std::string &line)
{
    ++d.old_no;
    ++d.new_no;
    if (!d.open) {
        ahead_push(d, line);
        return;
    }
    // A change's added lines follow its deleted ones, as diff writes them.
    d.body += d.added;
    d.added.clear();
    d.tail[d.tail_count++].assign(line);
    // Changes closer than two contexts share a hunk.
    if (d.tail_count > 2 * CONTEXT) {
        close_hunk(d);
    }
}

void old_deleted(diff_stream &d, const std::string &line)
{
    begin_change(d);
    put_line(d.body, '-', line);
    ++d.count_old;
    ++d.old_no;
}

void new_added(diff_stream &d, const std::string &line)
{
    begin_change(d);
    put_line(d.added, '+', line);
    ++d.count_new;
    ++d.new_no;
}

// A line velkrun may have rewritten: a directive, or a line it continues.
bool is_directive(const std::string &line)
{
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
        ++i;
    }
    return i < line.size() && line[i] == '#';
}

bool ends_continued(const std::string &line)
{
    std::size_t n = line.size();
    if (n > 0 && line[n - 1] == '\n') {
        --n;
    }
    if (n > 0 && line[n - 1] == '\r') {
        --n;
    }
    return n > 0 && line[n - 1] == '\\';
}

// Reads the next old line into the look-ahead; false at the end of the old text. Only an empty
// look-ahead starts again at its first slot, so indices into it stay good while it is taken from.
bool look_read(diff_stream &d)
{
    if (d.look_first == d.look_end) {
        d.look_first = d.look_end = 0;
    }
    if (d.look_end == d.look.size()) {
        d.look.emplace_back();
    }
    if (!d.old_src.next(d.old_src.ctx, d.look[d.look_end])) {
        return false;
    }
    d.look_bytes += d.look[d.look_end].size();
    ++d.look_end;
    return true;
}

// Drops the first line of the look-ahead.
void look_pop(diff_stream &d)
{
    d.look_bytes -= d.look[d.look_first].size();
    ++d.look_first;
}

// Takes the first line of the look-ahead as deleted (kept when keep).
void look_take(diff_stream &d, bool keep)
{
    if (keep) {
        old_kept(d, d.look[d.look_first]);
    } else {
        old_deleted(d, d.look[d.look_first]);
    }
    look_pop(d);
}

// The next old line not yet taken, from the look-ahead first; false at the end of the old text.
bool old_next(diff_stream &d, std::string &line)
{
    if (d.look_first == d.look_end) {
        return d.old_src.next(d.old_src.ctx, line);
    }
    std::string &first = d.look[d.look_first];
    look_pop(d);
    line.swap(first);
    return true;
}

// Every old line before the first one equal to *m is deleted and that one kept; m is added when
// no old line is equal to it. Null m deletes the rest of the old text.
void old_until(diff_stream &d, const std::string *m)
{
    while (old_next(d, d.old_line)) {
        if (m && d.old_line == *m) {
            old_kept(d, d.old_line);
            return;
        }
        old_deleted(d, d.old_line);
    }
    if (m) {
        new_added(d, *m);
    }
}

// Matches the held lines with the old lines before region, keeping the longest common run of
// both in order (greedily where the table would be too large); the rest of those old lines are
// deleted and the rest of the held lines added.
void place_held(diff_stream &d, std::size_t region)
{
    const std::size_t p = d.pend_count;
    const std::size_t r = region - d.look_first;
    if (p * r > DIFF_HELD_CELLS) {
        for (std::size_t k = 0; k < p; ++k) {
            std::size_t j = d.look_first;
            while (j < region && d.look[j] != d.pend[k]) {
                ++j;
            }
            if (j == region) {
                new_added(d, d.pend[k]);
                continue;
            }
            while (d.look_first < j) {
                look_take(d, false);
            }
            look_take(d, true);
        }
        return;
    }
    // common[i * (r + 1) + j]: the longest common run of pend[i..] and the old lines from j on.
    const std::size_t w = r + 1;
    d.common.assign((p + 1) * w, 0);
    const std::size_t base = d.look_first;
    for (std::size_t i = p; i-- > 0;) {
        for (std::size_t j = r; j-- > 0;) {
            unsigned &c = d.common[i * w + j];
            if (d.pend[i] == d.look[base + j]) {
                c = d.common[(i + 1) * w + j + 1] + 1;
            } else {
                const unsigned down = d.common[(i + 1) * w + j], right = d.common[i * w + j + 1];
                c = down > right ? down : right;
            }
        }
    }
    std::size_t i = 0, j = 0;
    while (i < p && j < r) {
        if (d.pend[i] == d.look[base + j] &&
            d.common[i * w + j] == d.common[(i + 1) * w + j + 1] + 1) {
            look_take(d, true);
            ++i;
            ++j;
        } else if (d.common[(i + 1) * w + j] >= d.common[i * w + j + 1]) {
            new_added(d, d.pend[i++]);
        } else {
            look_take(d, false);
            ++j;
        }
    }
    while (i < p) {
        new_added(d, d.pend[i++]);
    }
}

// Places the directive lines held back and then the line m after them (null m: the end of the
// new text). velkrun keeps every other line as it was, so m is found among the old lines, and
// the directive lines, kept or rewritten, are matched only among the old lines before it: a
// rewritten #else never takes the place of an #else further down.
void settle(diff_stream &d, const std::string *m)
{
    if (d.pend_count == 0) {
        old_until(d, m);
        return;
    }
    bool found = false;
    while (d.look_bytes <= DIFF_LOOK_BYTES && look_read(d)) {
        if (m && d.look[d.look_end - 1] == *m) {
            found = true;
            break;
        }
    }
    if (!found && d.look_bytes > DIFF_LOOK_BYTES) {
        // Too far to hold: the held lines are added, and the search for m goes on as usual.
        for (std::size_t k = 0; k < d.pend_count; ++k) {
            new_added(d, d.pend[k]);
        }
        d.pend_count = 0;
        old_until(d, m);
        return;
    }
    const std::size_t region = d.look_end - (found ? 1 : 0);
    place_held(d, region);
    d.pend_count = 0;
    while (d.look_first < region) {
        look_take(d, false);
    }
    if (found) {
        look_take(d, true);
    } else if (m) {
        new_added(d, *m);
    }
}

// One complete line of the new text.
void new_line(diff_stream &d, const std::string &line)
{
    const bool held = d.continued || is_directive(line);
    d.continued = ends_continued(line);
    if (!held) {
        settle(d, &line);
        return;
    }
    if (d.pend_count == d.pend.size()) {
        d.pend.emplace_back();
    }
    d.pend[d.pend_count++].assign(line);
}

// An old text held in a string, for diff_append.
struct string_source {
    const std::string *text;
    std::size_t at;
};

bool string_next(void *ctx, std::string &line)
{
    string_source &s = *static_cast<string_source *>(ctx);
    if (s.at >= s.text->size()) {
        return false;
    }
    const std::size_t nl = s.text->find('\n', s.at);
    const std::size_t end = nl == std::string::npos ? s.text->size() : nl + 1;
    line.assign(*s.text, s.at, end - s.at);
    s.at = end;
    return true;
}

}  // namespace

void diff_start(diff_stream &d, const std::string &name, diff_source old_src)
{
    d = diff_stream();
    d.name = name;
    d.old_src = old_src;
}

void diff_feed(diff_stream &d, const char *p, std::size_t n)
{
    const char *end = p + n;
    while (p < end) {
        const char *nl =
            static_cast<const char *>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        if (!nl) {
            d.partial.append(p, static_cast<std::size_t>(end - p));
            return;
        }
        d.partial.append(p, static_cast<std::size_t>(nl + 1 - p));
        new_line(d, d.partial);
        d.partial.clear();
        p = nl + 1;
    }
}

bool diff_finish(diff_stream &d, std::string &out)
{
    if (!d.partial.empty()) {
        new_line(d, d.partial);
    }
    d.partial.clear();
    settle(d, nullptr);
    if (d.open) {
        d.body += d.added;
        d.added.clear();
        close_hunk(d);
    }
    if (!d.changed) {
        return false;
    }
    out += "--- " + diff_name(d.name) + "\n+++ " + diff_name(d.name) + "\n";
    out += d.text;
    return true;
}

void diff_append(std::string &out, const std::string &name, const std::string &old_text,
                 const std::string &new_text)
{
    string_source src{&old_text, 0};
    diff_stream d;
    diff_start(d, name, diff_source{string_next, &src});
    diff_feed(d, new_text.data(), new_text.size());
    diff_finish(d, out);
}

std::string diff_name(const std::string &name)
{
    bool plain = true;
    for (unsigned char c : name)
        if (c < 0x21 || c == 0x7F || c == '"' || c == '\\') {
            plain = false;
        }
    if (plain) {
        return name;
    }
    std::string q = "\"";
    for (unsigned char c : name) {
        switch (c) {
        case '"':
            q += "\\\"";
            break;
        case '\\':
            q += "\\\\";
            break;
        case '\t':
            q += "\\t";
            break;
        case '\n':
            q += "\\n";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char oct[8];
                std::snprintf(oct, sizeof oct, "\\%03o", c);
                q += oct;
            } else {
                q += static_cast<char>(c);
            }
        }
    }
    return q + "\"";
}

}  // namespace tree
