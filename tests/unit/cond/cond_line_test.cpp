// The input file and the line reader: CR LF, the last line, block boundaries and the limits.
#include "cond_fixture.h"

using namespace cond;

namespace {

class CondLine : public CondTest {
protected:
    // 0 on Windows, whose text-mode reading turns CR LF into LF before the line reader sees it,
    // so the reader never removes a CR itself; 1 where the CR reaches the reader.
    int cr_reaches_reader() const
    {
        const std::string path = scratch_folder() + "/cr_probe.txt";
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
