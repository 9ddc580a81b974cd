#include "cond_fixture.h"

using namespace cond;

namespace {

class CondEval : public CondTest {
protected:
    // -l A: A defined, names outside the lists unsettled.
    void list_l_A()
    {
        add("A", 1);
        list_mode = 0;
    }
    // -lA A: A defined, every other name undefined.
    void list_lA_A()
    {
        add("A", 1);
        list_mode = LIST_MODE_UNDEF;
    }
};

TEST_F(CondEval, RowsWithADefinedAndOthersUnsettled)
{
    list_l_A();
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef A\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IFNDEF, "#ifndef A\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef B\n"), COND_KEEP);
    EXPECT_EQ(eval(DIR_IF, "#if defined(A) && B\n"), COND_KEEP);
    EXPECT_EQ(eval(DIR_IF, "#if !defined(A) && B\n"), COND_FALSE);
    EXPECT_EQ(eval(DIR_IF, "#if 0\n"), COND_KEEP);
    EXPECT_EQ(eval(DIR_IF, "#if defined(A) || B\n"), COND_TRUE);
}

TEST_F(CondEval, RowsWithOnlyADefined)
{
    list_lA_A();
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef B\n"), COND_FALSE);
    EXPECT_EQ(eval(DIR_IF, "#if defined(A) && B\n"), COND_FALSE);
    EXPECT_EQ(eval(DIR_IF, "#if 0\n"), COND_FALSE);
    EXPECT_EQ(eval(DIR_IF, "#if 1 || B\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_ELIF, "#elif A\n"), COND_TRUE);
}

TEST_F(CondEval, RowsWithAUndefined)
{
    add("A", 0);
    EXPECT_EQ(eval(DIR_IFNDEF, "#ifndef A\n"), COND_FALSE);
    EXPECT_EQ(eval(DIR_IF, "#if A || B\n"), COND_KEEP);
}

TEST_F(CondEval, PassOneRewritesTermsIntoTokens)
{
    list_l_A();
    set_line("#if defined(A) && B\n");
    int v;
    EXPECT_EQ(eval_if_expr("defined(A) && B\n", &v), 0);
    EXPECT_EQ(v, COND_UNKNOWN);
    // The evaluator never changes the line it was given.
    EXPECT_STREQ(buff + 1, "#if defined(A) && B\n");
}

TEST_F(CondEval, DirectiveReturnsOperandInsideLine)
{
    list_l_A();
    set_line("  #  ifdef \t A\n");
    int v;
    char *operand = eval_directive(DIR_IFDEF, buff + 1, &v);
    EXPECT_EQ(operand, buff + 1 + 13);
    EXPECT_EQ(v, COND_TRUE);
}

// Three-valued logic: T defined, F undefined, U unsettled.
TEST_F(CondEval, KleeneAndOrTable)
{
    add("T", 1);
    add("F", 0);
    struct Row {
        const char *a, *b;
        int and_v, or_v;
    };
    const Row rows[] = {
        {"F", "F", 0, 0}, {"F", "T", 0, 1}, {"F", "U", 0, 2}, {"T", "F", 0, 1}, {"T", "T", 1, 1},
        {"T", "U", 2, 1}, {"U", "F", 0, 2}, {"U", "T", 2, 1}, {"U", "U", 2, 2},
    };
    for (const Row &r : rows) {
        set_line("#if x\n");
        int v;
        eval_if_expr((std::string(r.a) + " && " + r.b + "\n").c_str(), &v);
        EXPECT_EQ(v, r.and_v) << r.a << " && " << r.b;
        eval_if_expr((std::string(r.a) + " || " + r.b + "\n").c_str(), &v);
        EXPECT_EQ(v, r.or_v) << r.a << " || " << r.b;
    }
}

TEST_F(CondEval, OperandsWithoutOperatorAndLeadingOperator)
{
    add("T", 1);
    add("F", 0);
    list_mode = LIST_MODE_UNDEF;
    EXPECT_EQ(eval(DIR_IF, "#if || T\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IF, "#if F T\n"), COND_FALSE);  // the second operand is ignored
    EXPECT_EQ(eval(DIR_IF, "#if F || F T\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IF, "#if T && T F\n"), COND_FALSE);
    EXPECT_EQ(eval(DIR_IF, "#if && T\n"), COND_TRUE);
}

TEST_F(CondEval, NegatedDefinedAndLiterals)
{
    add("T", 1);
    add("F", 0);
    EXPECT_EQ(eval(DIR_IF, "#if !defined(T)\n"), COND_FALSE);
    EXPECT_EQ(eval(DIR_IF, "#if !defined(F)\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IF, "#if !defined(U)\n"), COND_KEEP);
    EXPECT_EQ(eval(DIR_IF, "#if 1 && T\n"), COND_KEEP);  // literals unsettled while names are
    list_mode = LIST_MODE_UNDEF;
    EXPECT_EQ(eval(DIR_IF, "#if 1\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IF, "#if 0 || 1\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IF, "#if !defined(U)\n"), COND_TRUE);
}

TEST_F(CondEval, AcceptedSpellings)
{
    add("A", 1);
    add("_X", 1);
    list_mode = LIST_MODE_UNDEF;
    EXPECT_EQ(eval(DIR_IF, "#if defined ( A )\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IF, "#if defined(_X)\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IF, "#if\tdefined(A)&&!defined(B)\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef A /* note */\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef A/* note */\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef /*/ A\n"), COND_TRUE);  // "/*/" is a closed comment
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef A // B C\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IF, "#if A /* x */ || /* y */ B // (\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef\n"), COND_FALSE);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef"), COND_FALSE);
}

TEST_F(CondEval, EmptyIfdefIsFalseEvenWhenNamesAreUnsettled)
{
    add("A", 1);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef\n"), COND_FALSE);
    EXPECT_EQ(eval(DIR_IFNDEF, "#ifndef  \n"), COND_FALSE);
}

TEST_F(CondEval, EmptyNameInDefined)
{
    add("A", 1);
    EXPECT_EQ(eval(DIR_IF, "#if defined()\n"), COND_KEEP);
    add("*", 0);
    EXPECT_EQ(eval(DIR_IF, "#if defined()\n"), COND_FALSE);
}

TEST_F(CondEval, EmptyPatternMatchesOnlyTheEmptyName)
{
    add("", 1);
    EXPECT_EQ(eval(DIR_IF, "#if defined( )\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef A\n"), COND_KEEP);
}

TEST_F(CondEval, FirstMatchingPatternDecides)
{
    add("A*", 1);
    add("AB", 0);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef AB\n"), COND_TRUE);
    cond::options_reset();
    add("AB", 0);
    add("A*", 1);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef AB\n"), COND_FALSE);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef ABC\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef ab\n"), COND_KEEP);
}

TEST_F(CondEval, NameLengthLimit)
{
    add("N*", 1);
    const std::string n255 = "N" + std::string(254, 'x');
    const std::string n256 = n255 + "x";
    EXPECT_EQ(eval(DIR_IFDEF, "#ifdef " + n255 + "\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IF, "#if defined(" + n255 + ")\n"), COND_TRUE);
    EXPECT_EQ(eval_fail(DIR_IFDEF, "#ifdef " + n256 + "\n"),
              "Error: 7: [" + n256 + "]: cannot analyze.\n");
    // Inside defined( ) the excerpt starts where the name was looked for.
    EXPECT_EQ(eval_fail(DIR_IF, "#if defined( " + n256 + ") || A\n"),
              "Error: 7: [ " + n256 + ") || A]: cannot analyze.\n");
}

TEST_F(CondEval, IfdefErrors)
{
    add("A", 1);
    EXPECT_EQ(eval_fail(DIR_IFDEF, "#ifdef A /* note\n"),
              "Error: 7: [A /* note]: invalid statement.\n");
    EXPECT_EQ(eval_fail(DIR_IFDEF, "#ifdef A B\n"), "Error(#1): 7: [A B]: cannot analyze.\n");
    EXPECT_EQ(eval_fail(DIR_IFNDEF, "#ifndef A /**/B\n"),
              "Error(#1): 7: [A /**/B]: cannot analyze.\n");
    EXPECT_EQ(eval_fail(DIR_IFDEF, "#ifdef _X\n"), "Error(#2): 7: [_X]: cannot analyze.\n");
    EXPECT_EQ(eval_fail(DIR_IFDEF, "#ifdef (A)\n"), "Error(#2): 7: [(A)]: cannot analyze.\n");
    EXPECT_EQ(eval_fail(DIR_IFDEF, "#ifdef !A\n"), "Error(#2): 7: [!A]: cannot analyze.\n");
    EXPECT_EQ(eval_fail(DIR_IFNDEF, "#ifndef 9\n"), "Error(#2): 7: [9]: cannot analyze.\n");
}

TEST_F(CondEval, IfErrors)
{
    add("A", 1);
    const struct {
        const char *line, *message;
    } cases[] = {
        {"#if A && B || C\n", "Error(#4): 7: [#if A && B || C]: cannot analyze.\n"},
        {"#if A || B && C\n", "Error(#5): 7: [#if A || B && C]: cannot analyze.\n"},
        {"#if (A)\n", "Error(#6): 7: [#if (A)]: cannot analyze.\n"},
        {"#if !A\n", "Error(#6): 7: [#if !A]: cannot analyze.\n"},
        {"#if _X\n", "Error(#6): 7: [#if _X]: cannot analyze.\n"},
        {"#if A == 1\n", "Error(#6): 7: [#if A == 1]: cannot analyze.\n"},
        {"#if A | B\n", "Error(#6): 7: [#if A | B]: cannot analyze.\n"},
        {"#if 2\n", "Error(#3): 7: [#if 2]: cannot analyze.\n"},
        {"#if 10\n", "Error(#3): 7: [#if 10]: cannot analyze.\n"},
        {"#if 1A\n", "Error(#3): 7: [#if 1A]: cannot analyze.\n"},
        {"#if defined A\n", "Error: 7: [ A]: invalid statement.\n"},
        {"#if defined(A B)\n", "Error: 7: [(A B)]: invalid statement.\n"},
        {"#if definedX\n", "Error: 7: [X]: invalid statement.\n"},
        {"#if !defined\n", "Error: 7: []: invalid statement.\n"},
        {"#if\n", "Error: 7: [#if]: invalid statement.\n"},
        {"#if // note\n", "Error: 7: [#if // note]: invalid statement.\n"},
        {"#if A &&\n", "Error: 7: [#if A &&]: invalid statement.\n"},
        {"#if ||\n", "Error: 7: [#if ||]: invalid statement.\n"},
        {"#if A /* note\n", "Error: 7: [A /* note]: comment is not closed.\n"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(eval_fail(DIR_IF, c.line), c.message) << c.line;
    }
    list_mode = LIST_MODE_UNDEF;
    EXPECT_EQ(eval_fail(DIR_ELIF, "#elif A && 0x1\n"),
              "Error(#3): 7: [#elif A && 0x1]: cannot analyze.\n");
}

TEST_F(CondEval, TooLongOperand)
{
    // Longer than any line the reader accepts, so only a direct call can reach the limit.
    add("A", 1);
    set_line("#if A\n");
    const std::string operand(OPERAND_MAX + 1, 'A');
    // The formatter stops once 1024 bytes stand, so the end of the format is lost.
    const std::string message =
        ("Error: 7: [" + operand.substr(0, 999) + "]: too long data\n").substr(0, 1024);
    testing::internal::CaptureStderr();
    int v = -1;
    EXPECT_THROW(eval_if_expr(operand.c_str(), &v), FatalExit);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
    testing::internal::CaptureStderr();
    EXPECT_THROW(eval_ifdef_expr(operand.c_str(), &v), FatalExit);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
    const std::string longest = std::string(OPERAND_MAX - 1, ' ') + "A";
    EXPECT_EQ(eval_ifdef_expr(longest.c_str(), &v), 0);
    EXPECT_EQ(v, COND_TRUE);
}

}  // namespace
