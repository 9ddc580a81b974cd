// The names scan: what it reports for each place a conditional can hold a name, on lines the
// line buffer holds and on longer ones, and the same reports whether runs of lines are skimmed
// from the read block or every line goes through the line reader.
#include <cerrno>
#include <cstdlib>
#include <random>

#include "cond/cond_names.h"
#include "cond_fixture.h"

namespace {

void set_simd(const char *value)
{
#ifdef _WIN32
    _putenv_s("VELK_SIMD", value ? value : "");
#else
    if (value) {
        setenv("VELK_SIMD", value, 1);
    } else {
        unsetenv("VELK_SIMD");
    }
#endif
}

void note(int kind, const char *name, std::size_t len, int line, void *ctx)
{
    std::string &out = *static_cast<std::string *>(ctx);
    out += kind == cond::NAME_CONDITION ? "#" : kind == cond::NAME_TESTED ? "" : "=";
    out += std::string(name ? name : "", len) + "@" + std::to_string(line) + " ";
}

class CondNames : public CondTest {
protected:
    void TearDown() override
    {
        set_simd(nullptr);
        CondTest::TearDown();
    }

    // The reports of a scan of bytes, as "#@LINE" for a conditional, "NAME@LINE" for a tested
    // name and "=NAME@LINE" for a defined one; simd as VELK_SIMD (null: unset).
    std::string scan(const std::string &bytes, const char *simd = nullptr)
    {
        const std::string path = scratch_folder() + "/names.c";
        scratch::write_file(path, bytes);
        set_simd(simd);
        const int opt_T = cond::opt_T;
        cond::cond_reset();
        cond::opt_T = opt_T;
        std::string out;
        EXPECT_EQ(cond::names_scan(path.c_str(), note, &out), 0);
        cond::names_reset();
        cond::line_reset();
        return out;
    }
};

TEST_F(CondNames, NamesOutsideCommentsAndLiteralsOnly)
{
    EXPECT_EQ(scan("#if A && /* B */ C // D\n#endif\n"), "#@1 A@1 C@1 ");
    EXPECT_EQ(scan("#if X == 'Y' || Z == \"W\" || L'q' || u8\"s\" || LV\n#endif\n"),
              "#@1 X@1 Z@1 LV@1 ");
    EXPECT_EQ(scan("#if defined(A) && defined B\n"), "#@1 A@1 B@1 ");
    EXPECT_EQ(scan("#if __has_include(<sys/A.h>) && __has_include_next(\"B\") && C\n"), "#@1 C@1 ");
    EXPECT_EQ(scan("#if F(4, ARG) > 10UL && 0x1Fu && 1e+5 && .5e-3F && 1'000\n"), "#@1 F@1 ARG@1 ");
    EXPECT_EQ(scan("  #  ifdef  A\n#ifndef B\n#elif C\n#else D\n#endif E\n#ifdefX Q\n"),
              "#@1 A@1 #@2 B@2 #@3 C@3 ");
}

TEST_F(CondNames, AConditionGoesOnPastABackslashAndAnOpenComment)
{
    EXPECT_EQ(scan("#if A && \\\n  B /* open\n C */ && D\nint E;\n#if F\n"),
              "#@1 A@1 B@2 D@3 #@5 F@5 ");
    // A line comment behind a backslash takes the next line along, also outside a conditional.
    EXPECT_EQ(scan("#if A // note \\\n#if B\n#if C\n"), "#@1 A@1 #@3 C@3 ");
    EXPECT_EQ(scan("int x; // note \\\r\n#if HIDDEN\n#if SEEN\n"), "#@3 SEEN@3 ");
    // A directive inside a block comment or a literal is no directive.
    EXPECT_EQ(scan("/*\n#if IN_COMMENT\n*/\nchar *s = \"\\\n#if IN_STRING\";\n#if OUT\n"),
              "#@6 OUT@6 ");
}

TEST_F(CondNames, DefinesAndUndefs)
{
    EXPECT_EQ(scan("#define A 1\n# undef B\n#define\n#define 9X\n#defined C\n#if A\n"),
              "=A@1 =B@2 #@6 A@6 ");
}

TEST_F(CondNames, CrLfAndTwoByteCharacters)
{
    // 0x83 0x5C is one character whose second byte is a backslash; the second byte of 0x83 0x41
    // is a letter that must not begin a name.
    EXPECT_EQ(scan("#ifdef SJ\r\n/* \x83\x5c */\r\n#if \x83\x41"
                   "BC || TWO\r\n"),
              "#@1 SJ@1 #@3 BC@3 TWO@3 ");
}

TEST_F(CondNames, UnderTextTheConditionStillStepsOverComments)
{
    cond::opt_T = 1;
    EXPECT_EQ(scan("/*\n#if IN_COMMENT /* X */ Y\n*/\n"), "#@2 IN_COMMENT@2 Y@2 ");
}

TEST_F(CondNames, LinesLongerThanTheLineBuffer)
{
    // A name cut by the line buffer is read whole, and the lines behind keep their numbers.
    const std::string pad(cond::LINE_READ - 8, ' ');
    EXPECT_EQ(scan("#if A ||" + pad + "LONG_NAME_HERE\n#if B\n"),
              "#@1 A@1 LONG_NAME_HERE@1 #@2 B@2 ");
    EXPECT_EQ(scan("int x = 1;" + std::string(3 * cond::LINE_READ, 'x') + "\n#if C\n"), "#@2 C@2 ");
    // A CR LF split by the cut, behind a backslash that continues the conditional.
    const std::string cut(cond::LINE_READ - 10, ' ');
    EXPECT_EQ(scan("#if A" + cut + "  \\\r\n D\n"), "#@1 A@1 D@2 ");
    EXPECT_EQ(scan("#if X\n" + std::string(9000, '/') + "\n#if Y\n"), "#@1 X@1 #@3 Y@3 ");
}

TEST_F(CondNames, SkimmedAndLineByLineReadingsAgree)
{
    // Random texts from the fragments that change what a line means: each reading must report the
    // same names on the same lines.
    const char *parts[] = {"#if A", "#ifdef B", "# elif C", "#define D 1", "#undef E",   "#endif",
                           "/*",    "*/",       "//",       "\\",          "\"",         "'",
                           "x",     "F",        "  ",       "\t",          "\r",         "\x83",
                           "\x5c",  "#",        "0x1Fu",    "L'",          "defined(G)", "H"};
    std::mt19937 rng(20261208);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int lines = 1 + static_cast<int>(rng() % 120);
        for (int l = 0; l < lines; ++l) {
            const int n = static_cast<int>(rng() % 5);
            for (int k = 0; k < n; ++k) {
                text += parts[rng() % (sizeof parts / sizeof parts[0])];
            }
            if (rng() % 9 == 0) {
                text += std::string(60 + rng() % 200, 'y');  // lines across the 64-byte chunks
            }
            text += "\n";
        }
        cond::opt_T = static_cast<int>(round % 4 == 3);
        const std::string by_line = scan(text, "lines");
        EXPECT_EQ(scan(text, "portable"), by_line) << text;
        EXPECT_EQ(scan(text), by_line) << text;
    }
}

