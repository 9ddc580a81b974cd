#include "cond_fixture.h"

#include <cstring>

using namespace cond;

namespace {

class CondLex : public CondTest {
protected:
    // Walks text as one line, as the scanner does; returns the directive position when the walk
    // reached it outside every comment and literal, else -1.
    static int walk(const char *text)
    {
        set_line(text);
        char *line = buff + 1;
        const char *dir_pos = line;
        while (*dir_pos == ' ' || *dir_pos == '\t') {
            dir_pos++;
        }
        char *p = lex_walk(line, dir_pos);
        if (p == nullptr) {
            return -1;
        }
        lex_walk(step_char(p), dir_pos);
        return static_cast<int>(p - line);
    }
};

TEST_F(CondLex, StateMachineAcrossLines)
{
    EXPECT_EQ(walk("  #if A\n"), 2);
    EXPECT_EQ(walk("x /* open\n"), 0);
    EXPECT_EQ(comment_f, 1);
    EXPECT_EQ(walk("#else // \" ' inside\n"), -1);
    EXPECT_EQ(walk("still */ x\n"), -1);
    EXPECT_EQ(comment_f, 0);
    EXPECT_EQ(walk("// line /*\n"), -1);
    EXPECT_EQ(comment2_f, 1);
    EXPECT_EQ(comment_f, 0);
    comment2_f = 0;  // the reader ends a line comment
    EXPECT_EQ(walk("#endif\n"), 0);
    EXPECT_EQ(walk("s = \"a\\\"b /* \n"), 0);
    EXPECT_EQ(string_f, '"');
    EXPECT_EQ(walk("#else ' \"\n"), -1);
    EXPECT_EQ(string_f, 0);
    EXPECT_EQ(walk("c = '\"';\n"), 0);
    EXPECT_EQ(string_f, 0);
}

TEST_F(CondLex, SlashStarSlashOpensAComment)
{
    EXPECT_EQ(walk("a /*/ b\n"), 0);
    EXPECT_EQ(comment_f, 1);
}

TEST_F(CondLex, ShiftJisSecondBytesAreNotQuotesOrBackslashes)
{
    EXPECT_EQ(walk("s = \"\x95\\\";\n"), 0);
    EXPECT_EQ(string_f, 0);
    EXPECT_EQ(walk("\x81\" x\n"), 0);
    EXPECT_EQ(string_f, 0);
}

TEST_F(CondLex, BackslashAtTextEndStopsTheWalk)
{
    string_f = '"';
    set_line("abc\\");
    char *p = buff + 1 + 3;
    EXPECT_EQ(lex_skip(p), p + 1);
    string_f = 0;
    EXPECT_EQ(walk("\"x\\"), -1);
    EXPECT_EQ(string_f, '"');
}

TEST_F(CondLex, PlainTextTracksNothing)
{
    opt_T = 1;
    EXPECT_EQ(walk("/* \" '\n"), 0);
    EXPECT_EQ(comment_f + comment2_f + string_f, 0);
    EXPECT_EQ(walk("#else\n"), 0);
}

TEST_F(CondLex, Recognisers)
{
    EXPECT_EQ(open_kind("#ifndef A"), DIR_IFNDEF);
    EXPECT_EQ(open_kind("# \tif(A)"), DIR_IF);
    EXPECT_EQ(open_kind("#ifdef"), DIR_IFDEF);
    EXPECT_EQ(open_kind("#ifdefX"), -1);
    EXPECT_EQ(open_kind("#if_"), -1);
    EXPECT_EQ(open_kind("#if9"), -1);
    EXPECT_EQ(open_kind("#If"), -1);
    EXPECT_EQ(open_kind(" #if"), -1);
    EXPECT_EQ(is_if("#if\x82\xa0"), 1);
    EXPECT_EQ(is_elif("#elif\n"), 1);
    EXPECT_EQ(is_else("#elsewhere"), 0);
    EXPECT_EQ(is_else("#else/**/"), 1);
    EXPECT_EQ(is_endif("#  endif // x"), 1);
    EXPECT_EQ(is_endif("#end"), 0);
}

TEST_F(CondLex, DirectiveWordsAndTheirNearMisses)
{
    // Every directive word, its prefixes and longer words, behind '#' and blanks, followed by each
    // kind of byte: the kind is the word's exactly when the word ends there.
    const char *const words[] = {"if",     "ifdef",  "ifndef", "elif",  "else",    "endif", "i",
                                 "e",      "el",     "els",    "eli",   "en",      "end",   "endi",
                                 "ifd",    "ifde",   "ifn",    "ifnd",  "ifnde",   "iff",   "elsee",
                                 "elseif", "endiff", "ifdefs", "elif_", "ifndef9", "IF",    "f"};
    const char *const kinds[] = {"if", "ifdef", "ifndef", "elif", "else", "endif"};
    const int kind_of[] = {DIR_IF, DIR_IFDEF, DIR_IFNDEF, DIR_ELIF, DIR_ELSE, DIR_ENDIF};
    const char *const after[] = {"", " x", "(", "\n", "\x82\xa0", "_", "9", "a", "\t", "/*"};
    for (const char *lead : {"#", "# ", "#\t \t"}) {
        for (const char *word : words) {
            int want = -1;
            for (int k = 0; k < 6; k++) {
                if (std::strcmp(word, kinds[k]) == 0) {
                    want = kind_of[k];
                }
            }
            for (const char *tail : after) {
                const std::string text = std::string(lead) + word + tail;
                const bool continues = tail[0] == '_' || tail[0] == '9' || tail[0] == 'a';
                EXPECT_EQ(directive_kind(text.c_str()), continues ? -1 : want) << text;
            }
        }
    }
    EXPECT_EQ(directive_kind("if"), -1);
    EXPECT_EQ(directive_kind(""), -1);
}

}  // namespace
