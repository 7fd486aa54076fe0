// A tiny tracker module written by the tests: one pattern of a four-channel
// "M.K." module, optionally jumping back to its start so the song never ends.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace test_support {

inline void put_be16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    out[at] = static_cast<uint8_t>(v >> 8);
    out[at + 1] = static_cast<uint8_t>(v);
}

// A four-channel "M.K." module of one pattern: a looped square-wave
// instrument struck on row 0 at speed 1 (one tick of 20 ms a row). With
// `jump_back_at_row` >= 0 that row jumps to order 0, so the song never ends;
// otherwise the song ends after the pattern's 64 rows (1.28 s).
inline std::vector<uint8_t> tiny_mod(int jump_back_at_row) {
    constexpr size_t kSampleWords = 64;
    std::vector<uint8_t> m(20 + 31 * 30 + 1 + 1 + 128 + 4 + 1024 + kSampleWords * 2, 0);
    const size_t sample1 = 20;
    put_be16(m, sample1 + 22, kSampleWords);  // length in words
    m[sample1 + 25] = 64;                     // volume
    put_be16(m, sample1 + 26, 0);             // loop start
    put_be16(m, sample1 + 28, kSampleWords);  // loop length: the whole sample
    const size_t song = 20 + 31 * 30;
    m[song] = 1;        // one order
    m[song + 1] = 127;  // no restart position
    m[song + 2] = 0;    // order 0 plays pattern 0
    std::copy_n("M.K.", 4, m.begin() + static_cast<long>(song + 130));
    const size_t pattern = song + 134;
    auto cell = [&](int row, int channel) { return pattern + static_cast<size_t>(row * 4 + channel) * 4; };
    // Row 0, channel 0: sample 1 at period 428, and speed 1 (effect F01).
    size_t c = cell(0, 0);
    m[c] = 0x01;  // sample number high bits 0, period high nibble 1
    m[c + 1] = 0xAC;
    m[c + 2] = 0x1F;
    m[c + 3] = 0x01;
    if (jump_back_at_row >= 0) {
        c = cell(jump_back_at_row, 1);
        m[c + 2] = 0x0B;  // position jump
        m[c + 3] = 0x00;  // to order 0
    }
    const size_t data = pattern + 1024;
    for (size_t i = 0; i < kSampleWords * 2; ++i) m[data + i] = i < kSampleWords ? 0x60 : 0xA0;
    return m;
}

}  // namespace test_support
