#include "serialization/scrambler.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The state follows the 3a+1 walk and jumps back to the seed when it reaches 1,
// so the keystream is periodic. The period is computed once per seed and the
// cycle repeated into a block of whole periods at least kBlock bytes long;
// the XOR then runs block by block over plain words, with no per-byte state.
struct Keystream {
    static constexpr size_t kBlock = 4096;
    int32_t seed = 0;
    size_t period = 0;
    size_t block = 0;            // a whole number of periods
    std::vector<uint8_t> table;  // block bytes

    explicit Keystream(int32_t s) : seed(s) {
        std::vector<uint8_t> cycle;
        int32_t a = s;
        do {
            a = (a & 1) ? 3 * a + 1 : a / 2;
            if (a == 1) a = s;
            cycle.push_back(static_cast<uint8_t>(a & 0xFF));
        } while (a != s && cycle.size() < (1u << 20));
        period = cycle.size();
        block = (kBlock + period - 1) / period * period;
        table.reserve(block);
        while (table.size() < block) table.insert(table.end(), cycle.begin(), cycle.end());
    }
};

const Keystream& keystream_for(int32_t seed) {
    static const Keystream standard(kScramblerSeed);
    if (seed == kScramblerSeed) return standard;
    thread_local Keystream other(seed);
    if (other.seed != seed) other = Keystream(seed);
    return other;
}

// out[i] = in[i] ^ key[i] for one block; in and out may be the same.
inline void xor_block(uint8_t* out, const uint8_t* in, const uint8_t* key, size_t size) {
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word, mask;
        std::memcpy(&word, in + i, 8);
        std::memcpy(&mask, key + i, 8);
        word ^= mask;
        std::memcpy(out + i, &word, 8);
    }
    for (; i < size; ++i) out[i] = in[i] ^ key[i];
}

}  // namespace

void scramble(uint8_t* bytes, size_t size, int32_t seed) { scramble_copy(bytes, bytes, size, seed); }

void scramble_copy(const uint8_t* in, uint8_t* out, size_t size, int32_t seed) {
    const Keystream& key = keystream_for(seed);
    for (size_t done = 0; done < size; done += key.block)
        xor_block(out + done, in + done, key.table.data(), std::min(key.block, size - done));
}
