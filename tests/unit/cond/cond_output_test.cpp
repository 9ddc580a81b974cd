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

namespace {

// What stdio has been handed, and what the block still holds, after write() from a block filled
// with fill bytes.
template <typename Write>
std::pair<std::string, std::string> hand_overs(std::size_t fill, Write write)
{
    support::out_reset();
    testing::internal::CaptureStdout();
    std::memset(support::out_block, '.', fill);
    support::out_used = fill;
    write();
    std::fflush(stdout);
    std::string handed = testing::internal::GetCapturedStdout();
    std::string held(support::out_block, support::out_used);
    support::out_reset();
    return {handed, held};
}

TEST_F(CondOutput, SpansHandTheBlockOverWhereLinesWould)
{
    // Lines of many lengths, some with CR LF, written as one span from blocks filled to just
    // below their end: the block must go to stdio at the same byte as with one line at a time,
    // so that a failing write ends the run at the same line.
    std::string span;
    std::vector<std::string> lines;
    for (int i = 0; i < 400; i++) {
        std::string line(static_cast<std::size_t>((i * 37) % 300), static_cast<char>('a' + i % 26));
        line += (i % 3 == 0) ? "\r\n" : "\n";
        lines.push_back(line);
        span += line;
    }
    for (std::size_t room : {0, 1, 2, 5, 37, 299, 300, 301, 4000}) {
        const std::size_t fill = support::OUT_BLOCK_SIZE - room;
        const auto by_span = hand_overs(fill, [&] { put_span(span.data(), span.size(), 1); });
        const auto by_line = hand_overs(fill, [&] {
            for (const std::string &l : lines) {
                const bool crlf = l.size() >= 2 && l[l.size() - 2] == '\r';
                support::out_write(l.data(), l.size() - (crlf ? 2 : 0));
                if (crlf) {
                    support::out_write("\r\n", 2);
                }
            }
        });
        EXPECT_EQ(by_span.first.size(), by_line.first.size()) << "room " << room;
        EXPECT_TRUE(by_span == by_line) << "room " << room;
    }
}

}  // namespace

namespace {

TEST_F(CondOutput, NumberedSpansCountOnAcrossEveryWidth)
{
    opt_n = 1;
    std::string span;
    for (int i = 0; i < 15; i++) {
        span += i % 4 == 0 ? "l\r\n" : "line\n";
    }
    for (long first : {1L, 3L, 95L, 99995L, 999990L, 9999999L, 123456789L}) {
        std::string want;
        for (int i = 0; i < 15; i++) {
            char num[32];
            std::snprintf(num, sizeof num, "%6ld: ", first + i);
            want += num;
            want += i % 4 == 0 ? "l\r\n" : "line\n";
        }
        testing::internal::CaptureStdout();
        put_span(span.data(), span.size(), first);
        support::out_flush();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), want) << "from " << first;
    }
}

}  // namespace
