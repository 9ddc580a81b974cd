// Bulk classification of input bytes, 64 at a time: where the lines end and where the bytes lie
// that can matter to the lexical walk or the directive test. Lines free of such bytes need no
// walk of their own, and line numbers follow from population counts of the newline mask.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cond {

constexpr std::size_t CHUNK = 64;  // bytes classified into one set of masks

// Bit i of each mask stands for byte i of the chunk.
struct ChunkMasks {
    std::uint64_t newline;    // '\n'
    std::uint64_t slash;      // '/': opens and closes comments
    std::uint64_t hash;       // '#': a directive, at a line start
    std::uint64_t quote;      // '"' and '\'': open and close literals
    std::uint64_t backslash;  // '\\': escapes the next byte in a literal
    std::uint64_t high;       // bytes of 0x80 and above (two-byte characters) and NUL
    std::uint64_t nul;        // NUL, which ends the walk through a line
};

// Instruction-set levels, lowest first. Every level gives the same masks.
constexpr int SIMD_PORTABLE = 0;  // eight bytes at a time in plain integers
constexpr int SIMD_SSE2 = 1;
constexpr int SIMD_AVX2 = 2;
constexpr int SIMD_AVX512 = 3;  // 64-byte vectors with mask registers (AVX-512BW)
constexpr int SIMD_OFF = -2;    // no bulk path at all: every line is read and walked one by one

// Classifies the n_chunks * CHUNK bytes at p into out[0 .. n_chunks - 1], at the level chosen by
// classify_select (chosen on first use when it has not been called).
void classify_chunks(const unsigned char *p, std::size_t n_chunks, ChunkMasks *out);

// Chooses the best level this processor runs that is not above cap, and returns it. A cap below
// SIMD_PORTABLE means no cap.
int classify_select(int cap);

// Level named by the environment variable VELK_SIMD ("portable", "sse2", "avx2", "avx512", or
// "lines" for
// SIMD_OFF), or -1 when it is unset or names no level; lets every path be run on one machine.
int classify_env_cap();

// Level in use: the one classify_select chose, or -1 before the first choice.
int classify_level();

// Forgets the chosen level; the next use chooses again (from VELK_SIMD).
void classify_reset();

}  // namespace cond
