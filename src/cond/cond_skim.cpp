#include "cond/cond_skim.h"

#include "cond/cond_lex.h"
#include "support/sj_string.h"

namespace cond {

// Number of set bits. Fast builds use the processor's instruction; without it in the baseline
// target the compiler's builtin becomes a library call, slower than this.
template <bool Fast>
static inline int bit_count(std::uint64_t m)
{
    if (Fast) {
        return __builtin_popcountll(m);
    }
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

static inline bool is_high(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// Whether at is the start of a character when w is one (w <= at; no NUL in [w, at)).
static bool starts_char(const char *base, std::size_t w, std::size_t at)
{
    while (w < at) {
        w += support::is_sj_lead(static_cast<unsigned char>(base[w])) ? 2 : 1;
    }
    return w == at;
}

// Whether only blanks and tabs lie in [from, to).
static inline bool blanks_only(const char *base, std::size_t from, std::size_t to)
{
    while (from < to && (base[from] == ' ' || base[from] == '\t')) {
        from++;
    }
    return from == to;
}

// Whether the line from start, its newline at nl, ends in a backslash (before a CR ending it),
// which the names scan reads as carrying a line comment on into the next line.
static inline bool comment_goes_on(const char *base, std::size_t start, std::size_t nl)
{
    std::size_t e = nl;
    if (e > start && base[e - 1] == '\r') {
        e--;
    }
    return e > start && base[e - 1] == '\\';
}

// One pass over the masks, chunk by chunk: runs of newlines before the next byte that matters in
// the current state are counted at once, and each such byte is handled where it stands in the
// block, as the line walk of cond_lex handles it in the line buffer. Where a line needs the
// line-by-line path, the run ends at the line's start with the state the line began in.
template <bool Fast>
static inline __attribute__((always_inline)) const char *
skim_impl(const char *base, const ChunkMasks *masks, const char *from, const char *end,
          SkimLex *lex, long *lines)
{
    const std::size_t stop_at = static_cast<std::size_t>(end - base);
    const bool text = lex->text;
    const bool names = lex->names;
    std::size_t taken = static_cast<std::size_t>(from - base);  // the run is [from, taken)
    long count = 0;
    int comment = lex->comment;  // the state at pos
    int quote = lex->quote;
    int line_comment = comment;  // the state at taken, the start of the current line
    int line_quote = quote;
    std::size_t pos = taken;    // the bytes of the current line before pos are walked
    std::size_t w = taken;      // the start of a character at or before pos, within the line
    bool rest_free = false;     // the rest of the line changes nothing (a line comment, or -T)
    bool rest_comment = false;  // and it is a line comment
    lex->stop_kind = -1;
    lex->stop_hash = 0;
    lex->stop_len = 0;
    lex->stop_marks = false;
    // Takes the current line, its newline at e, into the run; false when it is too long for one.
    const auto end_line = [&](std::size_t e) {
        if (e + 1 - taken > SKIM_LINE_MAX) {
            return false;
        }
        count++;
        taken = w = pos = e + 1;
        line_comment = comment;
        line_quote = quote;
        return true;
    };
    for (;;) {
        const std::size_t chunk = pos / CHUNK * CHUNK;
        if (chunk >= stop_at) {
            break;
        }
        const ChunkMasks &m = masks[pos / CHUNK];
        std::uint64_t in = from_bit(static_cast<unsigned>(pos % CHUNK));
        if (stop_at - chunk < CHUNK) {
            in &= ~from_bit(static_cast<unsigned>(stop_at - chunk));
        }
        const std::uint64_t nl = m.newline & in;
        if (rest_free) {
            // Nothing up to the newline matters; behind it the next line starts afresh.
            if (nl == 0) {
                if (chunk + CHUNK - taken > SKIM_LINE_MAX) {
                    break;
                }
                pos = chunk + CHUNK;
                continue;
            }
            if (rest_comment && names && comment_goes_on(base, taken, chunk + low_bit(nl))) {
                break;
            }
            if (!end_line(chunk + low_bit(nl))) {
                break;
            }
            rest_free = false;
            continue;
        }
        // A NUL ends the line walk early: where it stands in a line with marks to walk, only the
        // line-by-line path knows what it hides.
        std::uint64_t marks;
        if (text) {
            marks = m.hash;
        } else if (comment) {
            marks = m.slash | m.nul;
        } else if (quote) {
            marks = m.quote | m.backslash | m.nul;
        } else {
            marks = m.slash | m.hash | m.quote | m.nul;  // a backslash escapes nothing here
        }
        marks &= in;
        // Newlines before the first mark; all of them when there is none.
        const std::uint64_t free_nl = nl & ((marks & (~marks + 1)) - 1);
        if (chunk + CHUNK - taken > SKIM_LINE_MAX) {
            // The current line has already been long: it may not end in time. Only the first of
            // the lines ending in this chunk may have begun in an earlier one.
            if (free_nl != 0 ? chunk + low_bit(free_nl) + 1 - taken > SKIM_LINE_MAX : nl == 0) {
                break;
            }
        }
        // The lines ending before the first mark are counted in one step, and the run moves to
        // the start of the line after them.
        count += bit_count<Fast>(free_nl);
        const std::size_t after = chunk + high_bit(free_nl | 1) + 1;  // used only with free_nl
        const bool ended = free_nl != 0;
        taken = ended ? after : taken;
        w = ended ? after : w;
        line_comment = ended ? comment : line_comment;
        line_quote = ended ? quote : line_quote;
        if (marks == 0) {
            pos = chunk + CHUNK;
            continue;
        }
        const std::size_t q = chunk + low_bit(marks);
        const char c = base[q];
        pos = q + 1;
        if (c == '#' && !comment && !quote) {
            // At a line start behind blanks, with nothing open, a conditional is the block
            // processor's; any other directive is walked like code.
            if (blanks_only(base, taken, q)) {
                const int kind = directive_kind(base + q);
                if (kind >= 0) {
                    lex->stop_kind = kind;
                    lex->stop_hash = q - taken;
                    // The line reader needs its end and whether it has anything to walk; most
                    // directive lines end in the chunk of their '#'.
                    const std::uint64_t rest = from_bit(static_cast<unsigned>(q % CHUNK));
                    const std::uint64_t later = nl & rest;
                    if (later != 0) {
                        lex->stop_len = chunk + low_bit(later) + 1 - taken;
                        lex->stop_marks = ((m.slash | m.quote | m.backslash) & rest &
                                           ((later & (~later + 1)) - 1)) != 0;
                    }
                    break;
                }
                if (names && is_define(base + q)) {
                    break;
                }
            }
            if (text) {
                rest_free = true;
                rest_comment = false;
                continue;
            }
        }
        if (c == '\0') {
            break;
        }
        // A lead byte takes the byte behind it along, whatever it is: where a high byte stands
        // right before the mark, the characters from w tell whether the mark begins one.
        if (comment) {
            // "*/" with its '*' at or behind w ("/*/" is no end), the '*' beginning a character.
            if (base[q - (q != 0)] == '*' && q > w &&
                (q - 1 == w || !is_high(base[q - 2]) || starts_char(base, w, q - 1))) {
                comment = 0;
            }
            w = pos;
            continue;
        }
        if (is_high(base[q - (q != 0)]) && q > w && !starts_char(base, w, q)) {
            w = pos;  // the mark is the second byte of a two-byte character
            continue;
        }
        w = pos;
        if (quote) {
            if (c == '\\') {
                // The escaped byte is passed over, whatever it is; an escaped newline still ends
                // the line, with the literal open. A NUL is not passed over: it ends the walk.
                if (base[q + 1] == '\0') {
                    break;
                }
                if (base[q + 1] != '\n') {
                    w = pos = q + 2;
                }
            } else if (static_cast<unsigned char>(c) == quote) {
                quote = 0;
            }
        } else if (c == '/') {
            if (base[q + 1] == '/') {
                // A line comment takes the rest of the line; most end in the same chunk.
                const std::uint64_t later = nl & (from_bit(static_cast<unsigned>(q % CHUNK)) << 1);
                if (later == 0) {
                    rest_free = true;
                    rest_comment = true;
                    continue;
                }
                if (names && comment_goes_on(base, taken, chunk + low_bit(later))) {
                    break;
                }
                if (!end_line(chunk + low_bit(later))) {
                    break;
                }
            } else if (base[q + 1] == '*') {
                comment = 1;
                w = pos = q + 2;
            }
        } else if (c == '"' || c == '\'') {
            quote = static_cast<unsigned char>(c);
        }
    }
    *lines += count;
    lex->comment = line_comment;
    lex->quote = line_quote;
    return base + taken;
}

static const char *skim_portable(const char *base, const ChunkMasks *masks, const char *from,
                                 const char *end, SkimLex *lex, long *lines)
{
    return skim_impl<false>(base, masks, from, end, lex, lines);
}

#if defined(__i386__) || defined(__x86_64__)
// Every processor with 32-byte vectors also counts bits and finds the lowest in one instruction.
__attribute__((target("avx2,popcnt,bmi,bmi2,lzcnt"))) static const char *
skim_avx2(const char *base, const ChunkMasks *masks, const char *from, const char *end,
          SkimLex *lex, long *lines)
{
    return skim_impl<true>(base, masks, from, end, lex, lines);
}
#endif

const char *skim_lines(const char *base, const ChunkMasks *masks, const char *from, const char *end,
                       SkimLex *lex, long *lines)
{
#if defined(__i386__) || defined(__x86_64__)
    if (classify_level() >= SIMD_AVX2) {
        return skim_avx2(base, masks, from, end, lex, lines);
    }
#endif
    return skim_portable(base, masks, from, end, lex, lines);
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
        const std::uint64_t mark = (masks[k].slash | masks[k].quote | masks[k].backslash) & in;
        if (nl != 0) {
            *marks = (seen | (mark & ((nl & (~nl + 1)) - 1))) != 0;
            return base + chunk + low_bit(nl);
        }
        seen |= mark;
    }
    return nullptr;
}

}  // namespace cond
