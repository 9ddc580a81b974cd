#include "support/text_cmp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "support/exit_hook.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

TEST(TextCmp, AsciiIsCaseBlindAndPrefixSortsFirst)
{
    EXPECT_EQ(support::StrCmp("ABC", "abc"), 0);
    EXPECT_EQ(support::StrCmp("abc", "abcd"), -1);
    EXPECT_EQ(support::StrCmp("abcd", "abc"), 1);
    EXPECT_EQ(support::StrCmp("abd", "abc"), 1);
    EXPECT_EQ(support::StrCmp("", ""), 0);
    // Folded to lower case before ordering: 'B' is 'b', after '_'.
    EXPECT_EQ(support::StrCmp("_", "B"), -1);
}

TEST(TextCmp, BackslashSortsBeforeEveryOtherAsciiByte)
{
    EXPECT_EQ(support::StrCmp("a\\z", "a.z"), -1);
    EXPECT_EQ(support::StrCmp("a.z", "a\\z"), 1);
    EXPECT_EQ(support::StrCmp("a\\b", "a b"), -1);
    EXPECT_EQ(support::StrCmp("a\\b", "a\x01"), -1);
}

TEST(TextCmp, KatakanaAndTwoByteCharactersFormBlocksOfTheirOwn)
{
    EXPECT_EQ(support::StrCmp("z", "\xB1"), -1);  // ASCII before katakana
    EXPECT_EQ(support::StrCmp("\xB1", "z"), 1);
    EXPECT_EQ(support::StrCmp("\xB1", "\x82\xA0"), -1);  // katakana before two-byte
    EXPECT_EQ(support::StrCmp("\x82\xA0", "\xB1"), 1);
    EXPECT_EQ(support::StrCmp("\x82\xA0", "z"), 1);  // two-byte after ASCII
    EXPECT_EQ(support::StrCmp("\xB1", "\xB2"), -1);
    EXPECT_EQ(support::StrCmp("\x82\xA0x", "\x82\xA0X"), 0);
    EXPECT_EQ(support::StrCmp("\x82\xA1", "\x82\xA0"), 1);
    // A second byte that looks like a letter is compared as it is, not folded.
    EXPECT_EQ(support::StrCmp("\x82"
                              "A",
                              "\x82"
                              "a"),
              -1);
    // 0x80 and 0xA0 start two-byte characters in this ordering.
    EXPECT_EQ(support::StrCmp("\x80"
                              "A",
                              "\x80"
                              "B"),
              -1);
    EXPECT_EQ(support::StrCmp("\xA0"
                              "b",
                              "\xA0"
                              "a"),
              1);
}

TEST(TextCmp, LoneLeadByteStopsAtTheTextEnd)
{
    EXPECT_EQ(support::StrCmp("a\x82", "a\x82"), 0);
    EXPECT_EQ(support::StrCmp("a\x82", "a\x82\xA0"), -1);
    EXPECT_EQ(support::StrCmp("a\x82\xA0", "a\x82"), 1);
}

TEST(TextCmp, StrnCmpLimitCountsBytesAndKeepsPairsWhole)
{
    EXPECT_EQ(support::StrnCmp("abcX", "abcY", 3), 0);
    EXPECT_EQ(support::StrnCmp("abcX", "abcY", -1), -1);
    EXPECT_EQ(support::StrnCmp("abcX", "abcY", 4), -1);
    EXPECT_EQ(support::StrnCmp("x", "y", 0), 0);
    // One byte of limit left at a pair: the whole pair is compared, then the limit is used up.
    EXPECT_EQ(support::StrnCmp("a\x82\xA0Z", "a\x82\xA1Z", 2), -1);
    EXPECT_EQ(support::StrnCmp("a\x82\xA0X", "a\x82\xA0Y", 2), 0);
    EXPECT_EQ(support::StrnCmp("a\x82\xA0X", "a\x82\xA0Y", 3), 0);
    EXPECT_EQ(support::StrnCmp("a\x82\xA0X", "a\x82\xA0Y", 4), -1);
}

TEST(TextCmp, DirCmpIgnoresOneTrailingBackslash)
{
    EXPECT_EQ(support::DirCmp("src\\", "SRC"), 0);
    EXPECT_EQ(support::DirCmp("C:\\dir\\", "c:\\DIR"), 0);
    EXPECT_EQ(support::DirCmp("\\", "\\"), 0);
    EXPECT_EQ(support::DirCmp("", ""), 0);
    EXPECT_EQ(support::DirCmp("src", "src2"), 1);
    EXPECT_EQ(support::DirCmp("src\\\\", "src"), 1);  // only one backslash is ignored
    EXPECT_EQ(support::DirCmp("abc", "abd"), -1);
}

