// Skimming: runs of whole lines that need no decision of their own, found from the byte masks of
// the read block and walked in place, so that they can be written or dropped in one piece instead
// of one line at a time through the line buffer.
#pragma once

#include <cstddef>

#include "cond/cond_classify.h"

namespace cond {

// The lexical state at a line start, as the walk of cond_lex keeps it (a line comment never
// outlives its line, so it has no place here).
struct SkimLex {
    bool text;    // nothing is tracked (-T): only the directive test stops a skim
    int comment;  // a block comment is open (comment_f)
    int quote;    // the quote byte of an open literal, or 0 (string_f)
    // For the names scan: the run also ends before a #define or #undef line and before a line
    // whose line comment a backslash at its end carries into the next line.
    bool names = false;
    // Set by skim_lines: when the run ends before a conditional directive, its directive_kind and
    // the offset of its '#' in the line; otherwise -1 and 0. The kind is read from the block and
    // holds only when the line is complete there. stop_len is then the line's length with its
    // newline, or 0 when the newline was not looked for, and stop_marks whether a '/', quote or
    // backslash stands in it.
    int stop_kind = -1;
    std::size_t stop_hash = 0;
    std::size_t stop_len = 0;
    bool stop_marks = false;
};

// Longest line a skim takes, its newline included: every longer one goes through the line reader,
// which owns the too-long message.
constexpr std::size_t SKIM_LINE_MAX = 4094;

// From from (a line start, from - base at most end - base), the longest run of complete lines
// before end that the line-by-line walk would pass through with no decision of its own: no line
// longer than SKIM_LINE_MAX, and none that starts, in plain code or under -T, with blanks and a
// '#' that begins a conditional directive (#if, #ifdef, #ifndef, #elif, #else, #endif). Each
// line's comments and literals are walked in place, and *lex is left as the walk would leave it
// behind the run. A line whose walk depends on a NUL or on a two-byte character ends the run too.
// masks[k] holds the masks of the bytes base + 64k .. base + 64k + 63, for every chunk that meets
// [from, end). Returns the end of the run (from itself when the first line needs the per-line
// path) and adds the number of lines in it to *lines.
const char *skim_lines(const char *base, const ChunkMasks *masks, const char *from, const char *end,
                       SkimLex *lex, long *lines);

// The first newline at or behind from and before end (masks as for skim_lines), or null when
// there is none; sets *marks when a '/', quote or backslash comes before it.
const char *skim_line_end(const char *base, const ChunkMasks *masks, const char *from,
                          const char *end, bool *marks);

}  // namespace cond
