#include "cond/cond_classify.h"

#include <cstdlib>
#include <cstring>

namespace cond {

// The level classify_chunks runs at; -1 until classify_select or the first use chooses one.
static int simd_level = -1;

using ClassifyFn = void (*)(const unsigned char *, std::size_t, ChunkMasks *);
static ClassifyFn classify_fn;  // classify_select: the kernel of simd_level

// ---- portable: eight bytes at a time ----

constexpr std::uint64_t ONES = 0x0101010101010101u;
constexpr std::uint64_t HIGHS = 0x8080808080808080u;

// The 0x80 bit of every byte of x that is zero; exact for every byte (no borrow between bytes).
static inline std::uint64_t zero_bytes(std::uint64_t x)
{
    const std::uint64_t low7 = ~HIGHS;
    return ~(((x & low7) + low7) | x) & HIGHS;
}

static inline std::uint64_t equal_bytes(std::uint64_t w, unsigned char c)
{
    return zero_bytes(w ^ (ONES * c));
}

// The 0x80 bits of the eight bytes as eight bits, byte 0 lowest: each byte's bit moves to its own
// place among the top eight bits, and no two products meet.
static inline unsigned pack_bits(std::uint64_t m)
{
    return static_cast<unsigned>(((m >> 7) * 0x0102040810204080u) >> 56);
}

static void classify_portable(const unsigned char *p, std::size_t n_chunks, ChunkMasks *out)
{
    for (std::size_t k = 0; k < n_chunks; k++, p += CHUNK) {
        ChunkMasks m{0, 0, 0, 0, 0, 0, 0};
        for (unsigned i = 0; i < CHUNK; i += 8) {
            // Byte 0 in the low bits whatever the machine's byte order; one load where it is low
            // first.
            std::uint64_t w = 0;
            for (unsigned b = 0; b < 8; b++) {
                w |= std::uint64_t{p[i + b]} << (8 * b);
            }
            m.newline |= std::uint64_t{pack_bits(equal_bytes(w, '\n'))} << i;
            m.slash |= std::uint64_t{pack_bits(equal_bytes(w, '/'))} << i;
            m.hash |= std::uint64_t{pack_bits(equal_bytes(w, '#'))} << i;
            m.quote |= std::uint64_t{pack_bits(equal_bytes(w, '"') | equal_bytes(w, '\''))} << i;
            m.backslash |= std::uint64_t{pack_bits(equal_bytes(w, '\\'))} << i;
            m.high |= std::uint64_t{pack_bits((w & HIGHS) | zero_bytes(w))} << i;
            m.nul |= std::uint64_t{pack_bits(zero_bytes(w))} << i;
        }
        out[k] = m;
    }
}

}  // namespace cond

// ---- x86: SSE2 and AVX2, chosen at run time ----
// The kernels are compiled for their instruction sets alone (target attributes), so the rest of
// the program still runs on the oldest processor of its target.
#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

namespace cond {

__attribute__((target("sse2"))) static inline unsigned eq16(__m128i v, char c)
{
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
}

__attribute__((target("sse2"))) static void classify_sse2(const unsigned char *p,
                                                          std::size_t n_chunks, ChunkMasks *out)
{
    const __m128i zero = _mm_setzero_si128();
    for (std::size_t k = 0; k < n_chunks; k++, p += CHUNK) {
        ChunkMasks m{0, 0, 0, 0, 0, 0, 0};
        for (unsigned i = 0; i < CHUNK; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
            const unsigned nul = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
            const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v)) | nul;
            m.newline |= std::uint64_t{eq16(v, '\n')} << i;
            m.slash |= std::uint64_t{eq16(v, '/')} << i;
            m.hash |= std::uint64_t{eq16(v, '#')} << i;
            m.quote |= std::uint64_t{eq16(v, '"') | eq16(v, '\'')} << i;
            m.backslash |= std::uint64_t{eq16(v, '\\')} << i;
            m.high |= std::uint64_t{high} << i;
            m.nul |= std::uint64_t{nul} << i;
        }
        out[k] = m;
    }
}

__attribute__((target("avx2"))) static inline std::uint32_t eq32(__m256i v, char c)
{
    return static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(c))));
}

