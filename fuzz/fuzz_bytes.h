// A cursor over a fuzz input: the targets draw numbers and byte strings from it. Once the input
// is used up every draw yields zeros or empty strings, so each input decodes to one fixed run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FuzzBytes {
    const uint8_t *p;
    size_t left;

    FuzzBytes(const uint8_t *data, size_t size) : p(data), left(size) {}

    uint8_t byte()
    {
        if (left == 0) {
            return 0;
        }
        left--;
        return *p++;
    }

    // A number in 0..bound-1 (bound > 0), from as many bytes as the bound needs.
    uint32_t below(uint32_t bound)
    {
        uint32_t v = 0;
        for (uint32_t span = bound - 1; span != 0; span >>= 8) {
            v = (v << 8) | byte();
        }
        return v % bound;
    }

    int32_t int32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; i++) {
            v = (v << 8) | byte();
        }
        return static_cast<int32_t>(v);
    }

    // The next len bytes (fewer at the end of the input).
    std::string take(size_t len)
    {
        if (len > left) {
            len = left;
        }
        std::string s(reinterpret_cast<const char *>(p), len);
        p += len;
        left -= len;
        return s;
    }

    // Bytes up to the next byte equal to stop (consumed, not returned), or the rest of the input.
    std::string upto(uint8_t stop)
    {
        size_t n = 0;
        while (n < left && p[n] != stop) {
            n++;
        }
        std::string s = take(n);
        byte();
        return s;
    }

    std::string rest() { return take(left); }
};
