#include "support/message.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "scratch_dir.h"

namespace {

std::string edit(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string text = support::err_edit(fmt, ap);
    va_end(ap);
    return text;
}

std::string read_all(FILE *f)
{
    std::string out;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;) {
        out += static_cast<char>(c);
    }
    return out;
}

// The log is a text file: read as text, its line ends are "\n" on every platform.
std::string file_text(const char *path)
{
    FILE *f = std::fopen(path, "r");
    if (f == nullptr) {
        return "<missing>";
    }
    std::string out = read_all(f);
    std::fclose(f);
    return out;
}

// Everything written to fd (1 or 2) while it is redirected into a scratch file.
class FdCapture {
public:
    explicit FdCapture(int fd) : fd_(fd), file_(std::tmpfile())
    {
        std::fflush(nullptr);
        saved_ = dup(fd_);
        dup2(fileno(file_), fd_);
    }
    ~FdCapture()
    {
        text();
        std::fclose(file_);
    }
    std::string text()
    {
        if (saved_ >= 0) {
            std::fflush(nullptr);
            dup2(saved_, fd_);
            close(saved_);
            saved_ = -1;
        }
        return read_all(file_);
    }

private:
    int fd_;
    FILE *file_;
    int saved_;
};

class Message : public ::testing::Test {
protected:
    void SetUp() override { support::message_reset(); }
    void TearDown() override { support::message_reset(); }
};

// Runs each test in a fresh scratch directory, so "message.log" is private to it.
class MessageLog : public Message {
protected:
    void SetUp() override
    {
        Message::SetUp();
        ASSERT_NE(getcwd(old_dir_, sizeof old_dir_), nullptr);
        ASSERT_FALSE(dir_.path().empty()) << "no scratch folder";
        ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    }
    void TearDown() override
    {
        Message::TearDown();
        unlink("message.log");
        rmdir("message.log");
        EXPECT_EQ(chdir(old_dir_), 0);
    }
    char old_dir_[4096];
    scratch::ScratchDir dir_;  // removed after TearDown has left it
};

TEST_F(Message, EachConversion)
{
    EXPECT_EQ(edit("Error: %d: %s: cannot analyze!\n", 12, "abc"),
              "Error: 12: abc: cannot analyze!\n");
    EXPECT_EQ(edit("[%c]", 65), "[A]");
    EXPECT_EQ(edit("%d %d %d", -5, INT_MIN, INT_MAX), "-5 -2147483648 2147483647");
    EXPECT_EQ(edit("%x %x %x", 255, 0, -1), "ff 0 ffffffff");
    EXPECT_EQ(edit("%f %f", 1.5, -0.25), "1.500000 -0.250000");
    EXPECT_EQ(edit("%s|%s", "", "a\\b%d"), "|a\\b%d");  // the argument is never interpreted
}

TEST_F(Message, CharZeroEndsVisibleText) { EXPECT_EQ(edit("a%cb", 0), "a"); }

TEST_F(Message, UnknownConversionsStayAndTakeNoArgument)
{
    EXPECT_EQ(edit("50%%"), "50%%");
    EXPECT_EQ(edit("%u"), "%u");
    EXPECT_EQ(edit("%5d %d", 7), "%5d 7");
    EXPECT_EQ(edit("%ld=%s", "x"), "%ld=x");
    EXPECT_EQ(edit("100%"), "100%");
}

TEST_F(Message, BackslashTakesTheNextCharacterLiterally)
{
    EXPECT_EQ(edit("\\%d %d", 3), "%d 3");
    EXPECT_EQ(edit("a\\\\b\\n%d", 1), "a\\bn1");
    EXPECT_EQ(edit("%d\\", 1), "1\\");
}

TEST_F(Message, LongStringIsCutAtTheReserveMark)
{
    std::string line(4000, 'L');
    const char *rest = " \nError: too long line found!\n";
    std::string text = edit("%d: %s \nError: too long line found!\n", 12, line.c_str());
    ASSERT_EQ(text.size(), 768 + std::strlen(rest));
    EXPECT_EQ(text.substr(0, 4), "12: ");
    EXPECT_EQ(text.substr(4, 764), std::string(764, 'L'));
    EXPECT_EQ(text.substr(768), rest);

    std::string prefix(100, 'p');
    text = edit((prefix + "%s").c_str(), std::string(2000, 's').c_str());
    EXPECT_EQ(text, prefix + std::string(668, 's'));
}

TEST_F(Message, StringReachingTheLimitEndsFormatting)
{
    std::string s(1022, 's');
    EXPECT_EQ(edit("ab%sXYZ", s.c_str()), "ab" + s);
    std::string one_more(1023, 's');
    EXPECT_EQ(edit("ab%sXYZ", one_more.c_str()).size(), 768u + 3);  // cut, then "XYZ"
}

TEST_F(Message, LongFormatStopsAtTheLimit)
{
    std::string fmt(2000, 'f');
    EXPECT_EQ(edit(fmt.c_str()), std::string(1024, 'f'));
    // One step may carry the text past the limit by one conversion's output.
    std::string near(1023, 'f');
    EXPECT_EQ(edit((near + "%d%d").c_str(), INT_MIN, 1), near + "-2147483648");
}

