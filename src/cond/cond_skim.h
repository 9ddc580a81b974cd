// Skimming: runs of whole lines that need no decision of their own, found from the byte masks of
// the read block, so that they can be written or dropped in one piece instead of one line at a
// time through the line buffer.
#pragma once

#include <cstddef>

#include "cond/cond_classify.h"

namespace cond {

// Which bytes make a line need the per-line path, by the lexical state the line starts in. A line
// free of them cannot open or close a comment or literal, is no directive, and holds no NUL.
constexpr int SKIM_CODE = 0;     // nothing open: '#', '/', quotes, backslash
constexpr int SKIM_COMMENT = 1;  // in a block comment: '/' (a "*/" needs one)
constexpr int SKIM_LITERAL = 2;  // in a literal: quotes, backslash
constexpr int SKIM_TEXT = 3;     // nothing is tracked (-T): '#'
// In every state also bytes of 0x80 and above (they may pair with the byte behind them) and NUL.

// Longest line a skim takes, its newline included: every longer one goes through the line reader,
// which owns the too-long message.
constexpr std::size_t SKIM_LINE_MAX = 4094;

// Bit mask of the bytes of m that stop a skim in state (SKIM_*).
std::uint64_t skim_stops(const ChunkMasks &m, int state);

// From from (a line start, from - base at most end - base), the longest run of complete lines
// before end that hold no stop byte of state and none longer than SKIM_LINE_MAX; in state
// SKIM_CODE it also takes a line whose first stop byte begins "//" when the line holds no byte of
// 0x80 and above and no NUL (the rest of the line is a line comment, which ends with the line, so
// the line changes nothing). masks[k] holds the masks of the bytes base + 64k .. base + 64k + 63,
// for every chunk that meets [from, end). Returns the end of the run (from itself when the first
// line needs the per-line path) and adds the number of lines in it to *lines.
const char *skim_lines(const char *base, const ChunkMasks *masks, const char *from, const char *end,
                       int state, long *lines);

// The first newline at or behind from and before end (masks as for skim_lines), or null when
// there is none; sets *marks when a '/', quote or backslash comes before it.
const char *skim_line_end(const char *base, const ChunkMasks *masks, const char *from,
                          const char *end, bool *marks);

}  // namespace cond
