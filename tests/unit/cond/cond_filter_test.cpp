// The pattern filter may only rule out texts that match would refuse: a lookup that trusts it
// must give the answers of trying every pattern with match.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cond/cond_match.h"

using namespace cond;

namespace {

// Every string of up to max_len symbols from alphabet.
std::vector<std::string> all_strings(const std::string &alphabet, int max_len)
{
    std::vector<std::string> out{""};
    std::size_t from = 0;
    for (int len = 1; len <= max_len; len++) {
        const std::size_t to = out.size();
        for (std::size_t i = from; i < to; i++) {
            for (char c : alphabet) {
                out.push_back(out[i] + c);
            }
        }
        from = to;
    }
    return out;
}

bool may_match(const std::string &pat, const std::string &text)
{
    PatFilter f;
    pat_filter(pat.c_str(), &f);
    return pat_may_match(f, text.c_str(), text.size(), ident_set(text.c_str(), text.size()));
}

TEST(CondFilter, NeverRulesOutAMatch)
{
    // Ordinary bytes, both wildcards, and a lead byte that makes a two-byte character.
    const std::string pat_alpha = {'A', 'b', '_', '7', WILD_ONE, WILD_RUN, '\x81'};
    const std::string text_alpha = {'A', 'b', '_', '\x81', '!'};
    const auto pats = all_strings(pat_alpha, 4);
    const auto texts = all_strings(text_alpha, 4);
    long matched = 0;
    long ruled_out = 0;
    for (const std::string &p : pats) {
        PatFilter f;
        pat_filter(p.c_str(), &f);
        for (const std::string &t : texts) {
            const bool may = pat_may_match(f, t.c_str(), t.size(), ident_set(t.c_str(), t.size()));
            if (match(p.c_str(), t.c_str())) {
                ASSERT_TRUE(may) << "pattern [" << p << "] text [" << t << "]";
                matched++;
            } else if (!may) {
                ruled_out++;
            }
        }
    }
    EXPECT_GT(matched, 10000);
    EXPECT_GT(ruled_out, 1000000);  // and it does rule out most of the rest
}

TEST(CondFilter, RulesOutByFirstLastLengthAndLetters)
{
    const std::string config = {'C', 'O', 'N', 'F', 'I', 'G', '_', WILD_RUN};
    EXPECT_FALSE(may_match(config, "HAVE_MMAP"));
    EXPECT_TRUE(may_match(config, "CONFIG_NET"));
    const std::string stats = {WILD_RUN, '_', 'S', 'T', 'A', 'T', 'S'};
    EXPECT_FALSE(may_match(stats, "X_STAT"));
    EXPECT_FALSE(may_match(stats, "STATS"));  // shorter than the ordinary bytes
    EXPECT_TRUE(may_match(stats, "IO_STATS"));
    const std::string a_one_c = {'A', WILD_ONE, 'C'};
    EXPECT_FALSE(may_match(a_one_c, "ABBBC"));  // a WILD_ONE takes at most two bytes
    EXPECT_TRUE(may_match(a_one_c, "A\x81\x40"
                                   "C"));
    const std::string inner = {WILD_RUN, 'N', 'A', 'M', 'E', WILD_RUN};
    EXPECT_FALSE(may_match(inner, "FOO_BAR"));  // no N, M or E at all
    EXPECT_TRUE(may_match(inner, "LONGNAME_OPTION"));
    const std::string star = {WILD_RUN};
    EXPECT_TRUE(may_match(star, ""));
    EXPECT_FALSE(may_match("", "A"));
    EXPECT_TRUE(may_match("", ""));
}

}  // namespace
