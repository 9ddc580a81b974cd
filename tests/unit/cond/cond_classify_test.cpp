// Every classification level must give exactly the masks of a byte-by-byte reading; each level
// this processor runs is checked against that reading and against the portable level.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "cond/cond_classify.h"

namespace {

cond::ChunkMasks reference(const unsigned char *p)
{
    cond::ChunkMasks m{0, 0, 0, 0, 0, 0, 0};
    for (unsigned i = 0; i < cond::CHUNK; i++) {
        const unsigned char c = p[i];
        const std::uint64_t bit = std::uint64_t{1} << i;
        if (c == '\n') {
            m.newline |= bit;
        }
        if (c == '"' || c == '\'') {
            m.quote |= bit;
        }
        if (c == '\\') {
            m.backslash |= bit;
        }
        if (c == '/') {
            m.slash |= bit;
        }
        if (c == '#') {
            m.hash |= bit;
        }
        if (c >= 0x80 || c == 0) {
            m.high |= bit;
        }
        if (c == 0) {
            m.nul |= bit;
        }
    }
    return m;
}

// Classifies the chunks of bytes at every level up to the best this processor runs and compares
// each chunk with the reference. Returns the levels actually run.
std::vector<int> check_all_levels(const std::vector<unsigned char> &bytes)
{
    const std::size_t n = bytes.size() / cond::CHUNK;
    std::vector<int> run;
    for (int cap = cond::SIMD_PORTABLE; cap <= cond::SIMD_AVX512; cap++) {
        const int level = cond::classify_select(cap);
        EXPECT_LE(level, cap);
        if (level != cap) {
            continue;  // this processor does not run the level
        }
        run.push_back(level);
        std::vector<cond::ChunkMasks> got(n);
        cond::classify_chunks(bytes.data(), n, got.data());
        for (std::size_t k = 0; k < n; k++) {
            const cond::ChunkMasks want = reference(bytes.data() + k * cond::CHUNK);
            SCOPED_TRACE("level " + std::to_string(level) + ", chunk " + std::to_string(k));
            EXPECT_EQ(got[k].newline, want.newline);
            EXPECT_EQ(got[k].quote, want.quote);
            EXPECT_EQ(got[k].backslash, want.backslash);
            EXPECT_EQ(got[k].slash, want.slash);
            EXPECT_EQ(got[k].hash, want.hash);
            EXPECT_EQ(got[k].high, want.high);
            EXPECT_EQ(got[k].nul, want.nul);
        }
    }
    cond::classify_reset();
    return run;
}

TEST(CondClassify, EveryByteValueAtEveryPosition)
{
    // Chunk v holds byte value v at position v % 64, and its neighbours at the positions around
    // it, over a background of ordinary letters: every value lands in every lane of a vector.
    std::vector<unsigned char> bytes;
    for (int v = 0; v < 256; v++) {
        for (unsigned shift = 0; shift < cond::CHUNK; shift += 21) {
            std::vector<unsigned char> chunk(cond::CHUNK, 'a');
            const unsigned pos = (static_cast<unsigned>(v) + shift) % cond::CHUNK;
            chunk[pos] = static_cast<unsigned char>(v);
            chunk[(pos + 1) % cond::CHUNK] = static_cast<unsigned char>(255 - v);
            chunk[(pos + 7) % cond::CHUNK] = static_cast<unsigned char>(v ^ 0x80);
            bytes.insert(bytes.end(), chunk.begin(), chunk.end());
        }
    }
    const std::vector<int> run = check_all_levels(bytes);
    ASSERT_FALSE(run.empty());
    EXPECT_EQ(run[0], cond::SIMD_PORTABLE);
}

TEST(CondClassify, UniformAndRandomChunks)
{
    std::vector<unsigned char> bytes;
    // Chunks of one byte value each: the masks are all ones or all zeros, the ends of each lane.
    for (const unsigned char c :
         {'\n', '#', '/', '"', '\'', '\\', '\0', '\r', '\x80', '\xFF', 'x'}) {
        bytes.insert(bytes.end(), cond::CHUNK, c);
    }
    std::mt19937 rng(12345);
    // Random bytes, and random text over the bytes that matter, so that masks are dense.
    const unsigned char dense[] = {'\n', '#',  '/',  '"',  '\'', '\\',
                                   '\0', '\r', 0x81, 0xE0, 0x7F, ' '};
    for (int k = 0; k < 2000; k++) {
        for (unsigned i = 0; i < cond::CHUNK; i++) {
            const unsigned r = rng();
            bytes.push_back(k % 2 ? static_cast<unsigned char>(r) : dense[r % sizeof dense]);
        }
    }
    check_all_levels(bytes);
}

TEST(CondClassify, SelectHonoursTheCapAndRemembersTheLevel)
{
    cond::classify_reset();
    EXPECT_EQ(cond::classify_level(), -1);
    EXPECT_EQ(cond::classify_select(cond::SIMD_PORTABLE), cond::SIMD_PORTABLE);
    EXPECT_EQ(cond::classify_level(), cond::SIMD_PORTABLE);
    const int best = cond::classify_select(-1);
    EXPECT_GE(best, cond::SIMD_PORTABLE);
    EXPECT_EQ(cond::classify_select(cond::SIMD_AVX512 + 5), best);
    cond::classify_reset();
    EXPECT_EQ(cond::classify_level(), -1);
}

}  // namespace
