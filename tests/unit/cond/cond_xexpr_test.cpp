// The -x expression reader: constants, every operator with the preprocessor's arithmetic, three
// values, the cuts that simplify an unknown condition, and what it refuses to read.
#include <cstdint>
#include <string>

#include "cond/cond_xexpr.h"
#include "cond_fixture.h"

using namespace cond;

namespace {

class CondXexpr : public CondTest {
protected:
    void SetUp() override
    {
        CondTest::SetUp();
        opt_x = 1;
        add_value("FIVE", 5, false);
        add_value("NEG", static_cast<std::uint64_t>(-2), false);
        add_value("BIG", UINT64_MAX, true);
        add_value("V_*", 7, false);
        add_value("T", 1, false);  // a plain -l entry: defined as 1
        add("F", 0);
    }

    // Appends a defined pattern with a value of its own, as NAME=VALUE on the command line.
    void add_value(const char *pattern, std::uint64_t v, bool uns)
    {
        add(pattern, 1);
        list_num[list_count - 1] = v;
        list_uns[list_count - 1] = uns ? 1 : 0;
    }

    static int read_if(const std::string &text)
    {
        return xexpr_if(text.data(), static_cast<int>(text.size()));
    }

    // The text with the reader's cuts left out (only meaningful after X_UNKNOWN).
    static std::string simplified(const std::string &text)
    {
        EXPECT_EQ(read_if(text), X_UNKNOWN) << text;
        std::string out;
        int p = 0;
        for (int i = 0; i < xcut_count; i++) {
            EXPECT_LE(p, xcut_from[i]) << text;
            out += text.substr(static_cast<size_t>(p), static_cast<size_t>(xcut_from[i] - p));
            p = xcut_to[i];
        }
        return out + text.substr(static_cast<size_t>(p));
    }
};

TEST_F(CondXexpr, IntegerConstantsInEveryBaseAndSuffix)
{
    std::uint64_t v = 0;
    int uns = -1;
    const struct {
        const char *text;
        std::uint64_t value;
        int uns;
    } good[] = {
        {"0", 0, 0},
        {"42", 42, 0},
        {"010", 8, 0},
        {"0x1F", 31, 0},
        {"0XaB", 171, 0},
        {"0b101", 5, 0},
        {"7u", 7, 1},
        {"7U", 7, 1},
        {"7l", 7, 0},
        {"7LL", 7, 0},
        {"7ull", 7, 1},
        {"7LLu", 7, 1},
        {"7lu", 7, 1},
        {"9223372036854775807", 9223372036854775807u, 0},
        {"9223372036854775808", 9223372036854775808u, 1},  // too large for the signed type
        {"0xFFFFFFFFFFFFFFFF", UINT64_MAX, 1},
        {"18446744073709551615", UINT64_MAX, 1},
    };
    for (const auto &g : good) {
        const int n = static_cast<int>(std::strlen(g.text));
        ASSERT_TRUE(xnum_read(g.text, n, &v, &uns)) << g.text;
        EXPECT_EQ(v, g.value) << g.text;
        EXPECT_EQ(uns, g.uns) << g.text;
    }
    for (const char *bad : {"", "08", "0x", "0b2", "1lL", "1uu", "1lll", "1e5", "1.0",
                            "18446744073709551616", "0x10000000000000000", "1z", "-1"}) {
        EXPECT_FALSE(xnum_read(bad, static_cast<int>(std::strlen(bad)), &v, &uns)) << bad;
    }
}

TEST_F(CondXexpr, OperatorsFollowThePreprocessorsArithmetic)
{
    const char *const truths[] = {
        "FIVE == 5",
        "NEG == -2 && NEG < 0",
        "BIG > 0 && BIG + 1 == 0",
        "V_A * 2 == 14",
        "-FIVE == -5 && +FIVE == 5 && ~FIVE == -6 && !FIVE == 0",
        "FIVE * 3 == 15 && FIVE / 2 == 2 && FIVE % 2 == 1 && FIVE - 7 == -2",
        "-7 / 2 == -3 && -7 % 2 == -1",
        "-7 / 2u == 9223372036854775804u",
        "(1 << 62) == 4611686018427387904 && (FIVE >> 1) == 2",
        "(-8 >> 1) == -4 && (-8u >> 1) == 9223372036854775804u",
        "-1 < 0 && !(-1 < 0u) && 2 > 1 && 2 >= 2 && 1 <= 1",
        "(6 & 3) == 2 && (6 ^ 3) == 5 && (6 | 3) == 7 && 1 != 2",
        "1 ? 2 : 0",
        "(1 ? -1 : 0u) > 0",  // the result takes the unsigned type of the other branch
        "0 ? 0 : 3",
        "'a' == 97 && '\\n' == 10 && '\\x41' == 65 && '\\101' == 65 && '\\377' == -1",
        "9223372036854775807 + 1 < 0",  // wraps, as the preprocessor does with a warning
        "defined(T) && defined T && !defined(F) && !defined NOT_LISTED_BUT_OPEN == "
        "!defined(NOT_LISTED_BUT_OPEN)",
        "T && !F && F == 0",
        "FIVE /* a comment */ == 5 // and a line comment",
        "FIVE\n",
        "1 + 2 * 3 == 7 && (1 + 2) * 3 == 9 && 1 - 2 - 3 == -4 && 2 * 3 % 4 == 2",
        "1 || 0 && 0",        // && binds tighter
        "0 ? 1 : 1 ? 2 : 0",  // ?: groups to the right
    };
    // Names in no list count as undefined, so that constant expressions are read too.
    list_mode = LIST_MODE_UNDEF;
    for (const char *t : truths) {
        EXPECT_EQ(read_if(t), X_TRUE) << t;
    }
    for (const char *f :
         {"FIVE == 4", "F", "NOT_SET_BY_LISTS && 0", "0 && NOT_SET_BY_LISTS", "-1 > 0"}) {
        EXPECT_EQ(read_if(f), X_FALSE) << f;
    }
}

TEST_F(CondXexpr, UnknownOperandsAndWhatDecidesAnyway)
{
    for (const char *u : {"U", "U + 1", "U * 0", "!U", "T && U", "U || F", "U ? 1 : 1",
                          "defined(U)", "FOO(1)", "__has_include(<a/b.h>)", "T ? U : 0", "(U)"}) {
        EXPECT_EQ(read_if(u), X_UNKNOWN) << u;
    }
    EXPECT_EQ(read_if("F && U"), X_FALSE);
    EXPECT_EQ(read_if("U && F"), X_FALSE);
    EXPECT_EQ(read_if("T || U"), X_TRUE);
    EXPECT_EQ(read_if("U || T"), X_TRUE);
    EXPECT_EQ(read_if("F ? U : 1"), X_TRUE);
    EXPECT_EQ(read_if("T ? 1 : FOO(2)"), X_TRUE);
    // Of an open type the unknown operand may be unsigned: the sign-dependent result is open.
    EXPECT_EQ(read_if("(1 ? -1 : U) > 0"), X_UNKNOWN);
    EXPECT_EQ(read_if("(1 ? -1 : U) == -1"), X_TRUE);
    // Names in no list count as undefined once no -l or -d list is given.
    list_mode = LIST_MODE_UNDEF;
    EXPECT_EQ(read_if("U == 0 && !defined U"), X_TRUE);
    EXPECT_EQ(read_if("FOO(1)"), X_UNKNOWN);
}

TEST_F(CondXexpr, ConstantExpressionsStayOpenWhileNamesAreOpen)
{
    EXPECT_EQ(read_if("0"), X_UNKNOWN);
    EXPECT_EQ(read_if("1 + 1 == 2"), X_UNKNOWN);
    EXPECT_EQ(xcut_count, 0);
    EXPECT_EQ(read_if("0 && T"), X_FALSE);  // a name in it: read
    list_mode = LIST_MODE_UNDEF;
    EXPECT_EQ(read_if("0"), X_FALSE);
    EXPECT_EQ(read_if("1 + 1 == 2"), X_TRUE);
}

TEST_F(CondXexpr, CutsDropKnownOperandsWhereOnlyTruthCounts)
{
    EXPECT_EQ(simplified("T && U"), "U");
    EXPECT_EQ(simplified("U && T"), "U");
    EXPECT_EQ(simplified("U || F"), "U");
    EXPECT_EQ(simplified("F || U // note"), "U // note");
    EXPECT_EQ(simplified("defined(T) && U && FIVE > 3 && V"), "U && V");
    EXPECT_EQ(simplified("(T || U) && (F || V)"), "(V)");
    EXPECT_EQ(simplified("!(T && U)"), "!(U)");
    EXPECT_EQ(simplified("T && U ? 1 : 0"), "U ? 1 : 0");
    EXPECT_EQ(simplified("U ? T && V : W"), "U ? V : W");
    EXPECT_EQ(simplified("U || F && V"), "U");  // F && V is false: || drops it
    // Where the value itself counts, nothing goes.
    EXPECT_EQ(simplified("(T && U) + 1"), "(T && U) + 1");
    EXPECT_EQ(simplified("U == (T && V)"), "U == (T && V)");
    EXPECT_EQ(simplified("((T && U) && V) + 1"), "((U) && V) + 1");
    EXPECT_EQ(simplified("U  &&  V"), "U  &&  V");
    EXPECT_EQ(xcut_count, 0);
}

TEST_F(CondXexpr, DropsAFalseOperandOfOr)
{
    // The whole false operand goes in one cut, with the operator before it.
    EXPECT_EQ(read_if("U || F && V"), X_UNKNOWN);
    ASSERT_EQ(xcut_count, 1);
    EXPECT_EQ(xcut_from[0], 1);
    EXPECT_EQ(xcut_to[0], 11);
}

TEST_F(CondXexpr, WhatCannotBeReadIsBad)
{
    for (const char *bad : {"",          "   ",       "U +",
                            "(U",        "U)",        "U V",
                            "A = 1",     "A += 1",    "\"s\"",
                            "1.0",       "L'a'",      "'ab'",
                            "''",        "'\\q'",     "defined",
                            "defined(",  "defined()", "defined(A",
                            "defined 3", "1 / 0",     "FIVE % (FIVE - 5)",
                            "1 << 64",   "1 << -1",   "U ? 1",
                            "U : 1",     "1, 2",      "A /* open",
                            "FOO(1",     "$A",        "(-9223372036854775807 - 1) / -1"}) {
        EXPECT_EQ(read_if(bad), X_BAD) << bad;
    }
    // Errors where the preprocessor does not evaluate do not count.
    EXPECT_EQ(read_if("F && 1 / 0"), X_FALSE);
    EXPECT_EQ(read_if("T || 1 / 0"), X_TRUE);
    EXPECT_EQ(read_if("T ? 1 : 1 / 0"), X_TRUE);
    EXPECT_EQ(read_if("U && 1 / 0"), X_BAD);
}

TEST_F(CondXexpr, LimitsMakeItBadNotBroken)
{
    std::string deep(XDEPTH_MAX + 5, '(');
    deep += "1";
    deep += std::string(XDEPTH_MAX + 5, ')');
    EXPECT_EQ(read_if(deep), X_BAD);
    std::string nested(XDEPTH_MAX / 4, '(');
    nested += "T";
    nested += std::string(XDEPTH_MAX / 4, ')');
    EXPECT_EQ(read_if(nested), X_TRUE);
    std::string wide = "U";
    for (int i = 0; i < XNODE_MAX; i++) {
        wide += " && T";
    }
    EXPECT_EQ(read_if(wide), X_BAD);
    std::string many = "U";
    for (int i = 0; i < XNODE_MAX / 4; i++) {
        many += " && T";
    }
    EXPECT_EQ(simplified(many), "U");
    const std::string long_name(NAME_MAX_LEN + 1, 'N');
    EXPECT_EQ(read_if(long_name), X_BAD);
    EXPECT_EQ(read_if(std::string(NAME_MAX_LEN, 'N')), X_UNKNOWN);
}

TEST_F(CondXexpr, IfdefReadsOneName)
{
    const auto ifdef = [](const std::string &t) {
        return xexpr_ifdef(t.data(), static_cast<int>(t.size()));
    };
    EXPECT_EQ(ifdef("T\n"), X_TRUE);
    EXPECT_EQ(ifdef(" F /* note */"), X_FALSE);
    EXPECT_EQ(ifdef("_WIN32 // note"), X_UNKNOWN);
    EXPECT_EQ(ifdef("FIVE"), X_TRUE);
    for (const char *bad : {"", "T F", "3", "(T)", "T(", "/* open", "\"T\""}) {
        EXPECT_EQ(ifdef(bad), X_BAD) << bad;
    }
}

}  // namespace
