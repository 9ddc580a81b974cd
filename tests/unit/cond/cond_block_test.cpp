#include "cond/cond_block.h"

#include "cond_fixture.h"

using namespace cond;

namespace {

class CondBlock : public CondTest {
protected:
    // Opens text, reads its first line (an opening directive) and hands it to proc_block as the
    // scanner does; returns what proc_block returns, with the output in *out.
    int run_block(const std::string &text, int kind, std::string *out)
    {
        open_input(text);
        EXPECT_EQ(lex_next_line("%d: %s too long\n"), 1);
        testing::internal::CaptureStdout();
        const int r = proc_block(kind, 1);
        support::out_flush();  // put_line gathers lines before stdio sees them
        *out = testing::internal::GetCapturedStdout();
        return r;
    }
};

TEST_F(CondBlock, ReturnsAfterItsEndifWithTheDepthRestored)
{
    add("A", 1);
    std::string out;
    EXPECT_EQ(run_block("#ifdef A\nx\n#ifdef B\ny\n#endif\n#endif\nrest\n", DIR_IFDEF, &out), 0);
    EXPECT_EQ(out, "x\n#ifdef B\ny\n#endif\n");
    EXPECT_EQ(if_depth, 0);
    EXPECT_EQ(line_no, 6);
    ASSERT_EQ(line_read(), 1);
    EXPECT_STREQ(buff + 1, "rest\n");
}

TEST_F(CondBlock, EndOfInputInsideNestingReturnsMinusTwo)
{
    add("A", 1);
    std::string out;
    EXPECT_EQ(run_block("#ifdef A\n#ifndef A\nx\n#else\ny\n", DIR_IFDEF, &out), -2);
    EXPECT_EQ(out, "y\n");
    EXPECT_EQ(if_depth, 2);
}

TEST_F(CondBlock, LexicalStateBehindTheEndif)
{
    add("A", 1);
    std::string out;
    // A kept conditional walks the rest of its #endif line: the comment opened there counts.
    EXPECT_EQ(run_block("#ifdef B\n#endif /* open\n", DIR_IFDEF, &out), 0);
    EXPECT_EQ(comment_f, 1);
    cond::line_reset();
    lex_reset();
    // A resolved one drops the line unread.
    EXPECT_EQ(run_block("#ifdef A\n#endif /* open\n", DIR_IFDEF, &out), 0);
    EXPECT_EQ(comment_f, 0);
}

TEST_F(CondBlock, NestingLimit)
{
    add("A", 1);
    open_input("#ifdef A\n");
    ASSERT_EQ(lex_next_line("%d: %s too long\n"), 1);
    if_depth = IF_DEPTH_MAX;  // proc_block counts its own conditional
    testing::internal::CaptureStderr();
    EXPECT_THROW(proc_block(DIR_IFDEF, 1), FatalExit);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: 1: [#ifdef A]: conditionals nested too deeply.\n");
}

}  // namespace