TEST_F(Message, StringPastTheReserveMarkIsLeftOutWhenItDoesNotFit)
{
    std::string prefix(800, 'p');
    EXPECT_EQ(edit((prefix + "%s|end").c_str(), std::string(300, 's').c_str()), prefix + "|end");
    // A string that still fits is copied whole.
    EXPECT_EQ(edit((prefix + "%s|").c_str(), std::string(224, 's').c_str()),
              prefix + std::string(224, 's'));
}

TEST_F(Message, HugeDoublesStayInsideTheBuffer)
{
    std::string big = edit("%f", -DBL_MAX);
    EXPECT_EQ(big.size(), 317u);  // sign, 309 digits, point, 6 decimals
    std::string near(1023, 'f');
    std::string text = edit((near + "%f").c_str(), -DBL_MAX);
    ASSERT_EQ(text.size(), 1279u);
    EXPECT_EQ(text.substr(1023), big.substr(0, 256));
    // Repeated huge conversions from below the limit can never run on either.
    std::string fmt(1000, 'f');
    EXPECT_EQ(edit((fmt + "%f%f%f").c_str(), DBL_MAX, DBL_MAX, DBL_MAX).size(), 1279u);
}

TEST_F(Message, ErrmsgWritesToStandardErrorAndSetsTheFlag)
{
    FdCapture err(2);
    support::errmsg("Error: %d: %s: cannot analyze!\n", 12, "abc");
    support::errmsg("no conversion \\n here\n", 99);
    support::errmsg("\x95%d\n");  // the '%' is the second byte of a pair: written as is
    EXPECT_EQ(err.text(), "Error: 12: abc: cannot analyze!\nno conversion \\n here\n\x95%d\n");
    EXPECT_EQ(support::errmsg_output_flg, 1);
}

TEST_F(Message, AllOnesSelectorSendsBothWritersToStandardOutput)
{
    support::errfp = support::errfp_stdout;
    FdCapture out(1);
    FdCapture err(2);
    support::errmsg("one %d\n", 1);
    support::errmsg1("two %s\n", "2");
    EXPECT_EQ(out.text(), "one 1\ntwo 2\n");
    EXPECT_EQ(err.text(), "");
}

TEST_F(Message, OnlyErrmsg1HonoursAnOpenStream)
{
    FILE *f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    support::errfp = f;
    FdCapture err(2);
    support::errmsg1("to file %d\n", 1);
    EXPECT_EQ(support::errmsg_output_flg, 0);
    support::errmsg("to stderr\n");
    EXPECT_EQ(err.text(), "to stderr\n");
    EXPECT_EQ(read_all(f), "to file 1\n");
    std::fclose(f);

    support::errfp = nullptr;
    FdCapture err2(2);
    support::errmsg1("null %s\n", "stderr");
    EXPECT_EQ(err2.text(), "null stderr\n");
}

TEST_F(MessageLog, LoggingOffDoesNothing)
{
    EXPECT_EQ(support::errmsgf("x %d", 1), 0);
    EXPECT_EQ(support::errmsgf("end"), 0);
    EXPECT_EQ(access("message.log", F_OK), -1);
}

TEST_F(MessageLog, LogLifecycle)
{
    FILE *old = std::fopen("message.log", "w");
    ASSERT_NE(old, nullptr);
    std::fputs("old contents\n", old);
    std::fclose(old);

    support::errmsgWrite_flg = 1;
    EXPECT_EQ(support::errmsgf("first %d", 1), '\n');
    EXPECT_EQ(support::errmsgf("second \\%s", "x"), '\n');
    EXPECT_EQ(support::errmsgf("plain"), '\n');
    EXPECT_EQ(support::errmsgf("end"), 0);
    EXPECT_EQ(file_text("message.log"), "first 1\nsecond %s\nplain\n");
    EXPECT_EQ(support::errmsgf("end"), -1);

    EXPECT_EQ(support::errmsgf("again"), '\n');
    EXPECT_EQ(support::errmsgf("end"), 0);
    EXPECT_EQ(file_text("message.log"), "again\n");
}

TEST_F(MessageLog, ResetClosesTheLog)
{
    support::errmsgWrite_flg = 1;
    support::errmsgf("kept");
    support::message_reset();
    EXPECT_EQ(file_text("message.log"), "kept\n");
    EXPECT_EQ(support::errmsgWrite_flg, 0);
}

TEST_F(MessageLog, UncreatableLogIsSkipped)
{
    ASSERT_TRUE(std::filesystem::create_directory("message.log"));  // no one can open it as a file
    support::errmsgWrite_flg = 1;
    FdCapture err(2);
    EXPECT_EQ(support::errmsgf("lost %d", 1), -1);
    EXPECT_EQ(support::errmsgf("end"), -1);
    EXPECT_EQ(err.text(), "");
    ASSERT_EQ(rmdir("message.log"), 0);
    EXPECT_EQ(support::errmsgf("found"), '\n');
    EXPECT_EQ(support::errmsgf("end"), 0);
    EXPECT_EQ(file_text("message.log"), "found\n");
}

}  // namespace