__attribute__((target("avx2"))) static void classify_avx2(const unsigned char *p,
                                                          std::size_t n_chunks, ChunkMasks *out)
{
    const __m256i zero = _mm256_setzero_si256();
    for (std::size_t k = 0; k < n_chunks; k++, p += CHUNK) {
        ChunkMasks m{0, 0, 0, 0, 0, 0, 0};
        for (unsigned i = 0; i < CHUNK; i += 32) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + i));
            const std::uint32_t nul =
                static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, zero)));
            const std::uint32_t high = static_cast<std::uint32_t>(_mm256_movemask_epi8(v)) | nul;
            m.newline |= std::uint64_t{eq32(v, '\n')} << i;
            m.slash |= std::uint64_t{eq32(v, '/')} << i;
            m.hash |= std::uint64_t{eq32(v, '#')} << i;
            m.quote |= std::uint64_t{eq32(v, '"') | eq32(v, '\'')} << i;
            m.backslash |= std::uint64_t{eq32(v, '\\')} << i;
            m.high |= std::uint64_t{high} << i;
            m.nul |= std::uint64_t{nul} << i;
        }
        out[k] = m;
    }
}

__attribute__((target("avx512f,avx512bw"))) static inline std::uint64_t eq64(__m512i v, char c)
{
    return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
}

// One 64-byte vector is a whole chunk, and each comparison gives its bits directly.
__attribute__((target("avx512f,avx512bw"))) static void
classify_avx512(const unsigned char *p, std::size_t n_chunks, ChunkMasks *out)
{
    for (std::size_t k = 0; k < n_chunks; k++, p += CHUNK) {
        const __m512i v = _mm512_loadu_si512(p);
        ChunkMasks m;
        m.slash = eq64(v, '/');
        m.hash = eq64(v, '#');
        m.quote = eq64(v, '"') | eq64(v, '\'');
        m.backslash = eq64(v, '\\');
        m.newline = eq64(v, '\n');
        m.nul = _mm512_testn_epi8_mask(v, v);
        m.high = _mm512_movepi8_mask(v) | m.nul;
        out[k] = m;
    }
}

// Highest level this processor runs. Vectors of 32 bytes and more stay off on Windows, whose stack
// keeps only 16-byte alignment: the compiler may spill them to the stack with aligned moves.
static int best_level()
{
    __builtin_cpu_init();
#if !defined(_WIN32)
    if (__builtin_cpu_supports("avx512bw")) {
        return SIMD_AVX512;
    }
    if (__builtin_cpu_supports("avx2")) {
        return SIMD_AVX2;
    }
#endif
    if (__builtin_cpu_supports("sse2")) {
        return SIMD_SSE2;
    }
    return SIMD_PORTABLE;
}

static ClassifyFn kernel_of(int level)
{
    if (level == SIMD_AVX512) {
        return classify_avx512;
    }
    if (level == SIMD_AVX2) {
        return classify_avx2;
    }
    if (level == SIMD_SSE2) {
        return classify_sse2;
    }
    return classify_portable;
}

}  // namespace cond

#else  // other processors: the portable kernel only

namespace cond {

static int best_level() { return SIMD_PORTABLE; }
static ClassifyFn kernel_of(int) { return classify_portable; }

}  // namespace cond

#endif

namespace cond {

int classify_select(int cap)
{
    int level = best_level();
    if (cap >= SIMD_PORTABLE && cap < level) {
        level = cap;
    }
    simd_level = level;
    classify_fn = kernel_of(level);
    return level;
}

int classify_env_cap()
{
    const char *v = std::getenv("VELK_SIMD");
    if (v == nullptr) {
        return -1;
    }
    if (std::strcmp(v, "portable") == 0) {
        return SIMD_PORTABLE;
    }
    if (std::strcmp(v, "sse2") == 0) {
        return SIMD_SSE2;
    }
    if (std::strcmp(v, "avx2") == 0) {
        return SIMD_AVX2;
    }
    if (std::strcmp(v, "avx512") == 0) {
        return SIMD_AVX512;
    }
    if (std::strcmp(v, "lines") == 0) {
        return SIMD_OFF;
    }
    return -1;
}

void classify_chunks(const unsigned char *p, std::size_t n_chunks, ChunkMasks *out)
{
    if (classify_fn == nullptr) {
        classify_select(classify_env_cap());
    }
    classify_fn(p, n_chunks, out);
}

int classify_level() { return simd_level; }

void classify_reset()
{
    simd_level = -1;
    classify_fn = nullptr;
}

}  // namespace cond
