#include "cond_fixture.h"

#include <cstdio>

using namespace cond;

namespace {

class CondOutput : public CondTest {
protected:
    // What put_line writes for the current line.
    static std::string written(int keep = -1)
    {
        testing::internal::CaptureStdout();
        if (keep < 0) {
            put_line(buff + 1);
        } else {
            put_line_sel(buff + 1, keep);
        }
        support::out_flush();  // put_line gathers lines before stdio sees them
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(CondOutput, NumberedLines)
{
    opt_n = 1;
    set_line("x\n");
    EXPECT_EQ(written(), "     7: x\n");
    line_no = 1234567;
    EXPECT_EQ(written(), "1234567: x\n");
    line_no = 123456;
    set_line("last");
    line_no = 123456;
    EXPECT_EQ(written(), "123456: last");
}

TEST_F(CondOutput, LineIsWrittenWholeAcrossNulAndWithItsCrLf)
{
    set_line(std::string("a\0b\n", 4));
    EXPECT_EQ(written(), std::string("a\0b\n", 4));
    set_line("crlf\n");
    line_cr = 1;
    EXPECT_EQ(written(), "crlf\r\n");
}

TEST_F(CondOutput, ResetDropsLinesNotHandedOver)
{
    // A run that ends through an intercepted exit leaves its gathered lines behind.
    set_line("old\n");
    put_line(buff + 1);
    output_reset();
    set_line("new\n");
    EXPECT_EQ(written(), "new\n");
}

TEST_F(CondOutput, SelectionByKeepAndOptV)
{
    set_line("l\n");
    EXPECT_EQ(written(1), "l\n");
    EXPECT_EQ(written(0), "");
    opt_v = 1;
    EXPECT_EQ(written(1), "");
    EXPECT_EQ(written(0), "l\n");
}

TEST_F(CondOutput, Excerpts)
{
    EXPECT_STREQ(line_excerpt("\nrest"), "[]");
    EXPECT_STREQ(line_excerpt("#else\n"), "[#else]");
    EXPECT_STREQ(line_excerpt(""), "[]");
    const std::string long_line(2000, 'q');
    EXPECT_EQ(std::string(line_excerpt(long_line.c_str())), "[" + long_line.substr(0, 999) + "]");
    const std::string cut = std::string(998, 'a') + "\x82\xa0";
    EXPECT_EQ(std::string(line_excerpt(cut.c_str())), "[" + std::string(998, 'a') + "\x82]");
}

TEST_F(CondOutput, LineErrorQuotesTheExcerptAndEndsTheRun)
{
    set_line("#bad line\n");
    testing::internal::CaptureStderr();
    int status = -1;
    try {
        line_error("Error: %d: %s: test.\n", buff + 1);
    } catch (const FatalExit &e) {
        status = e.status;
    }
    EXPECT_EQ(status, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: 7: [#bad line]: test.\n");
}

}  // namespace
