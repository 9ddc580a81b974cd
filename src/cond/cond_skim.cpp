#include "cond/cond_skim.h"

#include "cond/cond_lex.h"

namespace cond {

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

// The bytes a walk must look at, by state. Nothing else can open or close a comment or literal.
static inline std::uint64_t code_marks(const ChunkMasks &m) { return m.event; }
static inline std::uint64_t comment_marks(const ChunkMasks &m) { return m.slash; }
static inline std::uint64_t literal_marks(const ChunkMasks &m)
{
    return m.event & ~(m.slash | m.hash);  // quotes and backslash
}
static inline std::uint64_t text_marks(const ChunkMasks &m) { return m.hash; }
static inline std::uint64_t high_marks(const ChunkMasks &m) { return m.high; }
static inline std::uint64_t nul_marks(const ChunkMasks &m) { return m.nul; }
static inline std::uint64_t newline_marks(const ChunkMasks &m) { return m.newline; }

static inline std::uint64_t marks_of(const ChunkMasks &m, const SkimLex &lex)
{
    if (lex.text) {
        return text_marks(m);
    }
    return lex.comment ? comment_marks(m) : lex.quote ? literal_marks(m) : code_marks(m);
}

// Position of the first byte at or behind pos and before limit that sel marks, or limit.
template <std::uint64_t (*sel)(const ChunkMasks &)>
static inline std::size_t next_mark(const ChunkMasks *masks, std::size_t pos, std::size_t limit)
{
    if (pos >= limit) {
        return limit;
    }
    std::size_t k = pos / CHUNK;
    std::uint64_t m = sel(masks[k]) & from_bit(static_cast<unsigned>(pos % CHUNK));
    while (m == 0) {
        if (++k * CHUNK >= limit) {
            return limit;
        }
        m = sel(masks[k]);
    }
    const std::size_t at = k * CHUNK + low_bit(m);
    return at < limit ? at : limit;
}

static inline bool is_high(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// Whether the line [ls, nl] (nl its newline), whose first byte marked in the state *lex is at s,
// may be skimmed; if so, walks it as lex_line and lex_finish would and updates *lex.
static bool take_line(const char *base, const ChunkMasks *masks, std::size_t ls, std::size_t s,
                      std::size_t nl, SkimLex *lex)
{
    const bool plain = !lex->comment && !lex->quote;
    std::size_t w = ls;  // the walk goes on from here, always at the start of a character
    if (plain && base[s] == '#') {
        std::size_t b = ls;
        while (base[b] == ' ' || base[b] == '\t') {
            b++;
        }
        if (b == s) {
            const int kind = directive_kind(base + s);  // stops at the newline at the latest
            if (kind >= 0) {
                return false;  // a conditional: the block processor decides
            }
            w = s + 1;  // any other directive: its text is walked like code
        }
    }
    if (lex->text) {
        return true;
    }
    // A lead byte takes the byte behind it along and a NUL ends the walk: where a mark may stand
    // behind one, only the line-by-line walk knows what it means.
    const bool high = next_mark<high_marks>(masks, ls, nl) < nl;
    if (high && next_mark<nul_marks>(masks, ls, nl) < nl) {
        return false;
    }
    int comment = lex->comment;
    int quote = lex->quote;
    while (w < nl) {
        if (comment) {
            // A "*/" closes it, its '*' at or behind w: "/*/" does not.
            const std::size_t q = next_mark<comment_marks>(masks, w + 1, nl);
            if (q >= nl) {
                break;
            }
            if (base[q - 1] == '*') {
                if (high && q - 1 > w && is_high(base[q - 2])) {
                    return false;
                }
                comment = 0;
            }
            w = q + 1;
            continue;
        }
        const std::size_t q =
            quote ? next_mark<literal_marks>(masks, w, nl) : next_mark<code_marks>(masks, w, nl);
        if (q >= nl) {
            break;
        }
        if (high && q > w && is_high(base[q - 1])) {
            return false;
        }
        const char c = base[q];
        w = q + 1;
        if (quote) {
            if (c == '\\') {
                w = q + 2;  // the escaped byte is passed over, whatever it is
            } else if (static_cast<unsigned char>(c) == quote) {
                quote = 0;
            }
        } else if (c == '/') {
            if (base[q + 1] == '/') {
                break;  // a line comment takes the rest of the line
            }
            if (base[q + 1] == '*') {
                comment = 1;
                w = q + 2;
            }
        } else if (c == '"' || c == '\'') {
            quote = static_cast<unsigned char>(c);
        }
    }
    lex->comment = comment;
    lex->quote = quote;
    return true;
}

const char *skim_lines(const char *base, const ChunkMasks *masks, const char *from, const char *end,
                       SkimLex *lex, long *lines)
{
    const std::size_t stop_at = static_cast<std::size_t>(end - base);
    std::size_t taken = static_cast<std::size_t>(from - base);  // the run is [from, taken)
    long count = 0;
    std::size_t k = taken / CHUNK;
    // Bytes of chunk k still to look at: from the start of the current line to end.
    std::uint64_t in = from_bit(static_cast<unsigned>(taken % CHUNK));
    while (k * CHUNK < stop_at) {
        const std::size_t chunk = k * CHUNK;
        if (stop_at - chunk < CHUNK) {
            in &= ~from_bit(static_cast<unsigned>(stop_at - chunk));
        }
        const std::uint64_t nl = masks[k].newline & in;
        const std::uint64_t marks = marks_of(masks[k], *lex) & in;
        // Lines with no mark of the state pass whole, counted from the newline mask.
        const std::uint64_t free_nl = marks != 0 ? nl & ((marks & (~marks + 1)) - 1) : nl;
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
        if (marks == 0) {
            k++;
            in = ~std::uint64_t{0};
            continue;
        }
        // The line that holds the first mark is walked whole, when it is complete and short.
        const std::size_t s = chunk + low_bit(marks);
        const std::size_t e = next_mark<newline_marks>(masks, s, stop_at);
        if (e >= stop_at || e + 1 - taken > SKIM_LINE_MAX ||
            !take_line(base, masks, taken, s, e, lex)) {
            break;
        }
        count++;
        taken = e + 1;
        k = taken / CHUNK;
        in = from_bit(static_cast<unsigned>(taken % CHUNK));
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
