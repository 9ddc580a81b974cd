// String utilities over NUL-terminated byte texts; the capitalised ones and index2 step over
// two-byte Shift_JIS characters (lead byte 0x81-0x9F or 0xE0-0xFC followed by a non-NUL byte).
// Results point into the caller's text, or are null when nothing is found.
#pragma once

namespace support {

// The byte classes and character rules every walker of the program shares. They are fixed, not
// taken from the system's code page; text comparison (text_cmp.h) has a wider lead range of its own.

// True for a Shift_JIS lead byte (0x81-0x9F, 0xE0-0xFC).
constexpr bool is_sj_lead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Bytes of the character at p: 2 for a lead byte followed by a byte other than NUL, else 1. A
// lone lead byte at the end of the text is a character of its own.
constexpr int char_width(const char *p)
{
    return is_sj_lead(static_cast<unsigned char>(p[0])) && p[1] != '\0' ? 2 : 1;
}

// ASCII digits and letters; bytes of 0x80 and above are neither.
constexpr bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
constexpr bool is_letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A byte that can be part of a name: an ASCII digit, letter or the underscore.
constexpr bool is_ident_char(unsigned char c) { return is_digit(c) || is_letter(c) || c == '_'; }

char *Strchr(const char *s, int c);        // first character whose first byte is c; never the NUL
char *Strrchr(const char *s, int c);       // last such character
char *index(const char *s, int c);         // first byte equal to c, byte by byte; null for c == 0
char *rindex(const char *s, int c);        // last byte equal to c, scanning backward
char *index1(const char *s, const char *t);   // first occurrence of t; "" is found in a non-empty s
char *index2(const char *s, const char *set); // first single byte (not of a pair) found in set
char *serstr(const char *s, const char *t);   // t at a character boundary (lead/trail classes)
char *srch_wild(const char *s);            // first '*' or '?'

char *sp_skip(const char *s);              // first byte that is not a blank or a tab
char *chr_skip(const char *s);             // next blank or tab, or the terminating NUL
char *optionStr_skip(const char *s);       // past one option word (quoted, or up to blank/tab/"/</>)

// Copies one parameter word (plain, "quoted" or [bracketed]) of at most n - 1 characters into out
// (n >= 1; a double-byte character counts once but takes two bytes); returns where copying stopped
// in src: the stopping byte, the closing quote or the closing bracket.
char *SetParam(const char *src, char *out, int n);
int isnum(const char *s);                  // 1 when the first word is all digits (also when empty)

int cutQuoteChar(char *s);                 // drops a leading double quote and then a trailing one; 0
char *ChgChr(char *s, int from, int to);   // replaces characters whose first byte is from; returns s
int insChar(char *s, int c);               // inserts c before the first byte (caller leaves room); 0
int cutBackSpace(char *s);                 // zeroes trailing blanks and tabs; 0

int bcopy(void *dst, const void *src, int n);   // forward copy of n bytes (none when n <= 0); 0
int bakmov(const void *src, void *dst, int n);  // backward copy, last byte first, for overlaps; 0
void *clear(void *buf, int value, int n);       // fills n bytes; returns the end of the fill

}  // namespace support
