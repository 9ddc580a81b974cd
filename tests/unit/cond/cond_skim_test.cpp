// skim_lines must take exactly the lines that a byte-by-byte reading finds free of the stop bytes
// of the state, complete before the end and not too long.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cond/cond_classify.h"
#include "cond/cond_skim.h"

namespace {

bool stops(unsigned char c, int state)
{
    if (c >= 0x80 || c == 0) {
        return true;
    }
    switch (state) {
    case cond::SKIM_COMMENT:
        return c == '/';
    case cond::SKIM_LITERAL:
        return c == '"' || c == '\'' || c == '\\';
    case cond::SKIM_TEXT:
        return c == '#';
    default:
        return c == '#' || c == '/' || c == '"' || c == '\'' || c == '\\';
    }
}

// The run by reading each line byte by byte; with comment_lines, lines whose first stop byte
// begins "//" count as free when they hold no high byte and no NUL.
size_t reference(const std::string &text, size_t from, size_t end, int state, long *lines,
                 bool comment_lines = false)
{
    size_t pos = from;
    for (;;) {
        size_t i = pos;
        while (i < end && text[i] != '\n' && !stops(static_cast<unsigned char>(text[i]), state)) {
            i++;
        }
        if (comment_lines && i + 1 < end && text[i] == '/' && text[i + 1] == '/') {
            const size_t nl = text.find('\n', i);
            bool high = false;
            for (size_t k = pos; k < nl && k < end; k++) {
                high |= static_cast<unsigned char>(text[k]) >= 0x80 || text[k] == '\0';
            }
            if (nl != std::string::npos && nl < end && !high) {
                i = nl;
            }
        }
        if (i >= end || text[i] != '\n' || i + 1 - pos > cond::SKIM_LINE_MAX) {
            return pos;
        }
        ++*lines;
        pos = i + 1;
    }
}

// Classifies text (padded to whole chunks) and compares skim_lines with the reference from every
// line start in [0, text.size()), with the end at the text's end and at a few places before it.
void check(const std::string &text, int state)
{
    std::string padded = text;
    padded.append(cond::CHUNK - padded.size() % cond::CHUNK + cond::CHUNK, 'x');
    std::vector<cond::ChunkMasks> masks(padded.size() / cond::CHUNK);
    cond::classify_chunks(reinterpret_cast<const unsigned char *>(padded.data()), masks.size(),
                          masks.data());
    std::vector<size_t> ends{text.size(), text.size() / 2, text.size() * 3 / 4 + 1};
    for (size_t end : ends) {
        if (end > text.size()) {
            continue;
        }
        for (size_t from = 0; from <= end; from++) {
            if (from > 0 && text[from - 1] != '\n') {
                continue;  // skims start at line starts only
            }
            long want_lines = 0, got_lines = 0;
            const size_t want =
                reference(text, from, end, state, &want_lines, state == cond::SKIM_CODE);
            const char *got = cond::skim_lines(padded.data(), masks.data(), padded.data() + from,
                                               padded.data() + end, state, &got_lines);
            ASSERT_EQ(static_cast<size_t>(got - padded.data()), want)
                << "state " << state << " from " << from << " end " << end;
            ASSERT_EQ(got_lines, want_lines);

            // The line end and its marks, from the same masks.
            const size_t nl = text.find('\n', from);
            bool want_marks = false;
            for (size_t k = from; k < end && k < nl; k++) {
                want_marks |= std::strchr("/\"'\\", text[k]) != nullptr && text[k] != '\0';
            }
            bool got_marks = false;
            const char *got_nl = cond::skim_line_end(
                padded.data(), masks.data(), padded.data() + from, padded.data() + end, &got_marks);
            if (nl == std::string::npos || nl >= end) {
                ASSERT_EQ(got_nl, nullptr) << "from " << from << " end " << end;
            } else {
                ASSERT_EQ(got_nl, padded.data() + nl) << "from " << from << " end " << end;
                ASSERT_EQ(got_marks, want_marks) << "from " << from << " end " << end;
            }
        }
    }
}

TEST(CondSkim, RandomTextInEveryState)
{
    std::mt19937 rng(99);
    // Mostly ordinary bytes, so that runs of lines form, with each stop byte now and then.
    const char rare[] = {'#', '/', '"', '\'', '\\', '\0', '\x81', '\xFF', '*', '\r'};
    for (int round = 0; round < 200; round++) {
        std::string text;
        const size_t len = 1 + rng() % 900;
        const unsigned line_every = 2 + rng() % 70;
        const unsigned rare_every = 20 + rng() % 400;
        for (size_t i = 0; i < len; i++) {
            const unsigned r = rng();
            if (r % line_every == 0) {
                text += '\n';
            } else if (r % rare_every == 1) {
                text += rare[(r >> 8) % sizeof rare];
            } else if (r % rare_every == 2) {
                text += "//";
            } else {
                text += static_cast<char>('a' + (r >> 8) % 26);
            }
        }
        for (int state = cond::SKIM_CODE; state <= cond::SKIM_TEXT; state++) {
            check(text, state);
        }
    }
}

TEST(CondSkim, LinesAtTheLengthLimit)
{
    // Lines one byte either side of the limit, newline included, between short lines, at
    // different offsets within a chunk.
    for (size_t lead = 0; lead < 70; lead += 3) {
        for (size_t len : {cond::SKIM_LINE_MAX - 1, cond::SKIM_LINE_MAX, cond::SKIM_LINE_MAX + 1}) {
            std::string text(lead, '\n');
            text += "ab\n";
            text += std::string(len - 1, 'y') + "\n";
            text += "cd\n";
            // The same length with a line comment that begins a chunk or more before its end.
            text += std::string(len - 90, 'w') + "// " + std::string(86, 'c') + "\n";
            text += "ef\n";
            text += std::string(len - 5, 'v') + "// c\n";
            text += "gh\n";
            check(text, cond::SKIM_CODE);
        }
        // A long line with no newline at all before the end.
        check(std::string(lead, '\n') + std::string(cond::SKIM_LINE_MAX + 70, 'z'),
              cond::SKIM_CODE);
    }
}

TEST(CondSkim, EveryStateStopsAtItsOwnBytesOnly)
{
    const std::string lines[] = {"a#b\n",
                                 "a/b\n",
                                 "a\"b\n",
                                 "a'b\n",
                                 "a\\b\n",
                                 "a*b\n",
                                 "a\x81"
                                 "b\n",
                                 std::string("a\0b\n", 4)};
    // Which lines each state takes: code, comment, literal, text.
    const bool takes[][4] = {{false, true, true, false},   {false, false, true, true},
                             {false, true, false, true},   {false, true, false, true},
                             {false, true, false, true},   {true, true, true, true},
                             {false, false, false, false}, {false, false, false, false}};
    for (size_t i = 0; i < sizeof lines / sizeof lines[0]; i++) {
        std::string text = "ok\n" + lines[i] + "ok\n";
        text.append(2 * cond::CHUNK, 'x');
        std::vector<cond::ChunkMasks> masks(text.size() / cond::CHUNK);
        cond::classify_chunks(reinterpret_cast<const unsigned char *>(text.data()), masks.size(),
                              masks.data());
        for (int state = 0; state < 4; state++) {
            long n = 0;
            const char *end = text.data() + 3 + lines[i].size() + 3;
            const char *got =
                cond::skim_lines(text.data(), masks.data(), text.data(), end, state, &n);
            EXPECT_EQ(got == end, takes[i][state]) << "line " << i << " state " << state;
            EXPECT_EQ(n, takes[i][state] ? 3 : 1) << "line " << i << " state " << state;
        }
    }
}

}  // namespace
