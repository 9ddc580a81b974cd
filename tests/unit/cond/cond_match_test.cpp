#include "cond/cond_match.h"

#include <gtest/gtest.h>

#include <string>

using namespace cond;

namespace {

// Converts a pattern as the command line does (escape switch off) and matches text with it.
bool matches(const char *pattern, const char *text, int esc = 0)
{
    std::string p = pattern;
    conv_search_str(p.data(), esc);
    return match(p.c_str(), text) == 1;
}

std::string converted(const char *pattern, int esc = 0, int *result = nullptr)
{
    std::string p = pattern;
    const int r = conv_search_str(p.data(), esc);
    if (result != nullptr) {
        *result = r;
    }
    return p.c_str();
}

TEST(CondMatch, StarAndQuestionMark)
{
    EXPECT_TRUE(matches("A*", "A"));
    EXPECT_TRUE(matches("A*", "AB"));
    EXPECT_TRUE(matches("A*", "ABC"));
    EXPECT_FALSE(matches("A*", "BA"));
    EXPECT_TRUE(matches("*B", "B"));
    EXPECT_TRUE(matches("*B", "AB"));
    EXPECT_TRUE(matches("*B", "ABB"));
    EXPECT_FALSE(matches("*B", "BA"));
    EXPECT_TRUE(matches("A?C", "ABC"));
    EXPECT_FALSE(matches("A?C", "AC"));
    EXPECT_FALSE(matches("A?C", "ABBC"));
    EXPECT_TRUE(matches("*A*B", "XAYB"));
    EXPECT_TRUE(matches("*A*B", "XAYBB"));
    EXPECT_FALSE(matches("*A*B", "XAYBC"));
    EXPECT_TRUE(matches("A*B*C", "AXBYBC"));
    EXPECT_FALSE(matches("A*B*C", "AXBYB"));
    EXPECT_TRUE(matches("?*?", "AB"));
    EXPECT_FALSE(matches("?*?", "A"));
}

TEST(CondMatch, EmptyTextsAndPatterns)
{
    EXPECT_TRUE(matches("*", ""));
    EXPECT_TRUE(matches("*", "ANY_NAME"));
    EXPECT_FALSE(matches("?", ""));
    EXPECT_TRUE(matches("", ""));
    EXPECT_FALSE(matches("", "A"));
    EXPECT_FALSE(matches("A", ""));
}

TEST(CondMatch, CaseSensitiveAndOnlyTwoWildcards)
{
    EXPECT_FALSE(matches("a", "A"));
    EXPECT_FALSE(matches("x", "y"));
    EXPECT_TRUE(matches("x", "x"));
    EXPECT_FALSE(matches("A.B", "AxB"));
}

TEST(CondMatch, ConversionCollapsesRunsAndIsIdempotent)
{
    EXPECT_EQ(converted("A**B"), converted("A*B"));
    EXPECT_EQ(converted("A**B"), std::string("A\2B"));
    EXPECT_EQ(converted("A?*"), std::string("A\1\2"));
    std::string twice = converted("A?*");
    conv_search_str(twice.data(), 0);
    EXPECT_EQ(twice, std::string("A\1\2"));
}

TEST(CondMatch, ConversionResultTellsOrdinaryCharacters)
{
    int r = -1;
    converted("*", 0, &r);
    EXPECT_EQ(r, 0);
    converted("?*", 0, &r);
    EXPECT_EQ(r, 0);
    converted("", 0, &r);
    EXPECT_EQ(r, 0);
    converted("A*", 0, &r);
    EXPECT_EQ(r, 1);
    std::string again = "\1\2";
    EXPECT_EQ(conv_search_str(again.data(), 0), 0);
}

TEST(CondMatch, EscapeSwitch)
{
    EXPECT_TRUE(matches("\\*", "*", 1));
    EXPECT_FALSE(matches("\\*", "AB", 1));
    EXPECT_TRUE(matches("\\*", "\\", 0));
    EXPECT_TRUE(matches("\\*", "\\anything", 0));
    EXPECT_FALSE(matches("\\*", "*", 0));
    EXPECT_EQ(converted("AB\\", 1), "AB");  // a trailing backslash ends the pattern
    EXPECT_EQ(converted("AB\\", 0), "AB\\");
}

TEST(CondMatch, ShiftJisPairs)
{
    EXPECT_TRUE(matches("?", "\x95\x5c"));
    EXPECT_FALSE(matches("??", "\x95\x5c"));
    EXPECT_TRUE(matches("A?B", "A\x82\xa0"
                               "B"));
    EXPECT_TRUE(matches("*B", "\x82\x42"
                              "B"));
    // A lead byte with no partner is one character of its own.
    EXPECT_TRUE(matches("A?", "A\x95"));
    // The second byte of a pair is never an escape, even with the switch on.
    EXPECT_EQ(converted("\x95\\*", 1), std::string("\x95\\\2"));
}

TEST(CondMatch, SpanOfLastMatch)
{
    const char *text = "xxabyy";
    ASSERT_EQ(match("\2ab\2", text), 1);
    EXPECT_EQ(match_top, text + 2);
    EXPECT_EQ(match_next, text + 4);

    const char *all = "abc";
    ASSERT_EQ(match("\2", all), 1);
    EXPECT_EQ(match_top, all);
    EXPECT_EQ(match_next, all);

    // A failing match still sets match_next and leaves match_top alone.
    const char *other = "zz";
    EXPECT_EQ(match("a\2", other), 0);
    EXPECT_EQ(match_next, other);
    EXPECT_EQ(match_top, all);

    const char *exact = "AB";
    ASSERT_EQ(match("AB", exact), 1);
    EXPECT_EQ(match_next, exact + 2);
}

TEST(CondMatch, SearchConversions)
{
    EXPECT_EQ(std::string(conv_search_str1("abc")), "abc");
    EXPECT_EQ(std::string(conv_search_str1("a?c")), "\2a\1c\2");
    EXPECT_EQ(std::string(conv_search_str1("a**")), "\2a\2\2\2");
    EXPECT_EQ(std::string(conv_search_str1("a\\*b")), "a*b");
    EXPECT_EQ(std::string(conv_search_str1("^a")), "^a");
    EXPECT_EQ(std::string(conv_search_find("^a")), "\2\3a\2");
    EXPECT_EQ(std::string(conv_search_find("ab")), "\2ab\2");
    EXPECT_EQ(std::string(conv_search_find("ab\\")), "\2ab\2");

    const char *text = "one two three";
    ASSERT_EQ(match(conv_search_find("two"), text), 1);
    EXPECT_EQ(match_top, text + 4);
    EXPECT_EQ(match_next, text + 7);
    EXPECT_EQ(match(conv_search_find("four"), text), 0);
}

TEST(CondMatch, SearchConversionStopsAfter510Steps)
{
    const std::string plain(600, 'a');
    EXPECT_EQ(std::string(conv_search_str1(plain.c_str())).size(), 510u);
    std::string pairs;
    for (int i = 0; i < 600; i++) {
        pairs += "\x82\xa0";
    }
    const std::string found = conv_search_find(pairs.c_str());
    EXPECT_EQ(found.size(), 1020u + 2u);
    EXPECT_EQ(found.front(), '\2');
    EXPECT_EQ(found.back(), '\2');
}

}  // namespace
