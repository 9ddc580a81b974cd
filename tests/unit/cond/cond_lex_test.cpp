#include "cond_fixture.h"

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

class CondLine : public CondTest {
protected:
    // 0 on Windows, whose text-mode reading turns CR LF into LF before the line reader sees it,
    // so the reader never removes a CR itself; 1 where the CR reaches the reader.
    static int cr_reaches_reader()
    {
        const std::string path = scratch_folder() + "/cond_probe_" +
                                 testing::UnitTest::GetInstance()->current_test_info()->name() +
                                 ".txt";
        FILE *f = std::fopen(path.c_str(), "wb");
        std::fputs("x\r\n", f);
        std::fclose(f);
        f = std::fopen(path.c_str(), "r");
        char got[4] = {};
        std::fgets(got, sizeof got, f);
        std::fclose(f);
        std::remove(path.c_str());
        return got[1] == '\r' ? 1 : 0;
    }
};

TEST_F(CondLine, LinesCrLfAndLastLine)
{
    const int cr = cr_reaches_reader();
    open_input(std::string("a\r\nb\n\r\nc\rd\r\n\0x\r", 15));
    ASSERT_EQ(line_read(), 1);
    EXPECT_EQ(std::string(buff + 1, line_len), "a\n");
    EXPECT_EQ(line_cr, cr);
    ASSERT_EQ(line_read(), 1);
    EXPECT_EQ(std::string(buff + 1, line_len), "b\n");
    EXPECT_EQ(line_cr, 0);
    ASSERT_EQ(line_read(), 1);
    EXPECT_EQ(std::string(buff + 1, line_len), "\n");
    EXPECT_EQ(line_cr, cr);
    ASSERT_EQ(line_read(), 1);
    EXPECT_EQ(std::string(buff + 1, line_len), "c\rd\n");
    ASSERT_EQ(line_read(), 1);
    EXPECT_EQ(std::string(buff + 1, line_len), std::string("\0x\r", 3));
    EXPECT_EQ(line_cr, 0);
    EXPECT_EQ(line_no, 5);
    EXPECT_EQ(line_read(), 0);
    EXPECT_EQ(line_read(), 0);
}

TEST_F(CondLine, LinesAcrossBlocksAndTheReadLimit)
{
    std::string text;
    for (int i = 0; i < 20000; i++) {
        text += "line " + std::to_string(i) + "\n";
    }
    text += std::string(5000, 'z') + "\n";
    open_input(text);
    for (int i = 0; i < 20000; i++) {
        ASSERT_EQ(line_read(), 1);
        ASSERT_EQ(std::string(buff + 1, line_len), "line " + std::to_string(i) + "\n");
    }
    ASSERT_EQ(line_read(), 1);
    EXPECT_EQ(line_len, LINE_READ);
    EXPECT_EQ(buff[BUFF_SIZE - 1], '\0');
}

TEST_F(CondLine, LengthLimitIgnoresTheCr)
{
    open_input(std::string(4093, 'a') + "\r\n" + std::string(4094, 'b') + "\r\n");
    ASSERT_EQ(lex_next_line("%d: %s too long\n"), 1);
    EXPECT_EQ(line_len, LINE_MAX);
    testing::internal::CaptureStderr();
    EXPECT_THROW(lex_next_line("%d: too long\n"), FatalExit);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "2: too long\n");
}

TEST_F(CondLine, DirectoryCannotBeOpened)
{
    const std::string d = scratch_folder();
    EXPECT_EQ(line_open(d.c_str()), -1);
    EXPECT_EQ(fp, nullptr);
    EXPECT_EQ(line_open((d + "/no-such-file").c_str()), -1);
}

}  // namespace
