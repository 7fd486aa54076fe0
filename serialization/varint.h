// Unsigned integers in little-endian groups of seven bits, high bit set when
// another byte follows. 0 is one byte 0x00; 300 is 0xAC 0x02.
#pragma once

#include <cstdint>
#include <string>

// A varint never takes more than ten bytes; a longer one is malformed.
constexpr int kMaxVarintBytes = 10;

inline void append_varint(std::string& out, uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7F) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

// Size in bytes of a varint, by the thresholds the encoder's cost estimate
// uses (at most four bytes are distinguished).
inline int estimated_varint_size(uint64_t value) {
    if (value <= 127) return 1;
    if (value <= 16383) return 2;
    if (value <= 2097151) return 3;
    return 4;
}
