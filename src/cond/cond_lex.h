// Lexical tracking across lines (block comments, line comments, literals) and the directive
// recognisers, shared by the top-level scanner and the block processor.
#pragma once

namespace cond {

// The three lexical flags; at most one is set. Written by lex_skip and by the walks of this module
// (lex_walk, lex_line, lex_finish), which follow the same rules a run of bytes at a time; cleared
// by lex_reset, and comment2_f by lex_next_line.
extern int comment_f;   // 1 inside a block comment; survives the end of a line
extern int comment2_f;  // 1 inside a line comment; cleared for every line read
extern int string_f;    // quote character of the open literal, or 0; survives the end of a line

// At p, consumes a comment mark, a quote, an escaped byte or any byte of a line comment, updates
// the flags and returns the position behind it; returns null when the caller steps over one
// character itself (always under -T).
char *lex_skip(char *p);

// lex_skip as it reads without -T, whatever -T says: the condition evaluator steps over comments
// and literals in an operand under -T as well, and the names scan reads operands as it does.
char *lex_skip_tracked(char *p);

// Position behind the character at p (support::char_width).
char *step_char(char *p);

// Walks the text from p through the tracker. Returns dir_pos (the line's first non-blank byte)
// when the walk reaches it with no comment or literal open and no comment or literal starting
// there; otherwise walks on to the end of the line (newline or NUL) and returns null.
char *lex_walk(char *p, const char *dir_pos);

// Walks the current line (buff + 1, line_len bytes) from its first byte, as lex_walk does. When
// its directive position holds '#' and is reached with nothing open, returns that position and
// stops there: the rest of the line is not walked yet. The caller finishes it with lex_finish,
// except for the lines the block processor takes over (an opening directive, whose operand the
// evaluator reads) and the removed #else and #endif lines, whose rest is only checked
// (lex_check_removed). Otherwise the whole line has been walked and the result is null.
char *lex_line();

// lex_line: the directive_kind of the '#' it returned, or -1 (also when it returned null).
extern int line_kind;

// Finishes the walk of the current line behind the '#' at p (a position lex_line returned):
// a comment or literal opened behind the directive is carried into the next lines. Nothing under
// -T.
void lex_finish(char *p);

// For a removed #else or #endif line (the rest of which is not tracked; p from lex_line): ends
// the run with "Error: %d: %s: a comment opened behind a removed directive runs on.\n" (line_no,
// excerpt from p) when a block comment opened behind the directive is still open at the end of
// the line; otherwise leaves the lexical state as it was. Nothing under -T.
void lex_check_removed(char *p);

// The directive at p: '#', blanks and tabs, then a word that is the whole run of identifier
// characters. Returns DIR_IFDEF, DIR_IF, DIR_IFNDEF, DIR_ELIF, DIR_ELSE or DIR_ENDIF, or -1.
int directive_kind(const char *p);

// 1 when the text at p is '#', blanks and tabs, then the word define or undef ending there.
int is_define(const char *p);

// 1 when the text at p is '#', blanks, the directive word and a byte that cannot continue a word
// (directive_kind).
int is_if(const char *p);
int is_ifdef(const char *p);
int is_ifndef(const char *p);
int is_elif(const char *p);
int is_else(const char *p);
int is_endif(const char *p);

// Kind (DIR_IFNDEF, DIR_IF or DIR_IFDEF) of the directive at p when it opens a conditional, or -1.
int open_kind(const char *p);

// Reads the next line (line_read), ends any line comment and ends the run with too_long_fmt
// (line number, excerpt of the line) when the line holds more than LINE_MAX bytes. Returns 1, or
// 0 at the end of the input.
int lex_next_line(const char *too_long_fmt);

// Before the next lex_next_line: takes the lines that need no decision (line_skim) with the fate
// keep (1 survives, 0 removed); names asks for the names scan's stops (SkimLex::names).
void lex_skim(int keep, bool names = false);

// Clears the three flags: the state in which a scan starts.
void lex_reset();

}  // namespace cond
