#include "tree/tree_symbols.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string_view>
#include <unordered_map>

#include "cli/cli_run.h"
#include "cond/cond_block.h"
#include "cond/cond_eval.h"
#include "cond/cond_names.h"
#include "tree/tree_args.h"
#include "tree/tree_report.h"
#include "tree/tree_worker.h"

namespace tree {

namespace {

std::vector<std::string> option_text;  // symbols_setup: the velkrun options; the table points in
std::vector<char *> option_argv;       // symbols_setup: argv over option_text

struct tally {
    int files = 0;  // files whose conditionals test the name
    int lines = 0;  // conditional directives that test it
};
// symbols_add: the names of every file added, kept whole so that the tallies' keys can point into
// them.
std::deque<sym_file> kept;
std::unordered_map<std::string_view, tally> tallies;  // symbols_add: every tested name
// symbols_add: the #define and #undef lines of every name, counted as the files come in, so that
// the table at the end only looks them up.
std::unordered_map<std::string_view, int> define_lines;

// An answer is, file by file, a run of reports and an end: the kind (one byte), then the line and
// the name's length (four bytes each, lowest first), then the name's bytes.
constexpr std::size_t NOTE_HEAD = 9;
constexpr int NOTE_END = 'E';  // a file's reports end; the name is why it was not read, if so

// Appends the len bytes at s to out.text.
sym_name keep_name(sym_file &out, const char *s, std::size_t len)
{
    const sym_name n{static_cast<unsigned>(out.text.size()), static_cast<unsigned>(len)};
    out.text.append(s, len);
    return n;
}

// Records name for the directive whose names begin at uses[first], once per directive.
void add_use(sym_file &out, std::size_t first, const char *s, std::size_t len, int line_no)
{
    for (std::size_t i = first; i < out.uses.size(); ++i) {
        const sym_name &n = out.uses[i].name;
        if (n.length == len && std::memcmp(out.text.data() + n.offset, s, len) == 0) {
            return;
        }
    }
    out.uses.push_back(sym_use{keep_name(out, s, len), line_no});
}

const char *settled_word(int value)
{
    return value == cond::COND_TRUE ? "defined" : value == cond::COND_FALSE ? "undefined" : "open";
}

}  // namespace

int symbols_setup()
{
    cond::cond_reset();
    option_text.assign(1, "velkrun");
    option_text.insert(option_text.end(), vopts.begin(), vopts.end());
    option_text.push_back("file");
    option_argv.clear();
    for (std::string &s : option_text) {
        option_argv.push_back(&s[0]);
    }
    option_argv.push_back(nullptr);
    const int argc = static_cast<int>(option_text.size());
    if (cli::set_option(argc, option_argv.data()) != argc - 1) {
        report_note("velkrun refused the options");
        return 2;
    }
    return 0;
}

void symbols_note(int kind, const char *name, std::size_t len, int line, void *ctx)
{
    std::string &answer = *static_cast<std::string *>(ctx);
    char head[NOTE_HEAD];
    head[0] = static_cast<char>(kind);
    put_u32(head + 1, static_cast<unsigned long>(line));
    put_u32(head + 5, static_cast<unsigned long>(len));
    answer.append(head, NOTE_HEAD);
    answer.append(name, len);
}

void symbols_end(const std::string &msg, std::string *answer)
{
    symbols_note(NOTE_END, msg.data(), msg.size(), 0, answer);
}

int symbols_read(const char **p, std::size_t *left, sym_file &out, std::string &msg)
{
    const char *at = *p;
    std::size_t rest = *left;
    std::size_t first = 0;  // out.uses index of the current conditional's first name
    msg.clear();
    while (rest >= NOTE_HEAD) {
        const int kind = at[0];
        const int line = static_cast<int>(get_u32(at + 1));
        const unsigned long len = get_u32(at + 5);
        if (len > rest - NOTE_HEAD) {
            return 0;
        }
        const char *name = at + NOTE_HEAD;
        at += NOTE_HEAD + len;
        rest -= NOTE_HEAD + len;
        if (kind == cond::NAME_CONDITION) {
            first = out.uses.size();
        } else if (kind == cond::NAME_TESTED) {
            add_use(out, first, name, len, line);
        } else if (kind == cond::NAME_DEFINED) {
            out.defines.push_back(keep_name(out, name, len));
        } else if (kind == NOTE_END) {
            msg.assign(name, len);
            *p = at;
            *left = rest;
            return 1;
        } else {
            return -1;
        }
    }
    return 0;
}

std::string symbols_add(const std::string &file, sym_file &scan, bool locate)
{
    kept.push_back(std::move(scan));
    const sym_file &f = kept.back();
    const auto view = [&f](const sym_name &n) {
        return std::string_view(f.text.data() + n.offset, n.length);
    };
    std::string text;
    std::vector<std::string_view> seen;
    for (const sym_use &u : f.uses) {
        const std::string_view name = view(u.name);
        ++tallies[name].lines;
        seen.push_back(name);
        if (locate) {
            text += file;
            text += ':';
            text += std::to_string(u.line);
            text += ": ";
            text += name;
            text += '\n';
        }
    }
    std::sort(seen.begin(), seen.end());
    for (std::size_t i = 0; i < seen.size(); ++i)
        if (i == 0 || seen[i] != seen[i - 1]) {
            ++tallies[seen[i]].files;
        }
    for (const sym_name &d : f.defines) {
        ++define_lines[view(d)];
    }
    return text;
}

std::string symbols_table(int *names, int *open)
{
    std::vector<std::pair<std::string_view, const tally *>> rows;
    rows.reserve(tallies.size());
    for (const auto &e : tallies) {
        rows.emplace_back(e.first, &e.second);
    }
    std::sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) {
        return a.second->files != b.second->files ? a.second->files > b.second->files
                                                  : a.first < b.first;
    });
    std::string text;
    *names = static_cast<int>(rows.size());
    *open = 0;
    for (const auto &r : rows) {
        const int value = cond::name_value(r.first.data(), r.first.size());
        if (value == cond::COND_UNKNOWN) {
            ++*open;
        }
        const auto d = define_lines.find(r.first);
        text += r.first;
        text += "\t" + std::to_string(r.second->files) + "\t" + std::to_string(r.second->lines) +
                "\t" + std::to_string(d == define_lines.end() ? 0 : d->second) + "\t" +
                settled_word(value) + "\n";
    }
    return text;
}

int symbols_count() { return static_cast<int>(tallies.size()); }

void symbols_reset()
{
    tallies.clear();
    define_lines.clear();
    kept.clear();
    option_text.clear();
    option_argv.clear();
}

}  // namespace tree
