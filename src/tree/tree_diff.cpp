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

// Counts one more old line of the kind (kept or not) in the runs.
void add_run(diff_stream &d, bool kept)
{
    const std::size_t want = kept ? 0 : 1;
    if (d.runs.empty()) {
        if (!kept) {
            d.runs.push_back(0);
        }
        d.runs.push_back(0);
    } else if ((d.runs.size() - 1) % 2 != want) {
        d.runs.push_back(0);
    }
    ++d.runs.back();
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

void old_kept(diff_stream &d, const std::string &line)
{
    add_run(d, true);
    ++d.old_no;
    ++d.new_no;
    if (!d.open) {
        ahead_push(d, line);
        return;
    }
    d.tail[d.tail_count++].assign(line);
    // Changes closer than two contexts share a hunk.
    if (d.tail_count > 2 * CONTEXT) {
        close_hunk(d);
    }
}

void old_deleted(diff_stream &d, const std::string &line)
{
    add_run(d, false);
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
    put_line(d.body, '-', line);
    ++d.count_old;
    ++d.old_no;
}

// One complete line of the new text: the old lines before its first match are deleted.
void new_line(diff_stream &d, const std::string &line)
{
    if (!d.whole) {
        while (d.old_src.next(d.old_src.ctx, d.old_line)) {
            if (d.old_line == line) {
                old_kept(d, d.old_line);
                return;
            }
            old_deleted(d, d.old_line);
        }
        d.whole = true;
    }
    d.pending += line;
    ++d.pending_lines;
}

// The diff that deletes every old line and adds every new one.
void replace_whole(diff_stream &d)
{
    d.text.clear();
    d.old_src.rewind(d.old_src.ctx);
    std::string lines;
    unsigned long long n_old = 0;
    while (d.old_src.next(d.old_src.ctx, d.old_line)) {
        put_line(lines, '-', d.old_line);
        ++n_old;
    }
    // The new text up to the line found nowhere is the old lines the runs kept.
    d.old_src.rewind(d.old_src.ctx);
    unsigned long long n_new = d.pending_lines;
    for (std::size_t r = 0; r < d.runs.size(); ++r) {
        for (unsigned long long k = 0; k < d.runs[r]; ++k) {
            if (!d.old_src.next(d.old_src.ctx, d.old_line)) {
                break;
            }
            if (r % 2 == 0) {
                put_line(lines, '+', d.old_line);
                ++n_new;
            }
        }
    }
    for (std::size_t at = 0; at < d.pending.size();) {
        const std::size_t nl = d.pending.find('\n', at);
        const std::size_t end = nl == std::string::npos ? d.pending.size() : nl + 1;
        put_line(lines, '+', d.pending.substr(at, end - at));
        at = end;
    }
    d.text = "@@ -" + range(0, n_old) + " +" + range(0, n_new) + " @@\n" + lines;
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

void string_rewind(void *ctx) { static_cast<string_source *>(ctx)->at = 0; }

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
    if (d.whole) {
        replace_whole(d);
    } else {
        while (d.old_src.next(d.old_src.ctx, d.old_line)) {
            old_deleted(d, d.old_line);
        }
        if (d.open) {
            close_hunk(d);
        }
        if (!d.changed) {
            return false;
        }
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
    diff_start(d, name, diff_source{string_next, string_rewind, &src});
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
