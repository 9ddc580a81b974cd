// VELK_SIMD caps the classification level, so that each level can be run on one machine (the
// differential test of the whole program relies on it).
#include <gtest/gtest.h>

#include <cstdlib>

#include "cond/cond_classify.h"
#include "cond/cond_line.h"

namespace {

class CondClassifyEnv : public ::testing::Test {
protected:
    void TearDown() override
    {
        unsetenv("VELK_SIMD");
        cond::classify_reset();
    }
};

TEST_F(CondClassifyEnv, NamesEachLevelAndIgnoresOtherValues)
{
    unsetenv("VELK_SIMD");
    EXPECT_EQ(cond::classify_env_cap(), -1);
    setenv("VELK_SIMD", "portable", 1);
    EXPECT_EQ(cond::classify_env_cap(), cond::SIMD_PORTABLE);
    setenv("VELK_SIMD", "sse2", 1);
    EXPECT_EQ(cond::classify_env_cap(), cond::SIMD_SSE2);
    setenv("VELK_SIMD", "avx2", 1);
    EXPECT_EQ(cond::classify_env_cap(), cond::SIMD_AVX2);
    setenv("VELK_SIMD", "avx512", 1);
    EXPECT_EQ(cond::classify_env_cap(), cond::SIMD_AVX512);
    setenv("VELK_SIMD", "lines", 1);
    EXPECT_EQ(cond::classify_env_cap(), cond::SIMD_OFF);
    setenv("VELK_SIMD", "AVX2", 1);
    EXPECT_EQ(cond::classify_env_cap(), -1);
    setenv("VELK_SIMD", "", 1);
    EXPECT_EQ(cond::classify_env_cap(), -1);
}

TEST_F(CondClassifyEnv, FirstUseChoosesFromTheVariable)
{
    setenv("VELK_SIMD", "portable", 1);
    cond::classify_reset();
    unsigned char chunk[cond::CHUNK] = {'\n'};
    cond::ChunkMasks m;
    cond::classify_chunks(chunk, 1, &m);
    EXPECT_EQ(cond::classify_level(), cond::SIMD_PORTABLE);
    EXPECT_EQ(m.newline, 1u);
    EXPECT_EQ(m.high, ~std::uint64_t{1});  // the other 63 bytes are NUL
}

TEST_F(CondClassifyEnv, SkimmingOnlyWithVectorsUnlessAskedFor)
{
    // Skimming pays only where the classification runs on vectors; VELK_SIMD may still ask for
    // the portable classification, so that it stays tested everywhere.
    const auto skims = [](const char *simd) {
        if (simd != nullptr) {
            setenv("VELK_SIMD", simd, 1);
        } else {
            unsetenv("VELK_SIMD");
        }
        cond::classify_reset();
        cond::line_reset();
        return cond::line_skim_on();
    };
    EXPECT_EQ(skims("lines"), 0);
    EXPECT_EQ(skims("portable"), 1);
    const int vectors = cond::classify_select(-1) >= cond::SIMD_SSE2;
    EXPECT_EQ(skims(nullptr), vectors);
    EXPECT_EQ(skims("sse2"), vectors);
    cond::classify_reset();
    cond::line_reset();
}

}  // namespace
