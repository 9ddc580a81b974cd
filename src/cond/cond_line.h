// The input file and the shared line buffer: the scanner and the block processor read the same
// file into the same buffer, one line at a time, and count lines and open conditionals here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace cond {

struct SkimLex;

constexpr int BUFF_SIZE = 4098;  // byte 0 a blank, read area 1..4096, byte 4097 always NUL
constexpr int LINE_READ = 4096;  // most bytes one read puts into the read area
constexpr int LINE_MAX = 4094;   // longest accepted line, its newline included

extern char buff[BUFF_SIZE];  // line_read: the current line from byte 1, NUL after its end;
                              // line_open: the blank in byte 0
extern FILE *fp;              // line_open: the input file, open until the run ends
extern int line_no;           // line_read: number of the line last read, from 1
extern int if_depth;          // proc_block: conditionals open (raised on entry, lowered at #endif)
extern int line_len;          // line_read: bytes of the line from buff + 1, newline included
extern int line_cr;           // line_read: 1 when a CR stood before the line's newline
extern int line_dir_kind;     // line_read: the line's directive kind when the skim that stopped
                              // before it found a conditional directive (it did so only in plain
                              // code), else -1
extern int line_dir_at;       // line_read: then the offset of its '#' from buff + 1
extern int line_plain;        // line_read: 1 when the line holds no '/' and no quote, so that a
                              // walk through it opens and closes nothing, in any state (two-byte
                              // characters then hide nothing that matters)

// Eight bytes read as one integer: the line reader and the walk test them a word at a time.
constexpr std::uint64_t WORD_ONES = 0x0101010101010101u;
constexpr std::uint64_t WORD_HIGHS = 0x8080808080808080u;

// Nonzero exactly when some byte of w equals c (c below 0x80); bytes of 0x80 and above never
// count as equal.
inline std::uint64_t word_has_byte(std::uint64_t w, unsigned char c)
{
    const std::uint64_t x = w ^ (WORD_ONES * c);
    return (x - WORD_ONES) & ~x & WORD_HIGHS;
}

// The 0x80 bit of every byte of x that is not zero; exact for every byte, with no carry between
// bytes.
inline std::uint64_t word_nonzero(std::uint64_t x)
{
    const std::uint64_t low7 = ~WORD_HIGHS;
    return (((x & low7) + low7) | x) & WORD_HIGHS;
}

// Where bytes of 0x80 and above count anyway, three operations a byte value do: ORing w and
// word_borrow(w, c) for every c looked for and keeping the 0x80 bits flags every byte that is
// 0x80 or above or equals one of the c.
inline std::uint64_t word_borrow(std::uint64_t w, unsigned char c)
{
    return (w ^ (WORD_ONES * c)) - WORD_ONES;
}

// In such a mask, or one of word_has_byte results and 0x80 bits of w ORed together, the lowest
// flagged byte is exactly the first byte that equals one of the bytes looked for or has its 0x80
// bit set: a false flag only ever stands above a true one.

// true when a word read from memory holds its first byte lowest, as word_first needs; the word
// paths are used only then.
inline bool word_low_first()
{
    const std::uint32_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// Index (0 to 7) of the lowest flagged byte of a nonzero mask of 0x80 bits.
inline std::size_t word_first(std::uint64_t m)
{
    const std::uint64_t low = m & (~m + 1);
    const std::uint64_t before = ((low >> 7) - 1) & WORD_ONES;  // 0x01 in every byte below it
    return static_cast<std::size_t>((before * WORD_ONES) >> 56);
}

// Opens the named file for reading and puts the blank into byte 0 of buff. Returns 0, or -1 when
// it cannot be opened or is a directory. Any other read error ends the run with a message.
int line_open(const char *name);

// As line_open, but a first read that fails returns -1 too, with no message (errno says why).
int line_try_open(const char *name);

// Reads the next line into buff from byte 1 and counts it in line_no. A CR directly before the
// newline is taken out of the text (and remembered in line_cr), so the logic sees LF alone. The
// text is cut after LINE_READ bytes; a longer line is the caller's error. Returns 1, or 0 at the
// end of the input. A read error ends the run with a message.
int line_read();

// 1 when whole runs of lines are skimmed from the read block (line_skim), 0 when every line is
// read through line_read. Decided on first use: skimming where the processor has vectors, or
// where VELK_SIMD names a level, "portable" included; never with VELK_SIMD=lines.
int line_skim_on();

// Takes the run of whole lines at the read position that need no decision of their own from the
// lexical state *lex (skim_lines of cond_skim.h), leaving in *lex the state behind them, counting
// them in line_no and writing them (put_span) when keep differs from opt_v. Returns 1 when it took
// any line.
int line_skim(SkimLex *lex, int keep);

// Closes the input and puts the module back to its process-start state.
void line_reset();

}  // namespace cond