TEST(TextCmp, StrcasecmpComparesLowerCasedCopiesOf1023Bytes)
{
    EXPECT_EQ(support::strcasecmp("Name", "NAME"), 0);
    EXPECT_LT(support::strcasecmp("abc", "ABD"), 0);
    EXPECT_GT(support::strcasecmp("b", "A"), 0);
    EXPECT_EQ(support::strcasecmp("a", "ab"), -'b');
    std::string a(1023, 'x');
    std::string b = a;
    a += "a";
    b += "b";
    EXPECT_EQ(support::strcasecmp(a.c_str(), b.c_str()), 0);
    b[1022] = 'y';
    EXPECT_LT(support::strcasecmp(a.c_str(), b.c_str()), 0);
}

TEST(TextCmp, CaseConversionLeavesPairsAndKatakanaAlone)
{
    char s[] = "ab\x82"
               "a"
               "cd\xB1"
               "e\x81";
    EXPECT_EQ(support::to_upper(s), 0);
    EXPECT_STREQ(s, "AB\x82"
                    "a"
                    "CD\xB1"
                    "E\x81");
    char t[] = "AB\x82"
               "A"
               "\xE0"
               "Z"
               "Q";
    EXPECT_EQ(support::to_lower(t), 0);
    EXPECT_STREQ(t, "ab\x82"
                    "A"
                    "\xE0"
                    "Z"
                    "q");
}

TEST(TextCmp, ChkExptabMeasuresTheExpandedLine)
{
    EXPECT_EQ(support::chk_exptab(8, "\tab"), 11);
    EXPECT_EQ(support::chk_exptab(8, ""), 1);
    EXPECT_EQ(support::chk_exptab(4, "abcd\t\n"), 10);
    EXPECT_EQ(support::chk_exptab(1, "\t\t"), 3);
    // A width below 1 counts as 1 rather than dividing by zero.
    EXPECT_EQ(support::chk_exptab(0, "a\tb"), 4);
    // A huge width cannot overflow into a short line.
    EXPECT_EQ(support::chk_exptab(2147483647, "a\t"), -1);
}

TEST(TextCmp, ExpTabExpandsToTheNextMultipleOfTheWidth)
{
    EXPECT_STREQ(support::exp_tab(8, "a\tb"), "a       b");
    EXPECT_STREQ(support::exp_tab(4, "\tx\ty\n"), "    x   y\n");
    EXPECT_STREQ(support::exp_tab(8, ""), "");
    EXPECT_STREQ(support::exp_tab(3, "abc\t"), "abc   ");
}

TEST(TextCmp, LongestLineFitsAndOneMoreEndsTheRun)
{
    std::string fits = std::string(4090, 'a') + "\t";  // 4095 columns
    EXPECT_EQ(support::chk_exptab(5, fits.c_str()), 4096);
    const char *out = support::exp_tab(5, fits.c_str());
    EXPECT_EQ(std::strlen(out), 4095u);
    EXPECT_EQ(out[4094], ' ');

    std::string over = std::string(4095, 'a') + "\t";  // would reach 4096 columns
    EXPECT_EQ(support::chk_exptab(8, over.c_str()), -1);
    support::set_exit_hook([](int status) { throw status; });
    CaptureStdout();
    int status = 0;
    try {
        support::exp_tab(8, over.c_str());
    } catch (int s) {
        status = s;
    }
    std::fflush(stdout);
    std::string written = GetCapturedStdout();
    support::set_exit_hook(nullptr);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(written, "Error: " + std::string(256, 'a') + " ... too long line\n");
}

TEST(TextCmp, OverLongMessageRightAlignsAShortLine)
{
    support::set_exit_hook([](int status) { throw status; });
    CaptureStdout();
    EXPECT_THROW(support::exp_tab(5000, "ab\t"), int);
    std::fflush(stdout);
    std::string written = GetCapturedStdout();
    support::set_exit_hook(nullptr);
    EXPECT_EQ(written, "Error: " + std::string(253, ' ') + "ab\t ... too long line\n");
}

TEST(TextCmpDeathTest, OverLongLineExitsWithStatus1)
{
    std::string over(4096, 'x');
    EXPECT_EXIT(support::exp_tab(8, over.c_str()), testing::ExitedWithCode(1), "");
}

}  // namespace
