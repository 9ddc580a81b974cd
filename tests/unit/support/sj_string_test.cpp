#include "support/sj_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

using support::SetParam;

TEST(SjString, StrchrNeverMatchesTheSecondByteOfAPair)
{
    const char s[] = "\x95\x5C"
                     "a";
    EXPECT_EQ(support::Strchr(s, '\\'), nullptr);
    EXPECT_EQ(support::index(s, '\\'), s + 1);
    EXPECT_EQ(support::Strchr(s, 'a'), s + 2);
    EXPECT_EQ(support::Strchr(s, 0x95), s);
    EXPECT_EQ(support::Strchr(s, 0), nullptr);
    EXPECT_EQ(support::index(s, 0), nullptr);
    // A lead byte just before the end is a byte of its own.
    const char tail[] = "a\x95";
    EXPECT_EQ(support::Strchr(tail, 0x95), tail + 1);
}

TEST(SjString, StrrchrAndRindexFindTheLast)
{
    const char s[] = "a\\b\\c";
    EXPECT_EQ(support::Strrchr(s, '\\'), s + 3);
    EXPECT_EQ(support::Strrchr("abc", '\\'), nullptr);
    const char pair_last[] = "\\\x95\x5C";
    EXPECT_EQ(support::Strrchr(pair_last, '\\'), pair_last);
    EXPECT_EQ(support::rindex(pair_last, '\\'), pair_last + 2);
    const char bytes[] = "abca";
    EXPECT_EQ(support::rindex(bytes, 'a'), bytes + 3);
    EXPECT_EQ(support::rindex(bytes, 'z'), nullptr);
    EXPECT_EQ(support::rindex("", 'a'), nullptr);
}

TEST(SjString, Index1FindsSubstrings)
{
    const char s[] = "abcabc";
    EXPECT_EQ(support::index1(s, "ca"), s + 2);
    EXPECT_EQ(support::index1("ab", "abc"), nullptr);
    EXPECT_EQ(support::index1(s, ""), s);
    EXPECT_EQ(support::index1("", ""), nullptr);
}

TEST(SjString, Index2TestsSingleBytesOnly)
{
    const char s[] = "name=value";
    EXPECT_EQ(support::index2(s, "=;"), s + 4);
    EXPECT_EQ(support::index2(s, "#"), nullptr);
    const char pair[] = "\x95=a=";  // the first '=' is the pair's second byte
    EXPECT_EQ(support::index2(pair, "="), pair + 3);
}

TEST(SjString, SerstrUsesLeadAndTrailClasses)
{
    const char s[] = "\x95\\x\\y";
    EXPECT_EQ(support::serstr(s, "\\y"), s + 3);
    EXPECT_EQ(support::serstr(s, "\\x"), nullptr);  // starts inside the pair
    // 0x81 followed by a blank (not a trail byte) is two characters for serstr, one for Strchr.
    const char loose[] = "\x81 ab";
    EXPECT_EQ(support::serstr(loose, " ab"), loose + 1);
    EXPECT_EQ(support::Strchr(loose, ' '), nullptr);
    const char t[] = "abcd";
    EXPECT_EQ(support::serstr(t, "cd"), t + 2);
    EXPECT_EQ(support::serstr(t, "cde"), nullptr);
    EXPECT_EQ(support::serstr(t, ""), nullptr);
}

TEST(SjString, SearchForWildcards)
{
    const char s[] = "ab?c*";
    EXPECT_EQ(support::srch_wild(s), s + 2);
    EXPECT_EQ(support::srch_wild("abc"), nullptr);
}

TEST(SjString, SkipBlanksAndWords)
{
    const char blanks[] = "  \t ";
    EXPECT_EQ(support::sp_skip(blanks), blanks + 4);
    const char word[] = " \tx y";
    EXPECT_EQ(support::sp_skip(word), word + 2);
    const char plain[] = "abc";
    EXPECT_EQ(support::chr_skip(plain), plain + 3);
    const char tab[] = "ab\tc";
    EXPECT_EQ(support::chr_skip(tab), tab + 2);
}

TEST(SjString, OptionStrSkip)
{
    const char quoted[] = "\"a b\" c";
    EXPECT_EQ(support::optionStr_skip(quoted), quoted + 5);
    const char redirect[] = "abc>out";
    EXPECT_EQ(support::optionStr_skip(redirect), redirect + 3);
    const char quoted_redirect[] = "\"ab<c\"";
    EXPECT_EQ(support::optionStr_skip(quoted_redirect), quoted_redirect + 3);
    const char open[] = "\"abc";
    EXPECT_EQ(support::optionStr_skip(open), open + 4);
    const char quote_inside[] = "ab\"c";
    EXPECT_EQ(support::optionStr_skip(quote_inside), quote_inside + 2);
}

