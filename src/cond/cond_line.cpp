#include "cond/cond_line.h"

#include <cerrno>
#include <cstring>

#include "cond/cond_classify.h"
#include "cond/cond_options.h"
#include "cond/cond_output.h"
#include "cond/cond_skim.h"
#include "support/message.h"

namespace cond {

char buff[BUFF_SIZE];
FILE *fp;
int line_no;
int if_depth;
int line_len;
int line_cr;
int line_plain;
int line_dir_kind = -1;
int line_dir_at;

// The input is read in large blocks, so a line costs no call into stdio of its own; a block and its
// masks still fit the processor's second-level cache.
constexpr size_t BLOCK_SIZE = 1 << 18;
// The pad lets the last chunk of a block be classified whole; its bytes mean nothing.
static char in_block[BLOCK_SIZE + CHUNK];  // line_read: the block last read from fp
static size_t in_pos;                      // line_read: first byte of in_block not yet taken
static size_t in_end;                      // line_read: bytes of in_block filled by the last read
static const char *in_name;                // line_open: the file name, for the read-error message
static ChunkMasks in_masks[BLOCK_SIZE / CHUNK];  // fill: the masks of in_block, when skimming
static int skim_mode = -1;  // line_skim_on: 1 skims, 0 reads every line, -1 not decided yet
static size_t dir_pos;      // line_skim: where in in_block the line of dir_kind starts
static int dir_kind = -1;   // line_skim: a conditional directive the skim stopped before, or -1
static int dir_hash;        // line_skim: the offset of its '#'
static size_t dir_len;      // line_skim: its length with the newline, or 0: not known
static bool dir_marks;      // line_skim: whether it holds a '/', quote or backslash

// Refills in_block. Returns 1 with data, 0 at the end of the file, -1 on a read error.
static int fill()
{
    in_pos = 0;
    in_end = std::fread(in_block, 1, BLOCK_SIZE, fp);
    if (in_end > 0) {
        if (line_skim_on()) {
            classify_chunks(reinterpret_cast<const unsigned char *>(in_block),
                            (in_end + CHUNK - 1) / CHUNK, in_masks);
        }
        return 1;
    }
    return std::ferror(fp) ? -1 : 0;
}

int line_skim_on()
{
    if (skim_mode < 0) {
        // Classifying eight bytes at a time in plain integers costs more than the line-by-line
        // path saves: without vectors that path is the default, and the portable classification
        // runs only where VELK_SIMD asks for it.
        const int cap = classify_env_cap();
        if (cap == SIMD_OFF) {
            skim_mode = 0;
        } else {
            skim_mode = cap == SIMD_PORTABLE || classify_select(cap) >= SIMD_SSE2 ? 1 : 0;
        }
    }
    return skim_mode;
}

int line_skim(SkimLex *lex, int keep)
{
    if (fp == nullptr || in_pos >= in_end || skim_mode != 1) {
        return 0;
    }
    const char *from = in_block + in_pos;
    long lines = 0;
    const char *to = skim_lines(in_block, in_masks, from, in_block + in_end, lex, &lines);
    in_pos += static_cast<size_t>(to - from);
    dir_kind = lex->stop_kind;
    dir_hash = static_cast<int>(lex->stop_hash);
    dir_len = lex->stop_len;
    dir_marks = lex->stop_marks;
    dir_pos = in_pos;
    if (lines == 0) {
        return 0;
    }
    if (keep != opt_v) {
        put_span(from, static_cast<size_t>(to - from), line_no + 1);
    }
    line_no += static_cast<int>(lines);
    return 1;
}

[[noreturn]] static void read_failed()
{
    support::fatal("Error: %s: cannot read the file.\n", in_name);
}

// Opens the file and reads its first block: 0, -1 when it cannot be opened, -2 when that read
// fails (errno says why; the file is closed again).
static int open_file(const char *name)
{
    in_name = name;
    in_pos = in_end = 0;
    dir_kind = -1;
    buff[0] = ' ';
    fp = std::fopen(name, "r");
    if (fp == nullptr) {
        return -1;
    }
    errno = 0;
    if (fill() < 0) {
        const int e = errno;
        std::fclose(fp);
        fp = nullptr;
        errno = e;
        return -2;
    }
    return 0;
}

int line_open(const char *name)
{
    const int r = open_file(name);
    // A directory opens like a file on some systems and fails only when read; the user named no
    // file that can be read, as on systems that refuse to open it.
    if (r == -2 && errno != EISDIR) {
        read_failed();
    }
    return r < 0 ? -1 : 0;
}

int line_try_open(const char *name) { return open_file(name) < 0 ? -1 : 0; }

// The bytes that matter to the walk through plain code (see line_plain), a word at a time. High
// bytes may be flagged too; that only costs a walk.
static std::uint64_t plain_code_marks(std::uint64_t w)
{
    return (word_borrow(w, '/') | word_borrow(w, '"') | word_borrow(w, '\'')) & WORD_HIGHS;
}

// Copies the take bytes at from to to, up to and including the first newline, and returns how
// many were copied; adds to *marks when a byte of line_plain's kind was among them. Copies
// eight bytes at a time, so up to seven more bytes (never more than take) may be written.
static size_t copy_to_newline(char *to, const char *from, size_t take, std::uint64_t *marks)
{
    size_t i = 0;
    if (word_low_first()) {
        for (; take - i >= 8; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, from + i, sizeof w);
            std::memcpy(to + i, &w, sizeof w);
            const std::uint64_t nl = word_has_byte(w, '\n');
            if (nl != 0) {
                // The bytes behind the newline belong to the next line.
                const size_t k = word_first(nl);
                *marks |= plain_code_marks(w) & ((std::uint64_t{1} << (8 * k)) - 1);
                return i + k + 1;
            }
            *marks |= plain_code_marks(w);
        }
    }
    for (; i < take; i++) {
        const unsigned char c = static_cast<unsigned char>(from[i]);
        to[i] = static_cast<char>(c);
        if (c == '\n') {
            return i + 1;
        }
        if (c == '/' || c == '"' || c == '\'') {
            *marks = 1;
        }
    }
    return take;
}

