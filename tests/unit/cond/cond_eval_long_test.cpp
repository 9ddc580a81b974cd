// Operands with many terms: each term is replaced by its token while the rest is read on, so
// values and the excerpts of later errors must be those of term-by-term replacement.
#include <string>

#include "cond_fixture.h"

using namespace cond;

namespace {

class CondEvalLong : public CondTest {};

TEST_F(CondEvalLong, ManyTermsAndCommentsKeepTheirValues)
{
    add("A*", 1);
    add("B*", 0);
    std::string ors;
    std::string ands;
    for (int i = 0; i < 150; i++) {
        const std::string term = (i % 3 == 0)   ? "defined(B" + std::to_string(i) + ")"
                                 : (i % 3 == 1) ? "!defined ( A" + std::to_string(i) + " )"
                                                : "B" + std::to_string(i) + "/* c */";
        ors += (i ? " || " : "") + term;
        ands += (i ? " && " : "") + term;
    }
    list_mode = LIST_MODE_UNDEF;
    EXPECT_EQ(eval(DIR_IF, "#if " + ors + "\n"), COND_FALSE);  // every term is false
    EXPECT_EQ(eval(DIR_IF, "#if " + ors + " || A1\n"), COND_TRUE);
    EXPECT_EQ(eval(DIR_IF, "#if A1 && " + ands + "\n"), COND_FALSE);
    list_mode = 0;
    EXPECT_EQ(eval(DIR_IF, "#if " + ors + " || C /**/ || 0\n"), COND_KEEP);
    EXPECT_EQ(eval(DIR_IF, "#if " + ors + " || C // A1\n"), COND_KEEP);
}

TEST_F(CondEvalLong, LateErrorsShowTheRestOfTheOperand)
{
    const std::string n256(256, 'N');
    std::string front;
    for (int i = 0; i < 12; i++) {  // short of the 999-byte excerpt limit
        front += "defined(A) || X" + std::to_string(i) + " /* x */ || ";
    }
    EXPECT_EQ(eval_fail(DIR_IF, "#if " + front + "defined( " + n256 + ") || D\n"),
              "Error: 7: [ " + n256 + ") || D]: cannot analyze.\n");
    EXPECT_EQ(eval_fail(DIR_IF, "#if " + front + "defined Q || D\n"),
              "Error: 7: [ Q || D]: invalid statement.\n");
    EXPECT_EQ(eval_fail(DIR_IF, "#if " + front + "E /* open\n"),
              "Error: 7: [" + front + "E /* open]: comment is not closed.\n");
}

}  // namespace
