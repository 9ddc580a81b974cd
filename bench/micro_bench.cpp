// Micro-benchmarks of the paths every line and every name goes through: the lexical walk of a
// line, the evaluation of #if expressions, the name lookup in a full pattern table, and the byte
// classification and skimming of a read block.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cond/cond_classify.h"
#include "cond/cond_eval.h"
#include "cond/cond_lex.h"
#include "cond/cond_line.h"
#include "cond/cond_match.h"
#include "cond/cond_options.h"
#include "cond/cond_skim.h"

namespace {

// Lines as they come from C headers: code, a comment body, literals, Shift_JIS text.
const char *const sample_lines[] = {
    "static inline int gnutls_certificate_set_ocsp_status(gnutls_session_t s, unsigned idx);\n",
    " * Controls how the default delegate reports the result of the measurement to JS.\n",
    "    c = '\\''; q = '\"'; s = \"\\\\\"; t = \"\x95\x5c\x8e\xa6\"; "
    "// \x83\x5c\x83\x74\x83\x67\n",
    "\tx = a / b * c; /* note */ y = \"/* no comment */\"; // tail\n",
    "};\n",
    "\n",
};
constexpr int n_samples = sizeof sample_lines / sizeof sample_lines[0];

void put_in_buff(const char *text)
{
    cond::buff[0] = ' ';
    std::strcpy(cond::buff + 1, text);
    cond::line_len = static_cast<int>(std::strlen(text));
    cond::line_plain = 0;  // walk every line, as the reader would not have marked these
}

std::int64_t sample_bytes()
{
    std::int64_t n = 0;
    for (const char *s : sample_lines) {
        n += static_cast<std::int64_t>(std::strlen(s));
    }
    return n;
}

// The walk as the scanner describes it: lex_skip at every position, one character stepped over
// where it declines. The yardstick for lex_line.
void plain_walk(char *p)
{
    while (*p != '\n' && *p != '\0') {
        char *q = cond::lex_skip(p);
        p = q != nullptr ? q : cond::step_char(p);
    }
}

void BM_WalkWithLexSkip(benchmark::State &state)
{
    cond::lex_reset();
    for (auto _ : state) {
        for (const char *s : sample_lines) {
            put_in_buff(s);
            plain_walk(cond::buff + 1);
            cond::comment2_f = 0;
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * sample_bytes());
}
BENCHMARK(BM_WalkWithLexSkip);

void BM_WalkWithLexLine(benchmark::State &state)
{
    cond::lex_reset();
    for (auto _ : state) {
        for (const char *s : sample_lines) {
            put_in_buff(s);
            benchmark::DoNotOptimize(cond::lex_line());
            cond::comment2_f = 0;
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * sample_bytes());
}
BENCHMARK(BM_WalkWithLexLine);

// Pattern storage: the table points into these, as it points into argv in a run.
std::vector<std::string> table_text;

void fill_table(const std::vector<std::string> &patterns, int value, int mode)
{
    cond::options_reset();
    cond::eval_reset();
    table_text = patterns;
    for (std::string &p : table_text) {
        cond::conv_search_str(p.data(), 0);
        cond::list_name[cond::list_count] = p.data();
        cond::list_value[cond::list_count] = value;
        cond::list_count++;
    }
    cond::list_mode = mode;
}

// The 20 names of the throughput benchmark's -lA run.
const std::vector<std::string> la_names = {
    "CONFIG_NET*", "CONFIG_?MP", "CONFIG_P*",   "HAVE_*_H",   "HAVE_MMAP",
    "HAVE_EPOLL",  "USE_SSL",    "USE_Z*",      "USE_SJIS",   "ENABLE_FAST_*",
    "WITH_*",      "OS_LINUX",   "ARCH_X86_64", "FEATURE_A?", "FEATURE_*NAME*",
    "LEGACY_*_V2", "DEBUG",      "TRACE*",      "VERBOSE",    "*_STATS"};

// 256 patterns, every one with wildcards, of the shapes users write: prefixes, suffixes, inner
// parts and single-character holes.
std::vector<std::string> wild_table()
{
    std::vector<std::string> t;
    for (int i = 0; t.size() < 256; i++) {
        char buf[64];
        switch (i % 4) {
        case 0:
            std::snprintf(buf, sizeof buf, "MOD%d_*", i);
            break;
        case 1:
            std::snprintf(buf, sizeof buf, "*_OPT%d", i);
            break;
        case 2:
            std::snprintf(buf, sizeof buf, "*PART%d*", i);
            break;
        default:
            std::snprintf(buf, sizeof buf, "KEY?%d*", i);
            break;
        }
        t.push_back(buf);
    }
    return t;
}

// 256 names without wildcards, the yardstick of a lookup.
std::vector<std::string> exact_table()
{
    std::vector<std::string> t;
    for (int i = 0; i < 256; i++) {
        t.push_back("CONFIG_NAME_" + std::to_string(i));
    }
    return t;
}

// A name in no pattern: every entry is tried.
const char miss_name[] = "CONFIG_NETWORK_FEATURE_X";

void lookup(benchmark::State &state)
{
    std::string name = miss_name;
    for (auto _ : state) {
        int v;
        benchmark::DoNotOptimize(cond::eval_name(name.data(), &v));
        benchmark::DoNotOptimize(v);
    }
}

void BM_LookupWildTable256(benchmark::State &state)
{
    fill_table(wild_table(), 1, cond::LIST_MODE_UNDEF);
    lookup(state);
}
BENCHMARK(BM_LookupWildTable256);

void BM_LookupExactTable256(benchmark::State &state)
{
    fill_table(exact_table(), 1, cond::LIST_MODE_UNDEF);
    lookup(state);
}
BENCHMARK(BM_LookupExactTable256);

// What a plain linear scan of 256 exact names costs, without the evaluator around it.
void BM_StrcmpScanExact256(benchmark::State &state)
{
    const std::vector<std::string> t = exact_table();
    std::vector<const char *> ptrs;
    for (const std::string &s : t) {
        ptrs.push_back(s.c_str());
    }
    for (auto _ : state) {
        int found = -1;
        for (int i = 0; i < 256; i++) {
            if (std::strcmp(ptrs[i], miss_name) == 0) {
                found = i;
                break;
            }
        }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_StrcmpScanExact256);

void eval_operand(benchmark::State &state, const std::string &operand)
{
    put_in_buff(("#if " + operand).c_str());
    for (auto _ : state) {
        int v;
        cond::eval_if_expr(operand.c_str(), &v);
        benchmark::DoNotOptimize(v);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(operand.size()));
}

void BM_EvalIfTypical(benchmark::State &state)
{
    fill_table(la_names, 1, cond::LIST_MODE_UNDEF);
    eval_operand(state, "defined(CONFIG_NET) || !defined(HAVE_MMAP) || USE_SSL /* net */\n");
}
BENCHMARK(BM_EvalIfTypical);

// The longest operand, all names, looked up in a full table of wildcard patterns.
void BM_EvalIfLongestManyNames(benchmark::State &state)
{
    fill_table(wild_table(), 1, cond::LIST_MODE_UNDEF);
    std::string op;
    while (op.size() + 12 < static_cast<std::size_t>(cond::OPERAND_MAX)) {
        op += op.empty() ? "MOD1_A" : " && MOD1_A";
    }
    op += "\n";
    eval_operand(state, op);
}
BENCHMARK(BM_EvalIfLongestManyNames);

// The longest operand as defined() terms with long names.
void BM_EvalIfLongestDefined(benchmark::State &state)
{
    fill_table(wild_table(), 1, cond::LIST_MODE_UNDEF);
    const std::string term = "defined(CONFIG_A_RATHER_LONG_NAME_OF_A_FEATURE)";
    std::string op;
    while (op.size() + term.size() + 4 < static_cast<std::size_t>(cond::OPERAND_MAX)) {
        op += op.empty() ? term : " || " + term;
    }
    op += "\n";
    eval_operand(state, op);
}
BENCHMARK(BM_EvalIfLongestDefined);

// 64 KiB of header-like text, as the line reader holds one block of it.
std::string block_text()
{
    std::string text;
    while (text.size() < (std::size_t{1} << 16)) {
        for (const char *line : sample_lines) {
            text += line;
        }
        text += "struct timespec ts;\n\tint fd;\n    return (x + y) * z;\n";
    }
    text.resize(std::size_t{1} << 16);
    text.append(cond::CHUNK, '\0');  // the pad the reader keeps behind a block
    return text;
}

// Classification of a block at each instruction-set level (arg: SIMD_PORTABLE, SSE2, AVX2, AVX512);
// a level this processor lacks runs the best below it, as the program does.
void BM_ClassifyBlock(benchmark::State &state)
{
    const std::string text = block_text();
    const std::size_t n = (text.size() - cond::CHUNK) / cond::CHUNK;
    std::vector<cond::ChunkMasks> masks(n);
    const int level = cond::classify_select(static_cast<int>(state.range(0)));
    state.SetLabel(level == cond::SIMD_AVX512 ? "avx512"
                   : level == cond::SIMD_AVX2 ? "avx2"
                   : level == cond::SIMD_SSE2 ? "sse2"
                                              : "portable");
    for (auto _ : state) {
        cond::classify_chunks(reinterpret_cast<const unsigned char *>(text.data()), n,
                              masks.data());
        benchmark::DoNotOptimize(masks.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(n * cond::CHUNK));
    cond::classify_reset();
}
BENCHMARK(BM_ClassifyBlock)
    ->Arg(cond::SIMD_PORTABLE)
    ->Arg(cond::SIMD_SSE2)
    ->Arg(cond::SIMD_AVX2)
    ->Arg(cond::SIMD_AVX512);

// Skimming a classified block from code state, restarting behind each line that stops it, as the
// scan does between the lines that take the per-line path (a line left to that path is passed
// over here with the state it began in).
void BM_SkimBlock(benchmark::State &state)
{
    const std::string text = block_text();
    const std::size_t n = (text.size() - cond::CHUNK) / cond::CHUNK;
    std::vector<cond::ChunkMasks> masks(n + 1);
    cond::classify_chunks(reinterpret_cast<const unsigned char *>(text.data()), n + 1,
                          masks.data());
    const char *const end = text.data() + n * cond::CHUNK;
    for (auto _ : state) {
        long lines = 0;
        const char *p = text.data();
        cond::SkimLex lex{false, 0, 0};
        while (p < end) {
            const char *q = cond::skim_lines(text.data(), masks.data(), p, end, &lex, &lines);
            if (q == p) {
                bool marks;
                q = cond::skim_line_end(text.data(), masks.data(), p, end, &marks);
                if (q == nullptr) {
                    break;
                }
                q++;
            }
            p = q;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(n * cond::CHUNK));
    cond::classify_reset();
}
BENCHMARK(BM_SkimBlock);

}  // namespace

BENCHMARK_MAIN();
