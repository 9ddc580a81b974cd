// Fuzz target: the condition evaluator alone on #if, #ifdef, #ifndef and #elif lines, with a
// pattern table and list mode drawn from the input. The result, or the exact message of a
// failing line, must be the one of a plain model of the evaluation rules written here; names are
// looked up with the library's own matcher, which fuzz_match checks on its own.
//
// Input: a flag byte (directive kind, list mode), a byte of pattern values, the patterns
// separated by ',' up to a newline, then the operand text up to the next newline.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cond/cond_eval.h"
#include "cond/cond_line.h"
#include "cond/cond_match.h"
#include "cond/cond_options.h"
#include "fuzz_bytes.h"
#include "fuzz_cond_model.h"
#include "support/exit_hook.h"
#include "support/message.h"

namespace {

using fuzz_model::CondModel;
using fuzz_model::Failed;
using fuzz_model::ident;

constexpr int kLineNo = 7;
constexpr size_t kLineMax = 4094;  // longest line the reader hands over, newline included

struct ExitCalled {
    int status;
};

[[noreturn]] void throw_exit(int status) { throw ExitCalled{status}; }

[[noreturn]] void disagree(const std::string &line, const std::string &got, const std::string &want)
{
    std::fprintf(stderr, "evaluator disagrees with the rules\nline: %s\ngot:  %s\nwant: %s\n",
                 line.c_str(), got.c_str(), want.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    support::set_exit_hook(throw_exit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const char *const words[] = {"ifdef", "if", "ifndef", "elif"};
    FuzzBytes in(data, size);
    const uint8_t flags = in.byte();
    const int kind = flags & 3;
    const uint8_t value_bits = in.byte();

    cli::run_reset();
    CondModel model;
    model.line_no = kLineNo;
    model.undef_outside = flags & 4;
    cond::list_mode = model.undef_outside ? cond::LIST_MODE_UNDEF : 0;
    // The patterns, as set_list would accept and convert them.
    std::string list = in.upto('\n');
    std::vector<std::string> storage;
    size_t start = 0;
    while (start <= list.size() && storage.size() < static_cast<size_t>(cond::LIST_MAX)) {
        size_t comma = list.find(',', start);
        std::string p =
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        for (char &c : p) {
            if (!ident(c) && c != '?' && c != '*' && c != '\\') {
                c = '_';
            }
        }
        storage.push_back(p);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    if (list.empty()) {
        storage.clear();
    }
    for (std::string &p : storage) {
        const int k = static_cast<int>(model.patterns.size());
        cond::conv_search_str(p.data(), 0);
        model.patterns.push_back(p.data());
        model.values.push_back(k < 8 ? (value_bits >> k) & 1 : 1);
        cond::list_name[k] = p.data();
        cond::list_value[k] = model.values.back();
    }
    cond::list_count = static_cast<int>(model.patterns.size());

    // The directive line, as the reader leaves it in the line buffer.
    std::string operand = in.upto('\n');
    operand = operand.substr(0, operand.find('\0'));
    std::string line =
        std::string(flags & 8 ? " " : "") + "#" + (flags & 16 ? "\t" : "") + words[kind] + operand;
    line = line.substr(0, kLineMax - 1) + "\n";
    std::memcpy(cond::buff + 1, line.c_str(), line.size() + 1);
    cond::line_len = static_cast<int>(line.size());
    cond::line_no = kLineNo;
    model.line = line;

    char *err_text = nullptr;
    size_t err_len = 0;
    FILE *real_err = stderr;
    stderr = open_memstream(&err_text, &err_len);
    std::string got;
    try {
        int value = -1;
        cond::eval_directive(kind, cond::buff + 1, &value);
        got = "value " + std::to_string(value);
    } catch (const ExitCalled &e) {
        got = "status " + std::to_string(e.status) + ": ";
    }
    std::fclose(stderr);
    stderr = real_err;
    got += std::string(err_text, err_len);
    std::free(err_text);
    support::message_reset();
    cli::run_reset();

    std::string want;
    try {
        want = "value " + std::to_string(model.directive(kind));
    } catch (const Failed &f) {
        want = "status 1: " + f.message;
    }
    if (got != want) {
        disagree(line, got, want);
    }
    return 0;
}
