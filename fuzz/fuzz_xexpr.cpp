// Fuzz target: the -x expression reader alone, on one condition with a pattern table (values
// included) drawn from the input. Checked: the result is one of the four; the cuts of an unknown
// condition are in order, apart and inside the text; the text without them reads as unknown with
// nothing more to cut; and once every open name is given one value, the condition and its
// simplified text have the same truth (or both stay open, through a function-like use).
//
// Input: a flag byte (bit 0: #ifdef instead of #if; bit 1: names in no list count as undefined;
// bit 2: the list is a -d list), a byte with the value given to the open names (signed), the
// list entries separated by ',' (NAME, NAME=VALUE, wildcards) up to a newline, then the
// condition text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/cli_run.h"
#include "cond/cond_options.h"
#include "cond/cond_xexpr.h"
#include "fuzz_bytes.h"
#include "support/exit_hook.h"

namespace {

constexpr size_t kTextMax = 8192;

struct ExitCalled {
    int status;
};

[[noreturn]] void throw_exit(int status) { throw ExitCalled{status}; }

[[noreturn]] void fail(const std::string &text, const char *what)
{
    std::fprintf(stderr, "reader: %s\ntext: %s\n", what, text.c_str());
    std::abort();
}

// The characters a list may hold, with the value syntax; others become '_'.
std::string list_text(std::string s)
{
    for (char &c : s) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                        (c >= 'A' && c <= 'Z') || c == '_' || c == '?' || c == '*' || c == ',' ||
                        c == '=' || c == '-';
        if (!ok) {
            c = '_';
        }
    }
    return s;
}

int read_if(const std::string &t) { return cond::xexpr_if(t.data(), static_cast<int>(t.size())); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    support::set_exit_hook(throw_exit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The table points into these, as it points into argv in a run.
    static std::string list;
    static std::string star;
    FuzzBytes in(data, size);
    const uint8_t flags = in.byte();
    const int open_value = static_cast<int8_t>(in.byte());
    cli::run_reset();
    cond::opt_x = 1;
    list = list_text(in.upto('\n'));
    // An invalid list says so on stderr and ends the input: not a finding.
    if (cli::set_list(&list[0], (flags & 4) ? 0 : 1) < 0) {
        return 0;
    }
    cond::list_mode = (flags & 2) ? cond::LIST_MODE_UNDEF : 0;
    const std::string text = in.take(kTextMax);

    if (flags & 1) {
        const int v = cond::xexpr_ifdef(text.data(), static_cast<int>(text.size()));
        if (v < cond::X_FALSE || v > cond::X_BAD) {
            fail(text, "ifdef result out of range");
        }
        return 0;
    }
    const int v = read_if(text);
    if (v < cond::X_FALSE || v > cond::X_BAD) {
        fail(text, "result out of range");
    }
    if (v != cond::X_UNKNOWN) {
        if (cond::xcut_count != 0 && v != cond::X_BAD) {
            fail(text, "cuts of a known condition");
        }
        return 0;
    }
    std::string simple;
    int p = 0;
    for (int i = 0; i < cond::xcut_count; i++) {
        const int from = cond::xcut_from[i];
        const int to = cond::xcut_to[i];
        if (from < p || to <= from || to > static_cast<int>(text.size())) {
            fail(text, "cuts out of order or outside the text");
        }
        simple.append(text, static_cast<size_t>(p), static_cast<size_t>(from - p));
        p = to;
    }
    simple.append(text, static_cast<size_t>(p), std::string::npos);
    if (read_if(simple) != cond::X_UNKNOWN || cond::xcut_count != 0) {
        fail(text, "the simplified text is not unknown and final");
    }

    // Every open name gets open_value: a last entry that matches every name. With names in no
    // list undefined there is no open name to give a value to.
    if (flags & 2) {
        return 0;
    }
    star = "*=" + std::to_string(open_value);
    if (cli::set_list(&star[0], 1) < 0) {
        return 0;  // the table is full
    }
    cond::list_mode = cond::LIST_MODE_UNDEF;
    const int v1 = read_if(text);
    const int v2 = read_if(simple);
    if (v1 == cond::X_BAD) {
        return 0;  // an error only this assignment makes (a division by an open name)
    }
    if (v1 != v2) {
        fail(text, "the simplified text reads otherwise once the names are settled");
    }
    return 0;
}
