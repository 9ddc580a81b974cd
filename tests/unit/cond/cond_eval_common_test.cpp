// The in-place reading of common operands against the full reading: on every operand it takes,
// the same value; on operands the full reading refuses, or reads in ways of its own, it must
// decline. Operands are drawn from a fixed-seed generator, so every run checks the same ones.
#include <random>
#include <string>
#include <vector>

#include "cond_fixture.h"

using namespace cond;

namespace {

class CondEvalCommon : public CondTest {
protected:
    void SetUp() override
    {
        CondTest::SetUp();
        add("A*", 1);
        add("B", 0);
        add("?X", 1);
        add("d", 0);
        add("defineD", 1);
    }

    // The directive line into the line buffer, where messages quote it; an operand longer than any
    // line leaves just the directive word there.
    static void put_line(int kind, const std::string &operand)
    {
        const std::string line = (kind == DIR_IF ? "#if " : "#ifdef ") + operand;
        set_line(line.size() + 2 <= static_cast<size_t>(BUFF_SIZE) ? line : line.substr(0, 6));
    }

    // The full reading's value, or -1 when it ends the run with a message.
    static int full(int kind, const std::string &operand)
    {
        put_line(kind, operand);
        int v = -1;
        testing::internal::CaptureStderr();
        try {
            if (kind == DIR_IF) {
                eval_if_full(operand.c_str(), &v);
            } else {
                eval_ifdef_full(operand.c_str(), &v);
            }
        } catch (const FatalExit &) {
            v = -1;
        }
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_EQ(message.empty(), v >= 0) << operand;
        return v;
    }

    // The in-place reading's value, or -1 when it declines; a decline leaves *value alone.
    static int common(int kind, const std::string &operand)
    {
        put_line(kind, operand);
        int v = -7;
        const bool taken = kind == DIR_IF ? eval_if_common(operand.c_str(), &v)
                                          : eval_ifdef_common(operand.c_str(), &v);
        if (!taken) {
            EXPECT_EQ(v, -7) << operand;
            return -1;
        }
        return v;
    }
};

// Pieces an operand is made of: the grammar's own and the near misses around it.
const std::vector<std::string> &pieces()
{
    static const std::vector<std::string> p = {
        "A",         "B",           "AB",         "QX",      "x",        "_X",        "A1",
        "d",         "defined",     "definedX",   "defineD", "defined(", "defined (", "defined\t( ",
        "!defined(", "!defined ( ", "! defined(", "!",       "(",        ")",         " )",
        "( )",       " ",           " ",          "\t",      "||",       "&&",        " || ",
        " && ",      "|",           "&",          "|||",     "0",        "1",         "2",
        "01",        "1A",          "/*c*/",      "/**/",    "/*/",      "/*",        "*/",
        "/* || */",  "//",          "// c",       "/",       "\n",       "\r",        "\r\n",
        "\x81\x40",  "\xff",        "=",          ",",       "*"};
    return p;
}

std::string random_operand(std::mt19937 &rng)
{
    const std::vector<std::string> &p = pieces();
    std::string s;
    const int n = static_cast<int>(rng() % 9);
    for (int i = 0; i < n; i++) {
        s += p[rng() % p.size()];
    }
    if (rng() % 4 != 0) {
        s += "\n";
    }
    return s;
}

const char *const gaps[] = {"", " ", "  ", "\t", " /* c */ ", "/**/", "/*/ ", "\n"};

// Sometimes one byte changed, added or removed.
std::string mutated(std::string s, std::mt19937 &rng)
{
    if (rng() % 3 != 0) {
        return s;
    }
    static const char bytes[] = "A0_(|&!/* \t\n\r\x81";
    const size_t at = rng() % (s.size() + 1);
    const char b = bytes[rng() % (sizeof bytes - 1)];
    switch (rng() % 3) {
    case 0:
        s.insert(at, 1, b);
        break;
    case 1:
        if (at < s.size()) {
            s[at] = b;
        }
        break;
    default:
        if (at < s.size()) {
            s.erase(at, 1);
        }
    }
    return s;
}

// A well-formed expression with random gaps (a newline only at the end), perhaps mutated.
std::string shaped_if(std::mt19937 &rng)
{
    static const char *const terms[] = {"A",
                                        "B",
                                        "QX",
                                        "AQ",
                                        "Zz9",
                                        "d",
                                        "dX",
                                        "defineD",
                                        "defined(A)",
                                        "defined ( B )",
                                        "defined(\tQX)",
                                        "!defined(A)",
                                        "!defined (B)",
                                        "!defined(C_2)",
                                        "0",
                                        "1"};
    const char *op = rng() % 2 ? "||" : "&&";
    std::string s = gaps[rng() % 7];
    const int n = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < n; i++) {
        if (i > 0) {
            s += gaps[rng() % 7];
            s += op;
            s += gaps[rng() % 7];
        }
        s += terms[rng() % 16];
    }
    s += gaps[rng() % 7];
    if (rng() % 5 == 0) {
        s += "// note (";
    }
    return mutated(s + "\n", rng);
}

