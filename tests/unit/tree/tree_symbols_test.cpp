// What crosses the pipe for --symbols: a worker's reports, file by file, read back in the run.
#include <gtest/gtest.h>

#include <string>

#include "cond/cond_names.h"
#include "tree/tree_symbols.h"

namespace {

std::string name_of(const tree::sym_file &f, const tree::sym_name &n)
{
    return f.text.substr(n.offset, n.length);
}

void note(std::string &answer, int kind, const std::string &name, int line)
{
    tree::symbols_note(kind, name.data(), name.size(), line, &answer);
}

TEST(TreeSymbols, AnswersAreReadBackFileByFileEachNameOncePerDirective)
{
    std::string answer;
    note(answer, cond::NAME_CONDITION, "", 3);
    note(answer, cond::NAME_TESTED, "A", 3);
    note(answer, cond::NAME_TESTED, "B", 4);
    note(answer, cond::NAME_TESTED, "A", 4);  // the same directive: counted once, at line 3
    note(answer, cond::NAME_DEFINED, "D", 6);
    note(answer, cond::NAME_CONDITION, "", 7);
    note(answer, cond::NAME_TESTED, "A", 7);  // a directive of its own
    tree::symbols_end("", &answer);
    tree::symbols_end("cannot read the file: Permission denied", &answer);

    const char *p = answer.data();
    std::size_t left = answer.size();
    tree::sym_file first, second;
    std::string msg;
    ASSERT_EQ(tree::symbols_read(&p, &left, first, msg), 1);
    EXPECT_EQ(msg, "");
    ASSERT_EQ(first.uses.size(), 3u);
    EXPECT_EQ(name_of(first, first.uses[0].name) + "@" + std::to_string(first.uses[0].line), "A@3");
    EXPECT_EQ(name_of(first, first.uses[1].name) + "@" + std::to_string(first.uses[1].line), "B@4");
    EXPECT_EQ(name_of(first, first.uses[2].name) + "@" + std::to_string(first.uses[2].line), "A@7");
    ASSERT_EQ(first.defines.size(), 1u);
    EXPECT_EQ(name_of(first, first.defines[0]), "D");
    ASSERT_EQ(tree::symbols_read(&p, &left, second, msg), 1);
    EXPECT_EQ(msg, "cannot read the file: Permission denied");
    EXPECT_TRUE(second.uses.empty());
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(tree::symbols_read(&p, &left, second, msg), 0);
}

TEST(TreeSymbols, AnAnswerCutShortOrMalformedIsNoFile)
{
    std::string answer;
    note(answer, cond::NAME_CONDITION, "", 1);
    note(answer, cond::NAME_TESTED, "LONG_NAME", 1);
    tree::symbols_end("", &answer);
    for (std::size_t cut = 0; cut < answer.size(); ++cut) {
        const std::string part = answer.substr(0, cut);
        const char *p = part.data();
        std::size_t left = part.size();
        tree::sym_file f;
        std::string msg;
        EXPECT_EQ(tree::symbols_read(&p, &left, f, msg), 0) << cut;
    }
    std::string bad = answer;
    bad[0] = 'Z';
    const char *p = bad.data();
    std::size_t left = bad.size();
    tree::sym_file f;
    std::string msg;
    EXPECT_EQ(tree::symbols_read(&p, &left, f, msg), -1);
}

}  // namespace
