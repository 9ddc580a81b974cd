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

// Bits from lo (inclusive) to hi (exclusive) of a 64-bit mask, 0 <= lo <= hi <= 64.
static inline std::uint64_t bit_range(unsigned lo, unsigned hi)
{
    const std::uint64_t upto = hi >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << hi) - 1;
    return upto & ~((std::uint64_t{1} << lo) - 1);
}

const char *skim_run(const char *base, const ChunkMasks *masks, const char *from, const char *end,
                     int state, long *lines)
{
    const std::size_t start = static_cast<std::size_t>(from - base);
    const std::size_t stop_at = static_cast<std::size_t>(end - base);
    // Offset behind the last newline taken into the run; the run is [start, taken).
    std::size_t taken = start;
    long count = 0;
    for (std::size_t k = start / CHUNK; k * CHUNK < stop_at; k++) {
        const std::size_t chunk = k * CHUNK;
        const unsigned lo = chunk < start ? static_cast<unsigned>(start - chunk) : 0;
        const unsigned hi = stop_at - chunk < CHUNK ? static_cast<unsigned>(stop_at - chunk) : 64;
        const std::uint64_t in = bit_range(lo, hi);
        const std::uint64_t stops = skim_stops(masks[k], state) & in;
        std::uint64_t nl = masks[k].newline & in;
        if (stops != 0) {
            // Only the lines that end before the first stop byte are free of stops.
            nl &= (stops & (~stops + 1)) - 1;
        }
        if (nl != 0) {
            // Lines inside one chunk are short; only the first line may have begun long before.
            const std::size_t first = chunk + static_cast<std::size_t>(__builtin_ctzll(nl));
            if (first + 1 - taken > SKIM_LINE_MAX) {
                break;
            }
            count += __builtin_popcountll(nl);
            taken = chunk + static_cast<std::size_t>(63 - __builtin_clzll(nl)) + 1;
        } else if (chunk + hi - taken > SKIM_LINE_MAX) {
            break;  // the line already holds more bytes than a skim takes
        }
        if (stops != 0) {
            break;
        }
    }
    *lines += count;
    return base + taken;
}

// Offset of the first byte at or behind from, and before end, whose bit is set in the field of the
// masks; end when there is none.
static std::size_t next_bit(const ChunkMasks *masks, std::uint64_t ChunkMasks::*field,
                            std::size_t from, std::size_t end)
{
    for (std::size_t k = from / CHUNK; k * CHUNK < end; k++) {
        const std::size_t chunk = k * CHUNK;
        const unsigned lo = chunk < from ? static_cast<unsigned>(from - chunk) : 0;
        const std::uint64_t m = masks[k].*field & bit_range(lo, 64);
        if (m != 0) {
            const std::size_t at = chunk + static_cast<std::size_t>(__builtin_ctzll(m));
            return at < end ? at : end;
        }
    }
    return end;
}

const char *skim_lines(const char *base, const ChunkMasks *masks, const char *from,
                       const char *end, int state, long *lines)
{
    const char *p = skim_run(base, masks, from, end, state, lines);
    while (state == SKIM_CODE) {
        const std::size_t at = static_cast<std::size_t>(p - base);
        const std::size_t stop_at = static_cast<std::size_t>(end - base);
        const std::size_t nl = next_bit(masks, &ChunkMasks::newline, at, stop_at);
        if (nl == stop_at || nl + 1 - at > SKIM_LINE_MAX) {
            break;  // not complete before end, or too long
        }
        const std::size_t ev = next_bit(masks, &ChunkMasks::event, at, nl);
        if (ev + 1 >= nl || base[ev] != '/' || base[ev + 1] != '/' ||
            next_bit(masks, &ChunkMasks::high, at, nl) != nl) {
            break;  // skim_run stopped at this line, so it holds a stop byte
        }
        ++*lines;
        p = skim_run(base, masks, base + nl + 1, end, state, lines);
    }
    return p;
}

}  // namespace cond