// At most one name between gaps (newlines too), perhaps mutated.
std::string shaped_ifdef(std::mt19937 &rng)
{
    static const char *const names[] = {"", "A", "B", "QX", "Zz9", "d", "defineD", "A_1"};
    std::string s = gaps[rng() % 8];
    s += names[rng() % 8];
    s += gaps[rng() % 8];
    if (rng() % 5 == 0) {
        s += "// note (";
    }
    return mutated(s + "\n", rng);
}

TEST_F(CondEvalCommon, AgreesWithTheFullReadingOnGeneratedOperands)
{
    std::mt19937 rng(20261207);
    for (int mode : {0, LIST_MODE_UNDEF}) {
        list_mode = mode;
        for (int kind : {DIR_IF, DIR_IFDEF}) {
            int taken = 0;
            int declined = 0;
            for (int i = 0; i < 6000; i++) {
                const std::string operand = i % 2            ? random_operand(rng)
                                            : kind == DIR_IF ? shaped_if(rng)
                                                             : shaped_ifdef(rng);
                const int c = common(kind, operand);
                if (c < 0) {
                    declined++;
                    continue;
                }
                taken++;
                ASSERT_EQ(full(kind, operand), c)
                    << "kind " << kind << " mode " << mode << " operand [" << operand << "]";
            }
            // Both ways are exercised, so agreement is not reached by declining everything.
            EXPECT_GT(taken, 1000) << "kind " << kind << " mode " << mode;
            EXPECT_GT(declined, 1000) << "kind " << kind << " mode " << mode;
        }
    }
}

TEST_F(CondEvalCommon, TakesTheCommonShapes)
{
    list_mode = LIST_MODE_UNDEF;
    const struct {
        int kind;
        const char *operand;
        int value;
    } cases[] = {
        {DIR_IFDEF, "A\n", COND_TRUE},
        {DIR_IFDEF, "B /* comment */\n", COND_FALSE},
        {DIR_IFDEF, "QX // comment\n", COND_TRUE},
        {DIR_IFDEF, "\n", COND_FALSE},
        {DIR_IFDEF, "A", COND_TRUE},
        {DIR_IF, "defined(A) || defined(B)\n", COND_TRUE},
        {DIR_IF, "0\n", COND_FALSE},
        {DIR_IF, "A && !defined(QX)\n", COND_FALSE},
        {DIR_IF, "defined ( B )||1 // x\n", COND_TRUE},
        {DIR_IF, "C /**/ && A\n", COND_FALSE},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(common(c.kind, c.operand), c.value) << c.operand;
        EXPECT_EQ(full(c.kind, c.operand), c.value) << c.operand;
    }
}

TEST_F(CondEvalCommon, DeclinesWhatTheFullReadingTreatsItsOwnWay)
{
    const struct {
        int kind;
        const char *operand;
    } cases[] = {
        {DIR_IF, "A B\n"},         // the second term is ignored
        {DIR_IF, "|| A\n"},        // a leading operator is accepted
        {DIR_IF, "A |/**/| B\n"},  // the comment goes, the operator stays
        {DIR_IF, "defined()\n"},   // the empty name
        {DIR_IF, "A\nB\n"},        // read on behind the newline
        {DIR_IF, "A\r\n"},          {DIR_IF, "A /* open\n"},
        {DIR_IF, "A && B || C\n"},  {DIR_IF, "\n"},
        {DIR_IFDEF, "A B\n"},       {DIR_IFDEF, "_X\n"},
        {DIR_IFDEF, "A /* open\n"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(common(c.kind, c.operand), -1) << c.operand;
    }
}

TEST_F(CondEvalCommon, OperandLengthLimitIsTheFullReadings)
{
    const std::string at_limit = "A" + std::string(OPERAND_MAX - 2, ' ') + "\n";
    const std::string over_limit = at_limit + " ";
    const std::string comment_over = "A //" + std::string(OPERAND_MAX, 'c') + "\n";
    for (int kind : {DIR_IF, DIR_IFDEF}) {
        EXPECT_EQ(common(kind, at_limit), COND_TRUE);
        EXPECT_EQ(common(kind, over_limit), -1);
        EXPECT_EQ(common(kind, comment_over), -1);
        EXPECT_EQ(full(kind, over_limit), -1);
        EXPECT_EQ(full(kind, comment_over), -1);
    }
}

TEST_F(CondEvalCommon, NameLengthLimitIsTheFullReadings)
{
    const std::string n255 = "A" + std::string(254, 'x');
    const std::string n256 = n255 + "x";
    EXPECT_EQ(common(DIR_IFDEF, n255 + "\n"), COND_TRUE);
    EXPECT_EQ(common(DIR_IF, "defined(" + n255 + ")\n"), COND_TRUE);
    EXPECT_EQ(common(DIR_IFDEF, n256 + "\n"), -1);
    EXPECT_EQ(common(DIR_IF, n256 + "\n"), -1);
    EXPECT_EQ(common(DIR_IF, "defined(" + n256 + ")\n"), -1);
}

}  // namespace
