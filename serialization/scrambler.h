// The scrambler hides payload bytes in the content stream. It is an XOR with a
// keystream that restarts for every buffer, so it is its own inverse and two
// equal buffers scramble to equal bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// Every writer and reader of this player's content uses this seed.
constexpr int32_t kScramblerSeed = 871;

// XORs `size` bytes in place with the keystream of `seed`.
void scramble(uint8_t* bytes, size_t size, int32_t seed = kScramblerSeed);

// Writes `size` scrambled bytes of `in` to `out` in one pass (the same as a
// copy followed by scramble; `in` and `out` may be the same buffer).
void scramble_copy(const uint8_t* in, uint8_t* out, size_t size, int32_t seed = kScramblerSeed);
