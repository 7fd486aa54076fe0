#include "serialization/compress_message.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "serialization/varint.h"

namespace {

constexpr uint32_t kBuckets = 4096;
constexpr uint32_t kWays = 12;
constexpr size_t kMinMatch = 5;

// The match table: per bucket, twelve remembered positions (index + 1, 0 for
// empty) in a ring with its next-write index. Instead of zeroing the whole
// table for every message, each bucket carries the number of the message that
// last wrote it; a bucket from an older message reads as empty. The bytes
// produced are those of a table cleared per message.
struct Bucket {
    uint64_t message = 0;
    uint32_t next = 0;
    std::array<uint32_t, kWays> slots{};
};

struct MatchTable {
    uint64_t message = 0;
    std::unique_ptr<Bucket[]> buckets{new Bucket[kBuckets]};
};

inline uint32_t fnv1a5(const uint8_t* p) {
    uint32_t h = 2166136261u;
    for (int i = 0; i < 5; ++i) {
        h ^= p[i];
        h *= 16777619u;
    }
    return h;
}

// Length of the common run of x[q..] and x[p..] (q < p), the run stopping at
// the end of the input; compared eight bytes at a time.
inline size_t match_length(const uint8_t* x, size_t n, size_t q, size_t p) {
    size_t m = 0;
    while (p + m + 8 <= n) {
        uint64_t a, b;
        std::memcpy(&a, x + q + m, 8);
        std::memcpy(&b, x + p + m, 8);
        if (a != b) return m + static_cast<size_t>(std::countr_zero(a ^ b) >> 3);
        m += 8;
    }
    while (p + m < n && x[q + m] == x[p + m]) ++m;
    return m;
}

inline size_t saving_of(size_t m, size_t distance_cost) {
    size_t cost = distance_cost;
    if (m >= 8) cost += estimated_varint_size(m - 4);
    return cost <= m ? m - cost : 0;
}

// The shortest match length whose saving beats `best` at this distance cost.
// Savings never fall as the length grows, so a candidate that differs from p
// within this many bytes cannot win, and one byte settles it.
inline size_t length_to_beat(size_t best, size_t distance_cost) {
    size_t m = best + distance_cost + 1;
    if (m < 8) return m;  // short matches pay no length varint
    while (saving_of(m, distance_cost) <= best) ++m;
    return m;
}

void flush_literals(std::string& out, const uint8_t* x, size_t start, size_t count) {
    if (count == 0) return;
    append_varint(out, 2 * static_cast<uint64_t>(count) + 1);
    out.append(reinterpret_cast<const char*>(x + start), count);
}

}  // namespace

std::string compress_message(std::string_view input) {
    thread_local MatchTable table;
    const uint64_t message = ++table.message;

    const auto* x = reinterpret_cast<const uint8_t*>(input.data());
    const size_t n = input.size();
    std::string out;
    out.reserve(n / 2 + 16);
    append_varint(out, n);

    // Pending literals are always a contiguous run ending at p.
    size_t literal_start = 0;
    size_t p = 0;
    while (p < n) {
        if (p + kMinMatch > n) {
            ++p;
            continue;
        }
        Bucket& bucket = table.buckets[fnv1a5(x + p) % kBuckets];
        if (bucket.message != message) {
            bucket.message = message;
            bucket.next = 0;
            bucket.slots.fill(0);
        }
        size_t best_length = 0;
        size_t best_distance = 0;
        size_t best_saving = 0;
        for (uint32_t k = 0; k < kWays; ++k) {
            const uint32_t slot = bucket.slots[(bucket.next + kWays - 1 - k) % kWays];
            if (slot == 0) break;
            const size_t q = slot - 1;
            if (x[q] != x[p]) continue;  // most candidates of unrelated bytes end here
            const size_t distance = p - q;
            const size_t distance_cost = estimated_varint_size(distance * 16);
            const size_t needed = length_to_beat(best_saving, distance_cost);
            if (p + needed > n || x[q + needed - 1] != x[p + needed - 1]) continue;
            const size_t m = match_length(x, n, q, p);
            const size_t saving = saving_of(m, distance_cost);
            if (saving > best_saving) {
                best_saving = saving;
                best_length = m;
                best_distance = distance;
            }
        }
        bucket.slots[bucket.next] = static_cast<uint32_t>(p + 1);
        bucket.next = (bucket.next + 1) % kWays;

        if (best_length < kMinMatch) {
            ++p;
            continue;
        }
        flush_literals(out, x, literal_start, p - literal_start);
        const uint64_t h = best_length - 4;
        if (h < 8) {
            append_varint(out, (static_cast<uint64_t>(best_distance) * 16) | (h * 2));
        } else {
            append_varint(out, static_cast<uint64_t>(best_distance) * 16);
            append_varint(out, h);
        }
        p += best_length;
        literal_start = p;
    }
    flush_literals(out, x, literal_start, n - literal_start);
    return out;
}
