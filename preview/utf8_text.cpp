#include "preview/utf8_text.h"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed sequence starting at `at`, or 0.
size_t sequence_length(std::string_view s, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b0 = byte(at);
    if (b0 < 0x80) return 1;
    size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) n = 2;
    else if (b0 == 0xE0) n = 3, lo = 0xA0;
    else if (b0 == 0xED) n = 3, hi = 0x9F;  // no surrogates
    else if (b0 >= 0xE1 && b0 <= 0xEF) n = 3;
    else if (b0 == 0xF0) n = 4, lo = 0x90;
    else if (b0 == 0xF4) n = 4, hi = 0x8F;  // nothing past U+10FFFF
    else if (b0 >= 0xF1 && b0 <= 0xF3) n = 4;
    else return 0;
    if (at + n > s.size()) return 0;
    if (byte(at + 1) < lo || byte(at + 1) > hi) return 0;
    for (size_t i = 2; i < n; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    return n;
}

}  // namespace

std::string valid_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const size_t n = sequence_length(text, i);
        if (n == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}
