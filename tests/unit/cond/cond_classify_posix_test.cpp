// VELK_SIMD caps the classification level, so that each level can be run on one machine (the
// differential test of the whole program relies on it).
#include <gtest/gtest.h>

#include <cstdlib>

#include "cond/cond_classify.h"

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

}  // namespace