TEST_F(CondNames, FilesThatCannotBeRead)
{
    std::string out;
    errno = 0;
    EXPECT_EQ(cond::names_scan((scratch_folder() + "/none.c").c_str(), note, &out), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(cond::names_scan(scratch_folder().c_str(), note, &out), -1);
    EXPECT_EQ(out, "");
}

TEST_F(CondNames, ValuesFromThePatternTable)
{
    add("FOO*", 1);
    add("BAR", 0);
    EXPECT_EQ(cond::name_value("FOOD", 4), cond::COND_TRUE);
    EXPECT_EQ(cond::name_value("BAR", 3), cond::COND_FALSE);
    EXPECT_EQ(cond::name_value("BARN", 4), cond::COND_UNKNOWN);
    // Names the filter refuses in a condition for their length are matched all the same.
    const std::string long_name = "FOO" + std::string(300, 'Z');
    EXPECT_EQ(cond::name_value(long_name.data(), long_name.size()), cond::COND_TRUE);
    const std::string other(300, 'Q');
    EXPECT_EQ(cond::name_value(other.data(), other.size()), cond::COND_UNKNOWN);
    cond::list_mode = cond::LIST_MODE_UNDEF;
    EXPECT_EQ(cond::name_value(other.data(), other.size()), cond::COND_FALSE);
    EXPECT_EQ(cond::name_value("BARN", 4), cond::COND_FALSE);
}

}  // namespace