int line_read()
{
    if (fp == nullptr) {
        return 0;
    }
    char *const area = buff + 1;
    size_t n = 0;
    bool lf = false;
    std::uint64_t marks = 0;
    line_dir_kind = -1;
    const int skimmed_kind = dir_kind;
    dir_kind = -1;  // it holds for the next line only
    if (skim_mode == 1 && in_pos < in_end) {
        // The masks of the block give the line's end and its marks at once.
        const char *from = in_block + in_pos;
        const bool skimmed = skimmed_kind >= 0 && in_pos == dir_pos;  // this very line
        bool any = dir_marks;
        const char *nl = skimmed && dir_len > 0
                             ? from + dir_len - 1
                             : skim_line_end(in_block, in_masks, from, in_block + in_end, &any);
        if (nl != nullptr && nl - from < LINE_READ) {
            n = static_cast<size_t>(nl - from) + 1;
            if (skimmed) {
                line_dir_kind = skimmed_kind;  // complete in the block, so read whole
                line_dir_at = dir_hash;
            }
            std::memcpy(area, from, n);
            in_pos += n;
            lf = true;
            marks = any;
        }
    }
    while (!lf && n < static_cast<size_t>(LINE_READ)) {
        if (in_pos == in_end) {
            const int r = fill();
            if (r < 0) {
                read_failed();
            }
            if (r == 0) {
                break;
            }
        }
        const char *from = in_block + in_pos;
        size_t take = in_end - in_pos;
        if (take > LINE_READ - n) {
            take = LINE_READ - n;
        }
        const size_t got = copy_to_newline(area + n, from, take, &marks);
        lf = area[n + got - 1] == '\n';
        n += got;
        in_pos += got;
        if (lf) {
            break;
        }
    }
    if (n == 0) {
        return 0;
    }
    line_cr = 0;
    if (lf && n >= 2 && area[n - 2] == '\r') {
        area[n - 2] = '\n';
        n--;
        line_cr = 1;
    }
    area[n] = '\0';
    buff[BUFF_SIZE - 1] = '\0';
    line_len = static_cast<int>(n);
    line_plain = marks == 0;
    line_no++;
    return 1;
}

void line_reset()
{
    if (fp != nullptr) {
        std::fclose(fp);
    }
    fp = nullptr;
    std::memset(buff, 0, sizeof buff);
    line_no = 0;
    if_depth = 0;
    line_len = 0;
    line_cr = 0;
    line_plain = 0;
    line_dir_kind = -1;
    line_dir_at = 0;
    dir_kind = -1;
    dir_hash = 0;
    dir_pos = 0;
    dir_len = 0;
    dir_marks = false;
    in_pos = in_end = 0;
    in_name = nullptr;
    skim_mode = -1;
}

}  // namespace cond
