// Lexical tracking across lines (block comments, line comments, literals) and the directive
// recognisers, shared by the top-level scanner and the block processor.
#pragma once

namespace cond {

extern int comment_f;   // lex_skip: 1 inside a block comment; survives the end of a line
extern int comment2_f;  // lex_skip: 1 inside a line comment; cleared for every line read
extern int string_f;    // lex_skip: quote character of the open literal, or 0

// At p, consumes a comment mark, a quote, an escaped byte or any byte of a line comment, updates
// the flags and returns the position behind it; returns null when the caller steps over one
// character itself (always under -T).
char *lex_skip(char *p);

// Position behind the character at p: two bytes for a Shift_JIS lead byte with a partner.
char *step_char(char *p);

// Walks the current line from p through the tracker. Returns dir_pos (the line's first non-blank
// byte) when the walk reaches it with no comment or literal open; otherwise walks on to the end
// of the line (newline or NUL) and returns null.
char *lex_walk(char *p, const char *dir_pos);

// Walks the current line (buff + 1, line_len bytes) from its first byte, as lex_walk does, and
// returns its directive position when that holds '#' and is reached with no comment or literal
// open; otherwise the whole line has been walked and the result is null.
char *lex_line();

// 1 when the text at p is '#', blanks, the directive word and a byte that cannot continue a word.
int is_if(const char *p);
int is_ifdef(const char *p);
int is_ifndef(const char *p);
int is_elif(const char *p);
int is_else(const char *p);
int is_endif(const char *p);

// Kind (DIR_IFNDEF, DIR_IF, DIR_IFDEF, tested in that order) of the directive at p that opens a
// conditional, or -1.
int open_kind(const char *p);

// Reads the next line (line_read), ends any line comment and ends the run with too_long_fmt
// (line number, excerpt of the line) when the line holds more than LINE_MAX bytes. Returns 1, or
// 0 at the end of the input.
int lex_next_line(const char *too_long_fmt);

// Clears the three flags.
void lex_reset();

}  // namespace cond