TEST(SjString, SetParamForms)
{
    char out[80];
    const char eq[] = "name=value";
    EXPECT_EQ(SetParam(eq, out, 80), eq + 4);
    EXPECT_STREQ(out, "name");

    const char quoted[] = "  \"a b\" x";
    EXPECT_EQ(SetParam(quoted, out, 80), quoted + 6);
    EXPECT_STREQ(out, "a b");

    const char sect[] = "[sect] rest";
    EXPECT_EQ(SetParam(sect, out, 80), sect + 5);
    EXPECT_STREQ(out, "[sect]");

    const char open[] = "\"abc";
    EXPECT_EQ(SetParam(open, out, 80), open + 4);
    EXPECT_STREQ(out, "abc");

    // The pair's second byte is a double quote, which must not close the word.
    const char sj_quote[] = "\"\x95\"x\" y";
    EXPECT_EQ(SetParam(sj_quote, out, 80), sj_quote + 4);
    EXPECT_STREQ(out, "\x95\"x");
}

// Each case writes into a heap block of exactly the bytes the limit allows, so any byte written
// past it shows up under the address sanitizer as well as in the result.
TEST(SjString, SetParamKeepsWithinTheLimit)
{
    auto run = [](const char *src, int n, size_t room, std::string &word) {
        std::unique_ptr<char[]> out(new char[room]);
        const char *stop = SetParam(src, out.get(), n);
        word = out.get();
        return stop - src;
    };
    std::string word;
    EXPECT_EQ(run("abcdef", 3, 3, word), 2);
    EXPECT_EQ(word, "ab");
    EXPECT_EQ(run("\"abcdef\"", 3, 3, word), 3);
    EXPECT_EQ(word, "ab");
    EXPECT_EQ(run("[abcdef]", 4, 4, word), 2);
    EXPECT_EQ(word, "[ab");
    EXPECT_EQ(run("[abcdef]", 1, 1, word), 0);
    EXPECT_EQ(word, "");
    // A pair counts once but takes two bytes.
    EXPECT_EQ(run("\x95\x5Cxy", 3, 5, word), 3);
    EXPECT_EQ(word, "\x95\x5Cx");
}

TEST(SjString, Isnum)
{
    EXPECT_EQ(support::isnum("123 abc"), 1);
    EXPECT_EQ(support::isnum("12\n"), 1);
    EXPECT_EQ(support::isnum("12a"), 0);
    EXPECT_EQ(support::isnum(""), 1);
    EXPECT_EQ(support::isnum("\xB1"), 0);
}

TEST(SjString, CutQuoteChar)
{
    auto cut = [](const char *s) {
        char buf[16];
        std::strcpy(buf, s);
        EXPECT_EQ(support::cutQuoteChar(buf), 0);
        return std::string(buf);
    };
    EXPECT_EQ(cut("\"abc\""), "abc");
    EXPECT_EQ(cut("\"abc"), "abc");
    EXPECT_EQ(cut("abc\""), "abc\"");
    EXPECT_EQ(cut("\""), "");
    EXPECT_EQ(cut("\"\""), "");
}

TEST(SjString, ChgChrStepsOverPairs)
{
    char path[] = "a/b/c";
    EXPECT_EQ(support::ChgChr(path, '/', '\\'), path);
    EXPECT_STREQ(path, "a\\b\\c");

    char pair[] = "\x95\x5C\\";
    support::ChgChr(pair, '\\', '/');
    EXPECT_STREQ(pair, "\x95\x5C/");

    // The lead-byte test looks at the byte as replaced, so the new lead takes its neighbour along.
    char made_lead[] = "aab";
    support::ChgChr(made_lead, 'a', 0x95);
    EXPECT_STREQ(made_lead, "\x95"
                            "ab");

    char cut[] = "a,b,c";
    support::ChgChr(cut, ',', 0);
    EXPECT_EQ(std::memcmp(cut, "a\0b\0c", 6), 0);
}

TEST(SjString, InsCharAndCutBackSpace)
{
    char buf[8] = "";
    EXPECT_EQ(support::insChar(buf, 'x'), 0);
    EXPECT_STREQ(buf, "x");
    support::insChar(buf, 'w');
    EXPECT_STREQ(buf, "wx");

    char tail[] = "ab \t ";
    EXPECT_EQ(support::cutBackSpace(tail), 0);
    EXPECT_EQ(std::memcmp(tail, "ab\0\0\0", 6), 0);
    char empty[] = "";
    EXPECT_EQ(support::cutBackSpace(empty), 0);
    EXPECT_STREQ(empty, "");
}

TEST(SjString, ByteCopiesAndFills)
{
    char buf[] = "abcdX";
    EXPECT_EQ(support::bakmov(buf, buf + 1, 4), 0);
    EXPECT_STREQ(buf, "aabcd");

    char dst[] = "....";
    EXPECT_EQ(support::bcopy(dst, "xy", 2), 0);
    EXPECT_STREQ(dst, "xy..");
    support::bcopy(dst, "zz", 0);
    support::bcopy(dst, "zz", -3);
    support::bakmov("zz", dst, 0);
    EXPECT_STREQ(dst, "xy..");
    // Forward means forward: an overlapping copy toward the end repeats the first byte.
    char fwd[] = "abcde";
    support::bcopy(fwd + 1, fwd, 4);
    EXPECT_STREQ(fwd, "aaaaa");

    char fill[] = "......";
    EXPECT_EQ(support::clear(fill, 0x141, 3), fill + 3);
    EXPECT_STREQ(fill, "AAA...");
    EXPECT_EQ(support::clear(fill, 0, -1), fill);
    EXPECT_STREQ(fill, "AAA...");
}

}  // namespace
