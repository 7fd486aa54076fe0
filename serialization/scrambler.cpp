#include "serialization/scrambler.h"

#include <cstring>
#include <vector>

namespace {

// The state follows the 3a+1 walk and jumps back to the seed when it reaches 1,
// so the keystream is periodic. The period is computed once per seed, stored
// with a tail of extra bytes, and the XOR then runs over the table eight bytes
// at a time instead of stepping the walk per byte.
struct Keystream {
    static constexpr size_t kTail = 64;
    int32_t seed = 0;
    size_t period = 0;
    std::vector<uint8_t> table;  // period bytes, then kTail more of the same cycle

    explicit Keystream(int32_t s) : seed(s) {
        int32_t a = s;
        do {
            a = (a & 1) ? 3 * a + 1 : a / 2;
            if (a == 1) a = s;
            table.push_back(static_cast<uint8_t>(a & 0xFF));
        } while (a != s && table.size() < (1u << 20));
        period = table.size();
        for (size_t i = 0; i < kTail; ++i) table.push_back(table[i % period]);
    }
};

const Keystream& keystream_for(int32_t seed) {
    static const Keystream standard(kScramblerSeed);
    if (seed == kScramblerSeed) return standard;
    thread_local Keystream other(seed);
    if (other.seed != seed) other = Keystream(seed);
    return other;
}

}  // namespace

void scramble(uint8_t* bytes, size_t size, int32_t seed) {
    const Keystream& key = keystream_for(seed);
    const uint8_t* table = key.table.data();
    size_t k = 0;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word, mask;
        std::memcpy(&word, bytes + i, 8);
        std::memcpy(&mask, table + k, 8);
        word ^= mask;
        std::memcpy(bytes + i, &word, 8);
        k += 8;
        if (k >= key.period) k -= key.period;
    }
    for (; i < size; ++i) {
        bytes[i] ^= table[k];
        if (++k == key.period) k = 0;
    }
}
