// skim_lines must take only lines that the line-by-line walk passes through with no decision of
// its own, leave the lexical state exactly as that walk would, and decline a line only where a NUL
// or a two-byte character makes the walk depend on more than the masks show.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cond/cond_classify.h"
#include "cond/cond_eval.h"
#include "cond/cond_lex.h"
#include "cond/cond_skim.h"
#include "support/sj_string.h"

namespace {

struct Lex {
    int comment = 0;
    int quote = 0;
    bool operator==(const Lex &o) const { return comment == o.comment && quote == o.quote; }
};

// The walk through one line as the line reader hands it over (CR LF as LF, a NUL behind it), one
// position at a time: the reference the masks must agree with.
void walk_line(const std::string &line, size_t p, Lex *lex)
{
    const auto at = [&](size_t i) { return i < line.size() ? line[i] : '\0'; };
    for (;;) {
        const unsigned char c = static_cast<unsigned char>(at(p));
        if (lex->quote && c == '\\') {
            p += at(p + 1) == '\0' ? 1 : 2;
            continue;
        }
        if (lex->comment) {
            if (c == '*' && at(p + 1) == '/') {
                lex->comment = 0;
                p += 2;
                continue;
            }
        } else if (lex->quote) {
            if (c == lex->quote) {
                lex->quote = 0;
                p++;
                continue;
            }
        } else if (c == '/' && at(p + 1) == '/') {
            return;
        } else if (c == '/' && at(p + 1) == '*') {
            lex->comment = 1;
            p += 2;
            continue;
        } else if (c == '"' || c == '\'') {
            lex->quote = c;
            p++;
            continue;
        }
        if (c == '\n' || c == '\0') {
            return;
        }
        p += support::is_sj_lead(c) && at(p + 1) != '\0' ? 2 : 1;
    }
}

// Walks the line at text[pos..] (complete, its newline at nl); false when it is a conditional
// directive, which no skim may take.
bool reference_line(const std::string &text, size_t pos, size_t nl, bool plain_text, Lex *lex)
{
    std::string line = text.substr(pos, nl + 1 - pos);
    if (line.size() >= 2 && line[line.size() - 2] == '\r') {
        line.erase(line.size() - 2, 1);
    }
    size_t p = 0;
    while (line[p] == ' ' || line[p] == '\t') {
        p++;
    }
    if (line[p] == '#' && !lex->comment && !lex->quote) {
        if (cond::directive_kind(line.c_str() + p) >= 0) {
            return false;
        }
        p++;
    }
    if (!plain_text) {
        walk_line(line, p, lex);
    }
    return true;
}

// Classifies text (padded to whole chunks) and compares skim_lines with the reference from every
// line start, with the end at the text's end and at a few places before it.
void check(const std::string &text, bool plain_text, Lex start, bool must_take_all)
{
    std::string padded = text;
    padded.append(cond::CHUNK - padded.size() % cond::CHUNK + cond::CHUNK, 'x');
    std::vector<cond::ChunkMasks> masks(padded.size() / cond::CHUNK);
    cond::classify_chunks(reinterpret_cast<const unsigned char *>(padded.data()), masks.size(),
                          masks.data());
    for (size_t end : {text.size(), text.size() / 2, text.size() * 3 / 4 + 1}) {
        if (end > text.size()) {
            continue;
        }
        for (size_t from = 0; from <= end; from++) {
            if (from > 0 && text[from - 1] != '\n') {
                continue;  // skims start at line starts only
            }
            cond::SkimLex got_lex{plain_text, start.comment, start.quote};
            long got_lines = 0;
            const size_t got = static_cast<size_t>(
                cond::skim_lines(padded.data(), masks.data(), padded.data() + from,
                                 padded.data() + end, &got_lex, &got_lines) -
                padded.data());
            // The reference through the lines taken, and on to where a skim must stop.
            Lex want = start;
            Lex at_got = start;
            long want_lines = 0;
            size_t pos = from;
            for (;;) {
                if (pos == got) {
                    at_got = want;
                    ASSERT_EQ(got_lines, want_lines) << "from " << from << " end " << end;
                }
                const size_t nl = text.find('\n', pos);
                if (nl == std::string::npos || nl >= end || nl + 1 - pos > cond::SKIM_LINE_MAX ||
                    !reference_line(text, pos, nl, plain_text, &want)) {
                    break;
                }
                want_lines++;
                pos = nl + 1;
            }
            ASSERT_LE(got, pos) << "from " << from << " end " << end << " took a line it may not";
            ASSERT_TRUE(got == from || text[got - 1] == '\n');
            EXPECT_TRUE(at_got == (Lex{got_lex.comment, got_lex.quote}))
                << "from " << from << " end " << end << ": state " << got_lex.comment << "/"
                << got_lex.quote << ", walk " << at_got.comment << "/" << at_got.quote;
            if (must_take_all) {
                ASSERT_EQ(got, pos) << "from " << from << " end " << end << " stopped early";
            }
        }
    }
}

void check_every_state(const std::string &text, bool must_take_all)
{
    for (const Lex start : {Lex{0, 0}, Lex{1, 0}, Lex{0, '"'}, Lex{0, '\''}}) {
        check(text, false, start, must_take_all);
    }
    check(text, true, Lex{}, must_take_all);
}

std::string random_text(std::mt19937 &rng, const std::vector<std::string> &rare)
{
    std::string text;
    const size_t len = 1 + rng() % 900;
    const unsigned line_every = 2 + rng() % 70;
    const unsigned rare_every = 3 + rng() % 40;
    while (text.size() < len) {
        const unsigned r = rng();
        if (r % line_every == 0) {
            text += '\n';
        } else if (r % rare_every == 1) {
            text += rare[(r >> 8) % rare.size()];
        } else {
            text += static_cast<char>('a' + (r >> 8) % 26);
        }
    }
    return text;
}

TEST(CondSkim, RandomCodeWalkedAsTheLineWalkDoes)
{
    // Without NUL and two-byte characters every line but a conditional directive is taken.
    std::mt19937 rng(99);
    const std::vector<std::string> rare = {
        "#", "/",  "\"", "'", "\\",  "*",        "//",      "/*",      "*/",  "/*/", "\r",
        " ", "\t", "\n", "#", "#if", "#  endif", "#define", "#ifdefX", "  #", "\\\n"};
    for (int round = 0; round < 300; round++) {
        check_every_state(random_text(rng, rare), true);
    }
}

TEST(CondSkim, RandomTwoByteTextAndNul)
{
    // Lead bytes before marks, trail bytes that look like marks, and NUL: only a line with a NUL
    // may be declined, and what is taken must be walked exactly.
    std::mt19937 rng(7);
    const std::vector<std::string> rare = {"\x81",
                                           "\x95\\",
                                           "\x81*/",
                                           "\x81/",
                                           "\xE0\"",
                                           "\x82\xA0",
                                           std::string(1, '\0'),
                                           std::string("\\\0", 2),
                                           "/*",
                                           "*/",
                                           "\"",
                                           "'",
                                           "\\",
                                           "//",
                                           "\xFF",
                                           "\x81\x81",
                                           "*",
                                           "#if",
                                           "\x81\n",
                                           "\n"};
    for (int round = 0; round < 300; round++) {
        const std::string text = random_text(rng, rare);
        check_every_state(text, text.find('\0') == std::string::npos);
    }
}

TEST(CondSkim, LinesAtTheLengthLimit)
{
    // Lines one byte either side of the limit, newline included, between short lines, at
    // different offsets within a chunk, with and without marks to walk.
    for (size_t lead = 0; lead < 70; lead += 3) {
        for (size_t len : {cond::SKIM_LINE_MAX - 1, cond::SKIM_LINE_MAX, cond::SKIM_LINE_MAX + 1}) {
            std::string text(lead, '\n');
            text += "ab\n";
            text += std::string(len - 1, 'y') + "\n";
            text += "cd\n";
            text += std::string(len - 90, 'w') + "// " + std::string(86, 'c') + "\n";
            text += "ef\n";
            text += std::string(len - 5, 'v') + "/* c\n";
            text += "gh */\n";
            check_every_state(text, true);
        }
        // A long line with no newline at all before the end.
        check_every_state(std::string(lead, '\n') + std::string(cond::SKIM_LINE_MAX + 70, 'z'),
                          true);
    }
}

// skim_lines over text from its start in the state start; the lines taken and the state after.
struct Skimmed {
    long lines;
    int comment;
    int quote;
};
Skimmed skim(const std::string &text, Lex start = Lex{}, bool plain_text = false)
{
    std::string padded = text + std::string(2 * cond::CHUNK, 'x');
    std::vector<cond::ChunkMasks> masks(padded.size() / cond::CHUNK);
    cond::classify_chunks(reinterpret_cast<const unsigned char *>(padded.data()), masks.size(),
                          masks.data());
    cond::SkimLex lex{plain_text, start.comment, start.quote};
    long n = 0;
    cond::skim_lines(padded.data(), masks.data(), padded.data(), padded.data() + text.size(), &lex,
                     &n);
    return {n, lex.comment, lex.quote};
}

TEST(CondSkim, DirectivesStopOnlyWhereTheyBeginAConditional)
{
    EXPECT_EQ(skim("a\n  #  if X\nb\n").lines, 1);
    // The directive is handed on with its kind and the place of its '#'.
    std::string text = "a\n \t#  ifndef X\nb\n" + std::string(2 * cond::CHUNK, 'x');
    std::vector<cond::ChunkMasks> masks(text.size() / cond::CHUNK);
    cond::classify_chunks(reinterpret_cast<const unsigned char *>(text.data()), masks.size(),
                          masks.data());
    cond::SkimLex lex{false, 0, 0};
    long n = 0;
    EXPECT_EQ(cond::skim_lines(text.data(), masks.data(), text.data(), text.data() + 20, &lex, &n),
              text.data() + 2);
    EXPECT_EQ(lex.stop_kind, cond::DIR_IFNDEF);
    EXPECT_EQ(lex.stop_hash, 2u);
    EXPECT_EQ(lex.stop_len, 14u);
    EXPECT_FALSE(lex.stop_marks);
    EXPECT_EQ(
        cond::skim_lines(text.data(), masks.data(), text.data() + 2, text.data() + 20, &lex, &n),
        text.data() + 2);
    EXPECT_EQ(lex.stop_kind, cond::DIR_IFNDEF);
    cond::skim_lines(text.data(), masks.data(), text.data(), text.data() + 1, &lex, &n);
    EXPECT_EQ(lex.stop_kind, -1);
    // The line's marks: what its walk behind the directive word will look at.
    const std::string marked = "#if A /* x */\n#else\n" + std::string(2 * cond::CHUNK, 'x');
    cond::classify_chunks(reinterpret_cast<const unsigned char *>(marked.data()), masks.size(),
                          masks.data());
    cond::skim_lines(marked.data(), masks.data(), marked.data(), marked.data() + 20, &lex, &n);
    EXPECT_EQ(lex.stop_kind, cond::DIR_IF);
    EXPECT_EQ(lex.stop_len, 14u);
    EXPECT_TRUE(lex.stop_marks);
    cond::skim_lines(marked.data(), masks.data(), marked.data() + 14, marked.data() + 20, &lex, &n);
    EXPECT_EQ(lex.stop_kind, cond::DIR_ELSE);
    EXPECT_EQ(lex.stop_len, 6u);
    EXPECT_FALSE(lex.stop_marks);
    EXPECT_EQ(skim("a\n#if(X)\nb\n").lines, 1);
    EXPECT_EQ(skim("a\n\t#endif\nb\n").lines, 1);
    EXPECT_EQ(skim("a\n#elif\n").lines, 1);
    // Other directives, words that only begin like one, and a '#' behind other text are code.
    EXPECT_EQ(skim("#define X \"/*\"\n#ifdefX\nx # if\n#\n").lines, 4);
    EXPECT_EQ(skim("#include <a/b.h> // c\n").lines, 1);
    // In a comment or a literal a '#' is text; under -T nothing but the directive test counts.
    EXPECT_EQ(skim("#if X\n", Lex{1, 0}).lines, 1);
    EXPECT_EQ(skim("/* \"\n#if X\n", Lex{}, true).lines, 1);
    // A directive text opens a comment like any line.
    const Skimmed d = skim("#define A /* x\n");
    EXPECT_EQ(d.lines, 1);
    EXPECT_EQ(d.comment, 1);
}

TEST(CondSkim, CommentsAndLiteralsCarryAcrossLines)
{
    const Skimmed a = skim("x = \"/*\"; /* open\n still ' \" open\n */ y = '\\''; z = \"a\\\n");
    EXPECT_EQ(a.lines, 3);
    EXPECT_EQ(a.comment, 0);
    EXPECT_EQ(a.quote, '"');
    EXPECT_EQ(skim("/*/ still open\n").comment, 1);
    EXPECT_EQ(skim("/**/ closed // /*\n").comment, 0);
    EXPECT_EQ(skim("a */ b\n", Lex{1, 0}).comment, 0);
    // CR LF lines walk as the reader hands them over: the CR changes nothing.
    const Skimmed crlf = skim("s = \"a\\\r\n b\" /* c *\r\n/ d */\r\n");
    EXPECT_EQ(crlf.lines, 3);
    EXPECT_EQ(crlf.comment, 0);
    EXPECT_EQ(crlf.quote, 0);
}

TEST(CondSkim, TwoByteCharacters)
{
    // Japanese text in a comment is taken.
    const Skimmed jp = skim(" * \x93\xFA\x96\x7B\x8C\xEA \x83\x5C \"q\" it's\n */\n", Lex{1, 0});
    EXPECT_EQ(jp.lines, 2);
    EXPECT_EQ(jp.comment, 0);
    // A lead byte takes the '*' of "*/" along, unless it is itself the second byte of a pair.
    const Skimmed hidden = skim("x \x81*/\n", Lex{1, 0});
    EXPECT_EQ(hidden.lines, 1);
    EXPECT_EQ(hidden.comment, 1);
    EXPECT_EQ(skim("x \x81\x81*/\n", Lex{1, 0}).comment, 0);
    // In a literal the trail byte 0x5C is no backslash, and a quote behind a lead byte is taken.
    const Skimmed lit = skim("t = \"\x95\\\"; u = '\x81'';\n");
    EXPECT_EQ(lit.lines, 1);
    EXPECT_EQ(lit.quote, 0);
    EXPECT_EQ(skim("t = \"\x95\\\x81\"\n").quote, '"');
    // Behind a line comment two-byte text changes nothing.
    EXPECT_EQ(skim("x = 1; // \x95\\ \x81\n").lines, 1);
    // A NUL ends the line walk early: such a line is left to it, also behind a backslash.
    EXPECT_EQ(skim(std::string("a \x81 \0 /*\n", 10)).lines, 0);
    EXPECT_EQ(skim(std::string("\"\\\0\"\n", 5)).lines, 0);
}

}  // namespace
