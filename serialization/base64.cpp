#include "serialization/base64.h"

#include <array>
#include <stdexcept>

namespace {

constexpr char kStandard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrlSafe[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

constexpr int8_t kInvalid = -1;
constexpr int8_t kPadding = -2;

constexpr std::array<int8_t, 256> make_decode_table() {
    std::array<int8_t, 256> t{};
    for (auto& v : t) v = kInvalid;
    for (int i = 0; i < 64; ++i) {
        t[static_cast<uint8_t>(kStandard[i])] = static_cast<int8_t>(i);
        t[static_cast<uint8_t>(kUrlSafe[i])] = static_cast<int8_t>(i);
    }
    t[static_cast<uint8_t>('=')] = kPadding;
    t[static_cast<uint8_t>('.')] = kPadding;
    return t;
}

constexpr std::array<int8_t, 256> kDecode = make_decode_table();

[[noreturn]] void invalid() { throw std::runtime_error("Input is not valid base64-encoded data."); }

int value_of(char c) {
    const int8_t v = kDecode[static_cast<uint8_t>(c)];
    if (v < 0) invalid();
    return v;
}

bool is_padding(char c) { return kDecode[static_cast<uint8_t>(c)] == kPadding; }

}  // namespace

std::string base64_encode(const uint8_t* bytes, size_t size, Base64Alphabet alphabet) {
    const char* chars = alphabet == Base64Alphabet::standard ? kStandard : kUrlSafe;
    const char pad = alphabet == Base64Alphabet::standard ? '=' : '.';
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const uint32_t v = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out.push_back(chars[(v >> 18) & 63]);
        out.push_back(chars[(v >> 12) & 63]);
        out.push_back(chars[(v >> 6) & 63]);
        out.push_back(chars[v & 63]);
    }
    if (size - i == 1) {
        const uint32_t v = uint32_t{bytes[i]} << 16;
        out.push_back(chars[(v >> 18) & 63]);
        out.push_back(chars[(v >> 12) & 63]);
        out.push_back(pad);
        out.push_back(pad);
    } else if (size - i == 2) {
        const uint32_t v = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8);
        out.push_back(chars[(v >> 18) & 63]);
        out.push_back(chars[(v >> 12) & 63]);
        out.push_back(chars[(v >> 6) & 63]);
        out.push_back(pad);
    }
    return out;
}

std::vector<uint8_t> base64_decode(std::string_view text, bool remove_line_breaks) {
    std::string cleaned;
    if (remove_line_breaks) {
        cleaned.reserve(text.size());
        for (char c : text)
            if (c != '\n') cleaned.push_back(c);
        text = cleaned;
    }
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3 + 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const size_t left = text.size() - i;
        if (left < 2) invalid();
        const int v1 = value_of(text[i]);
        const int v2 = value_of(text[i + 1]);
        out.push_back(static_cast<uint8_t>(v1 * 4 + v2 / 16));
        if (left < 3 || is_padding(text[i + 2])) {
            // A padded third character ends the group; a fourth that is not
            // padding would need the missing third value.
            if (left >= 4 && !is_padding(text[i + 3])) invalid();
            continue;
        }
        const int v3 = value_of(text[i + 2]);
        out.push_back(static_cast<uint8_t>(v2 * 16 + v3 / 4));
        if (left < 4 || is_padding(text[i + 3])) continue;
        const int v4 = value_of(text[i + 3]);
        out.push_back(static_cast<uint8_t>(v3 * 64 + v4));
    }
    return out;
}
