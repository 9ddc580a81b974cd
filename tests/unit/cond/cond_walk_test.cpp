// lex_walk passes over runs of bytes without calling lex_skip; it must end in exactly the state,
// and give exactly the answer, of the plain walk that calls lex_skip at every position.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cond/cond_lex.h"
#include "cond/cond_line.h"
#include "cond/cond_options.h"
#include "cond_fixture.h"
#include "support/sj_string.h"

namespace {

// The walk as the scanner describes it: lex_skip first, the directive position, else one
// character.
char *plain_walk(char *p, const char *dir_pos)
{
    while (*p != '\n' && *p != '\0') {
        char *q = cond::lex_skip(p);
        if (q != nullptr) {
            p = q;
        } else if (p == dir_pos && !cond::comment_f && !cond::comment2_f && !cond::string_f) {
            return p;
        } else {
            p = cond::step_char(p);
        }
    }
    return nullptr;
}

struct LexState {
    int comment_f, comment2_f, string_f;
};

void set_state(const LexState &s)
{
    cond::comment_f = s.comment_f;
    cond::comment2_f = s.comment2_f;
    cond::string_f = s.string_f;
}

// Every line over a small alphabet of the bytes that matter, from every lexical state, with and
// without -T, from the line start and from behind the directive position.
TEST(CondWalk, SameAsPlainWalkOnEveryShortLine)
{
    const char alphabet[] = {' ', '#', 'a', '/', '*', '"', '\'', '\\', '\n', '\x81', '\xE0'};
    const int n_alpha = sizeof alphabet;
    const LexState states[] = {{0, 0, 0}, {1, 0, 0}, {0, 0, '"'}, {0, 0, '\''}, {0, 1, 0}};
    const int max_len = 5;
    long checked = 0;
    for (int len = 0; len <= max_len; len++) {
        long total = 1;
        for (int i = 0; i < len; i++) {
            total *= n_alpha;
        }
        for (long code = 0; code < total; code++) {
            // Bytes behind the terminator that would change the state if a walk ran past it.
            char line[max_len + 8] = {};
            std::memset(line, '"', sizeof line - 1);
            line[len] = '\0';
            long c = code;
            for (int i = 0; i < len; i++) {
                line[i] = alphabet[c % n_alpha];
                c /= n_alpha;
            }
            const char *dir_pos = support::sp_skip(line);
            char *starts[] = {line, const_cast<char *>(dir_pos) + (*dir_pos != '\0' ? 1 : 0)};
            for (char *start : starts) {
                for (const LexState &s : states) {
                    for (int t = 0; t < 2; t++) {
                        cond::opt_T = t;
                        set_state(s);
                        char *want = plain_walk(start, dir_pos);
                        const LexState want_state{cond::comment_f, cond::comment2_f,
                                                  cond::string_f};
                        set_state(s);
                        char *got = cond::lex_walk(start, dir_pos);
                        ASSERT_EQ(got, want)
                            << '[' << std::string(line, len) << "] from " << start - line
                            << " state " << s.comment_f << s.comment2_f << s.string_f << " T " << t;
                        ASSERT_EQ(cond::comment_f, want_state.comment_f) << '[' << line << ']';
                        ASSERT_EQ(cond::comment2_f, want_state.comment2_f) << '[' << line << ']';
                        ASSERT_EQ(cond::string_f, want_state.string_f) << '[' << line << ']';
                        checked++;
                    }
                }
            }
        }
    }
    cond::opt_T = 0;
    cond::lex_reset();
    EXPECT_GT(checked, 1000000);
}

// Long runs between the marks, where the walk skips the most, and a lead byte right before the
// mark that it hides.
TEST(CondWalk, LongRunsAndHiddenMarks)
{
    const char *lines[] = {
        "    int x = 1; /* open",
        "still comment \x81*/ more */ code \"str \\\" \x95\\\" end",
        "  #if 0 // c",
        "x = 'a' + '\\'' + \"\x83\\\"; y = 1 / 2 * 3;\n",
        "text with a lead at the end \x81",
    };
    cond::lex_reset();
    cond::opt_T = 0;
    for (const char *text : lines) {
        char line[128];
        std::strcpy(line, text);
        const char *dir_pos = support::sp_skip(line);
        const LexState before{cond::comment_f, cond::comment2_f, cond::string_f};
        char *want = plain_walk(line, dir_pos);
        const LexState after{cond::comment_f, cond::comment2_f, cond::string_f};
        set_state(before);
        EXPECT_EQ(cond::lex_walk(line, dir_pos), want) << text;
        EXPECT_EQ(cond::comment_f, after.comment_f) << text;
        EXPECT_EQ(cond::string_f, after.string_f) << text;
        cond::comment2_f = 0;
    }
    cond::lex_reset();
}

// lex_line over lines read from a file: what the plain walk does from the line start, plus the
// walk on behind a directive position that holds no '#'. Long lines of random bytes, weighted
// to ordinary letters so that runs are long enough to be passed over a word at a time, meet
// the word paths of both the reader and the walk in every alignment.
class CondLineWalk : public CondTest {};

TEST_F(CondLineWalk, LexLineSameAsPlainWalkOnReadLines)
{
    const char marks[] = {' ',  '\t',   '#',    '/',    '*',  '"', '\'',
                          '\\', '\x81', '\xE0', '\xA5', '\0', '\r'};
    std::uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    std::string text;
    std::vector<std::string> lines;
    for (int i = 0; i < 20000; i++) {
        std::string line;
        for (int k = next() % 3 == 0 ? static_cast<int>(next() % 20) : 0; k > 0; k--) {
            line += next() % 4 == 0 ? '\t' : ' ';  // indentation, passed over a word at a time
        }
        const int len = static_cast<int>(next() % 40);
        const int density = 2 + static_cast<int>(next() % 12);  // one mark in density bytes
        for (int k = 0; k < len; k++) {
            const bool mark = next() % density == 0;
            line += mark ? marks[next() % sizeof marks] : "abcXYZ_0("[next() % 9];
        }
        line += '\n';
        text += line;
    }
    open_input(text);
    for (const bool plain_text : {false, true}) {
        cond::opt_T = plain_text ? 1 : 0;
        if (plain_text) {
            open_input(text);
        }
        cond::lex_reset();
        long lines_read = 0;
        while (cond::lex_next_line("%d: %s too long\n")) {
            char *line = cond::buff + 1;
            const LexState before{cond::comment_f, cond::comment2_f, cond::string_f};
            const char *dir_pos = support::sp_skip(line);
            char *want = plain_walk(line, dir_pos);
            if (want != nullptr && *want != '#') {
                plain_walk(cond::step_char(want), dir_pos);
                want = nullptr;
            }
            const LexState after{cond::comment_f, cond::comment2_f, cond::string_f};
            set_state(before);
            ASSERT_EQ(cond::lex_line(), want) << "line " << cond::line_no;
            ASSERT_EQ(cond::comment_f, after.comment_f) << "line " << cond::line_no;
            ASSERT_EQ(cond::comment2_f, after.comment2_f) << "line " << cond::line_no;
            ASSERT_EQ(cond::string_f, after.string_f) << "line " << cond::line_no;
            lines_read++;
        }
        EXPECT_EQ(lines_read, 20000);
    }
}

// The reader's word copy: every line comes back whole, CR LF turned into LF, in every alignment
// against the reader's blocks, the line cut at a NUL included.
TEST_F(CondLineWalk, ReaderReturnsEveryLineWhole)
{
    std::string text;
    std::vector<std::string> want;
    for (int i = 0; i < 30000; i++) {
        std::string line(static_cast<std::size_t>(i % 53), static_cast<char>('a' + i % 26));
        if (i % 7 == 0) {
            line += std::string("x\0y", 3);
        }
        text += line + (i % 5 == 0 ? "\r\n" : "\n");
        want.push_back(line + "\n");
    }
    text += "last";
    want.push_back("last");
    open_input(text);
    for (const std::string &w : want) {
        ASSERT_EQ(cond::line_read(), 1);
        ASSERT_EQ(std::string(cond::buff + 1, static_cast<std::size_t>(cond::line_len)), w)
            << "line " << cond::line_no;
        ASSERT_EQ(cond::buff[1 + cond::line_len], '\0');
    }
    EXPECT_EQ(cond::line_read(), 0);
}

}  // namespace
