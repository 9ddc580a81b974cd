#include "cond/cond_skim.h"

namespace cond {

std::uint64_t skim_stops(const ChunkMasks &m, int state)
{
    switch (state) {
    case SKIM_COMMENT:
        return m.slash | m.high;
    case SKIM_LITERAL:
        return (m.event & ~(m.slash | m.hash)) | m.high;
    case SKIM_TEXT:
        return m.hash | m.high;
    default:
        return m.event | m.high;
    }
}

// Number of set bits; without a population-count instruction in the baseline target the
// compiler's builtin becomes a library call.
static inline int bit_count(std::uint64_t m)
{
    m = m - ((m >> 1) & 0x5555555555555555u);
    m = (m & 0x3333333333333333u) + ((m >> 2) & 0x3333333333333333u);
    m = (m + (m >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<int>((m * 0x0101010101010101u) >> 56);
}

static inline unsigned low_bit(std::uint64_t m)
{
    return static_cast<unsigned>(__builtin_ctzll(m));
}
static inline unsigned high_bit(std::uint64_t m)
{
    return 63 - static_cast<unsigned>(__builtin_clzll(m));
}

// Mask of the bits at and above lo (lo < 64).
static inline std::uint64_t from_bit(unsigned lo) { return ~std::uint64_t{0} << lo; }

const char *skim_lines(const char *base, const ChunkMasks *masks, const char *from, const char *end,
                       int state, long *lines)
{
    const std::size_t stop_at = static_cast<std::size_t>(end - base);
    std::size_t taken = static_cast<std::size_t>(from - base);  // the run is [from, taken)
    long count = 0;
    std::size_t k = taken / CHUNK;
    // Bytes of chunk k still to look at: from the start of the current line to end.
    std::uint64_t in = from_bit(static_cast<unsigned>(taken % CHUNK));
    bool in_comment = false;  // the current line has reached a "//" and runs to its newline
    while (k * CHUNK < stop_at) {
        const std::size_t chunk = k * CHUNK;
        if (stop_at - chunk < CHUNK) {
            in &= ~from_bit(static_cast<unsigned>(stop_at - chunk));
        }
        const std::uint64_t nl = masks[k].newline & in;
        if (in_comment) {
            // Inside a line comment only a high byte or NUL matters, up to the newline.
            const std::uint64_t before = nl != 0 ? (nl & (~nl + 1)) - 1 : ~std::uint64_t{0};
            if ((masks[k].high & in & before) != 0) {
                break;
            }
            if (nl == 0) {
                if (chunk + CHUNK - taken > SKIM_LINE_MAX) {
                    break;
                }
                k++;
                in = ~std::uint64_t{0};
                continue;
            }
            const unsigned at = low_bit(nl);
            if (chunk + at + 1 - taken > SKIM_LINE_MAX) {
                break;
            }
            count++;
            taken = chunk + at + 1;
            in_comment = false;
            if (at == CHUNK - 1) {
                k++;
                in = ~std::uint64_t{0};
            } else {
                in = from_bit(at + 1);
            }
            continue;
        }
        const std::uint64_t stops = skim_stops(masks[k], state) & in;
        const std::uint64_t free_nl = stops != 0 ? nl & ((stops & (~stops + 1)) - 1) : nl;
        if (free_nl != 0) {
            // Lines inside one chunk are short; only the first may have begun long before.
            if (chunk + low_bit(free_nl) + 1 - taken > SKIM_LINE_MAX) {
                break;
            }
            count += bit_count(free_nl);
            taken = chunk + high_bit(free_nl) + 1;
        } else if (nl == 0 && chunk + CHUNK - taken > SKIM_LINE_MAX) {
            break;  // the line already holds more bytes than a skim takes
        }
        if (stops == 0) {
            k++;
            in = ~std::uint64_t{0};
            continue;
        }
        // The first stop byte: the line that holds it ends the run, unless in code it begins a
        // line comment that runs to the newline with no high byte or NUL.
        const std::size_t s = chunk + low_bit(stops);
        if (state != SKIM_CODE || base[s] != '/' || s + 1 >= stop_at || base[s + 1] != '/') {
            break;
        }
        in_comment = true;
        in = from_bit(static_cast<unsigned>(s % CHUNK)) << 1;  // from the byte after the first '/'
        if (s % CHUNK == CHUNK - 1) {
            k++;
            in = ~std::uint64_t{0};
        }
    }
    *lines += count;
    return base + taken;
}

const char *skim_line_end(const char *base, const ChunkMasks *masks, const char *from,
                          const char *end, bool *marks)
{
    const std::size_t stop_at = static_cast<std::size_t>(end - base);
    std::size_t at = static_cast<std::size_t>(from - base);
    std::uint64_t in = from_bit(static_cast<unsigned>(at % CHUNK));
    std::uint64_t seen = 0;
    for (std::size_t k = at / CHUNK; k * CHUNK < stop_at; k++, in = ~std::uint64_t{0}) {
        const std::size_t chunk = k * CHUNK;
        if (stop_at - chunk < CHUNK) {
            in &= ~from_bit(static_cast<unsigned>(stop_at - chunk));
        }
        const std::uint64_t nl = masks[k].newline & in;
        const std::uint64_t mark = masks[k].event & ~masks[k].hash & in;
        if (nl != 0) {
            *marks = (seen | (mark & ((nl & (~nl + 1)) - 1))) != 0;
            return base + chunk + low_bit(nl);
        }
        seen |= mark;
    }
    return nullptr;
}

}  // namespace cond
