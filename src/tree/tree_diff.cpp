#include "tree/tree_diff.h"

#include <cstdio>
#include <vector>

namespace tree {

namespace {

struct span {
    std::size_t start;
    std::size_t len;  // the line end included
};

std::vector<span> split_lines(const std::string &t)
{
    std::vector<span> lines;
    std::size_t start = 0;
    while (start < t.size()) {
        const std::size_t nl = t.find('\n', start);
        const std::size_t end = nl == std::string::npos ? t.size() : nl + 1;
        lines.push_back(span{start, end - start});
        start = end;
    }
    return lines;
}

bool same_line(const std::string &a, const span &x, const std::string &b, const span &y)
{
    return x.len == y.len && a.compare(x.start, x.len, b, y.start, y.len) == 0;
}

// One step of the edit: a line kept, deleted from the old text or added from the new one.
struct op {
    char kind;         // ' ', '-', '+'
    std::size_t line;  // index into the old lines for ' ' and '-', into the new ones for '+'
};

void put_line(std::string &out, char kind, const std::string &text, const span &s)
{
    out += kind;
    out.append(text, s.start, s.len);
    if (s.len == 0 || text[s.start + s.len - 1] != '\n') out += "\n\\ No newline at end of file\n";
}

// "start,count" as a hunk header writes it: the count left out when 1, and an empty range
// numbered by the line before it.
std::string range(std::size_t first, std::size_t count)
{
    if (count == 1) return std::to_string(first + 1);
    return std::to_string(count == 0 ? first : first + 1) + "," + std::to_string(count);
}

}  // namespace

std::string diff_name(const std::string &name)
{
    bool plain = true;
    for (unsigned char c : name)
        if (c < 0x21 || c == 0x7F || c == '"' || c == '\\') plain = false;
    if (plain) return name;
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

void diff_append(std::string &out, const std::string &name, const std::string &old_text,
                 const std::string &new_text)
{
    if (old_text == new_text) return;
    const std::vector<span> a = split_lines(old_text);
    const std::vector<span> b = split_lines(new_text);

    // The earliest embedding of the new lines in the old ones: it exists exactly when the new
    // text is the old one with whole lines deleted, and then deletes as few lines as any diff.
    std::vector<op> ops;
    ops.reserve(a.size() + 1);
    std::size_t j = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (j < b.size() && same_line(old_text, a[i], new_text, b[j])) {
            ops.push_back(op{' ', i});
            ++j;
        } else {
            ops.push_back(op{'-', i});
        }
    }
    if (j < b.size()) {
        ops.clear();
        for (std::size_t i = 0; i < a.size(); ++i) ops.push_back(op{'-', i});
        for (std::size_t k = 0; k < b.size(); ++k) ops.push_back(op{'+', k});
    }

    out += "--- " + diff_name(name) + "\n+++ " + diff_name(name) + "\n";
    const std::size_t n = ops.size();
    std::size_t pos = 0;
    std::size_t old_before = 0, new_before = 0;  // lines of each text before ops[pos]
    while (pos < n) {
        // The next change, and the hunk around it: changes closer than two contexts join.
        std::size_t first = pos;
        while (first < n && ops[first].kind == ' ') ++first;
        if (first == n) break;
        std::size_t last = first;  // one past the last change of the hunk
        std::size_t k = first;
        while (k < n) {
            if (ops[k].kind != ' ') {
                last = k + 1;
                ++k;
                continue;
            }
            std::size_t run = k;
            while (run < n && ops[run].kind == ' ') ++run;
            if (run == n || run - k > 2 * DIFF_CONTEXT) break;
            k = run;
        }
        const std::size_t lead =
            first - pos < static_cast<std::size_t>(DIFF_CONTEXT) ? first - pos : DIFF_CONTEXT;
        std::size_t trail = 0;
        while (last + trail < n && trail < static_cast<std::size_t>(DIFF_CONTEXT) &&
               ops[last + trail].kind == ' ')
            ++trail;
        const std::size_t h_begin = first - lead, h_end = last + trail;
        // Lines of each text before the hunk.
        for (std::size_t q = pos; q < h_begin; ++q) {
            ++old_before;
            ++new_before;
        }
        std::size_t old_count = 0, new_count = 0;
        for (std::size_t q = h_begin; q < h_end; ++q) {
            if (ops[q].kind != '+') ++old_count;
            if (ops[q].kind != '-') ++new_count;
        }
        out +=
            "@@ -" + range(old_before, old_count) + " +" + range(new_before, new_count) + " @@\n";
        for (std::size_t q = h_begin; q < h_end; ++q) {
            if (ops[q].kind == '+')
                put_line(out, '+', new_text, b[ops[q].line]);
            else
                put_line(out, ops[q].kind, old_text, a[ops[q].line]);
        }
        old_before += old_count;
        new_before += new_count;
        pos = h_end;
    }
}

}  // namespace tree
