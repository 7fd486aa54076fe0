// Feeds arbitrary bytes to the message decoder, whole and in pieces whose
// sizes come from the input itself; both must agree.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "serialization/message_decompressor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t piece = data[0] % 16 + 1;
    ++data;
    --size;
    constexpr uint64_t kMax = 1 << 22;
    std::string whole_rest, piece_rest;
    MessageDecompressor whole(kMax), pieces(kMax);
    bool whole_done = false, whole_threw = false;
    try {
        whole_done = whole.feed(data, data + size, whole_rest);
    } catch (const std::exception&) {
        whole_threw = true;
    }
    bool pieces_done = false, pieces_threw = false;
    try {
        for (size_t i = 0; i < size && !pieces_done; i += piece) {
            const size_t n = i + piece <= size ? piece : size - i;
            pieces_done = pieces.feed(data + i, data + i + n, piece_rest);
            if (pieces_done) piece_rest.append(reinterpret_cast<const char*>(data + i + n), size - i - n);
        }
    } catch (const std::exception&) {
        pieces_threw = true;
    }
    if (whole_threw != pieces_threw) std::abort();
    if (!whole_threw && whole_done != pieces_done) std::abort();
    if (whole_done && pieces_done && (whole.output() != pieces.output() || whole_rest != piece_rest)) std::abort();
    return 0;
}
