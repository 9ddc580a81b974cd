// Text comparison (case-blind for ASCII, backslash first, katakana and two-byte characters in
// blocks of their own), ASCII case conversion, and tab expansion.
#pragma once

// Some C libraries (MinGW) define strcasecmp as a macro in <string.h>. Taking it in here means
// every file that sees the declaration below sees the same spelling, so the library and its
// callers agree on one name whatever they include.
#include <cstring>

namespace support {

int StrnCmp(const char *a, const char *b, int n);  // -1, 0, 1 over at most n bytes (n < 0: all)
int StrCmp(const char *a, const char *b);          // StrnCmp without a limit
int DirCmp(const char *a, const char *b);          // 0 when equal but for one trailing backslash
int strcasecmp(const char *a, const char *b);  // byte comparison of lower-cased 1023-byte copies
int to_upper(char *s);                         // ASCII a-z to A-Z in place, pairs untouched; 0
int to_lower(char *s);                         // ASCII A-Z to a-z in place, pairs untouched; 0
// Tab stops fall every tab columns from column 0; a width below 1 counts as 1.
int chk_exptab(int tab, const char *line);  // expanded length + 1, or -1 at 4096 columns
char *exp_tab(int tab, const char *line);   // expanded line in a static buffer; ends the run
                                            // with a message on an over-long line
void text_cmp_reset();                      // empties exp_tab's result buffer

}  // namespace support
