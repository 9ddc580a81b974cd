// Fuzz target: the message formatter err_edit with random formats and arguments. The text must
// stay inside the formatter's 1280-byte buffer and agree with a plain model of the formatting
// rules wherever those rules fix the result; where the rules leave the cut to the implementation
// (a long string met beyond 768 bytes, a fixed-notation number that would pass the buffer's end),
// only the text before that point is compared.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_bytes.h"
#include "support/message.h"

namespace {

constexpr size_t kLimit = 1024;    // text length after which no further format step starts
constexpr size_t kBufSize = 1280;  // the formatter's buffer
constexpr int kMaxArgs = 5;        // conversions per call; the format is cut before a sixth

struct Args {
    int n = 0;
    char kind[kMaxArgs];  // 'i' int (c, d, x), 'f' double, 's' string
    int ints[kMaxArgs];
    double dbls[kMaxArgs];
    std::string strs[kMaxArgs];
};

char *call_err_edit(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    char *text = support::err_edit(fmt, ap);
    va_end(ap);
    return text;
}

// Turns the argument kinds, known only at run time, into a call with exactly those types.
template <int K, typename... A>
char *dispatch(const char *fmt, const Args &g, A... a)
{
    if constexpr (K == kMaxArgs) {
        return call_err_edit(fmt, a...);
    } else {
        if (K >= g.n) {
            return call_err_edit(fmt, a...);
        }
        switch (g.kind[K]) {
        case 'i':
            return dispatch<K + 1>(fmt, g, a..., g.ints[K]);
        case 'f':
            return dispatch<K + 1>(fmt, g, a..., g.dbls[K]);
        default:
            return dispatch<K + 1>(fmt, g, a..., g.strs[K].c_str());
        }
    }
}

// Finds the conversions of fmt as the formatter reads it, records their kinds, and cuts fmt
// before the conversion that would exceed kMaxArgs.
void scan_conversions(std::string &fmt, Args &g)
{
    for (size_t i = 0; i < fmt.size(); i++) {
        if (fmt[i] == '\\') {
            i++;
        } else if (fmt[i] == '%' && i + 1 < fmt.size()) {
            char c = fmt[i + 1];
            if (c == 'c' || c == 'd' || c == 'x' || c == 'f' || c == 's') {
                if (g.n == kMaxArgs) {
                    fmt.resize(i);
                    return;
                }
                g.kind[g.n++] = c == 'f' ? 'f' : c == 's' ? 's' : 'i';
            }
            i++;
        }
    }
}

// The formatting rules, written plainly. Returns the text; fixed is the length of its start that
// the rules determine (the whole text unless an implementation-defined cut was met).
std::string model(const std::string &fmt, const Args &g, size_t &fixed)
{
    std::string out;
    int arg = 0;
    size_t i = 0;
    fixed = std::string::npos;
    while (out.size() < kLimit && i < fmt.size()) {
        char c = fmt[i];
        if (c == '\\') {
            out += i + 1 < fmt.size() ? fmt[i + 1] : '\\';
            i += 2;
        } else if (c != '%') {
            out += c;
            i++;
        } else if (i + 1 == fmt.size()) {
            out += '%';
            i++;
        } else {
            char conv = fmt[i + 1];
            i += 2;
            char num[400];
            switch (conv) {
            case 'c':
                out += static_cast<char>(g.ints[arg++] & 0xFF);
                break;
            case 'd':
                std::snprintf(num, sizeof num, "%d", g.ints[arg++]);
                out += num;
                break;
            case 'x':
                std::snprintf(num, sizeof num, "%x", static_cast<unsigned>(g.ints[arg++]));
                out += num;
                break;
            case 'f': {
                double d = g.dbls[arg++];
                std::snprintf(num, sizeof num, "%f", d);
                // Digits of huge numbers and texts that would not fit are the implementation's.
                if (std::fabs(d) >= 1e15 || out.size() + std::strlen(num) >= kBufSize) {
                    fixed = out.size();
                    return out;
                }
                out += num;
                break;
            }
            case 's': {
                const std::string &s = g.strs[arg++];
                size_t len = std::strlen(s.c_str());
                if (out.size() + len <= kLimit) {
                    out += s.c_str();
                } else if (out.size() <= 768) {
                    out.append(s.c_str(), 768 - out.size());
                } else {
                    fixed = out.size();
                    return out;
                }
                break;
            }
            default:
                out += '%';
                out += conv;
                break;
            }
        }
    }
    return out;
}

double draw_double(FuzzBytes &in)
{
    uint8_t shape = in.byte();
    int32_t m = in.int32();
    if (shape < 0xF0) {
        return std::ldexp(static_cast<double>(m), -(shape % 24));  // exact, short decimals
    }
    return std::ldexp(static_cast<double>(m), shape % 0x10 * 64);  // up to about 1e300
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzBytes in(data, size);
    std::string fmt = in.upto(0);
    Args g;
    scan_conversions(fmt, g);
    for (int k = 0; k < g.n; k++) {
        switch (g.kind[k]) {
        case 'i':
            g.ints[k] = in.int32();
            break;
        case 'f':
            g.dbls[k] = draw_double(in);
            break;
        default:
            g.strs[k] = in.take(in.below(2100));
            break;
        }
    }

    const char *text = dispatch<0>(fmt.c_str(), g);
    size_t len = std::strlen(text);  // a text running past the buffer trips the sanitizer here
    if (len >= kBufSize) {
        std::fprintf(stderr, "err_edit: %zu bytes, over the buffer\n", len);
        std::abort();
    }

    size_t fixed;
    std::string want = model(fmt, g, fixed);
    want.resize(std::strlen(want.c_str()));  // a %c of 0 ends the visible text
    std::string got(text, len);
    bool ok = fixed == std::string::npos ? got == want
                                         : got.compare(0, std::min(fixed, want.size()), want, 0,
                                                       std::min(fixed, want.size())) == 0;
    if (!ok) {
        std::fprintf(stderr,
                     "err_edit disagrees with the rules\nformat: [%s]\ngot:  [%s]\nwant: [%s]\n",
                     fmt.c_str(), got.c_str(), want.c_str());
        std::abort();
    }
    return 0;
}
