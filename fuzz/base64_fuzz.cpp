// Decodes arbitrary text; whatever decodes must re-encode and decode to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "serialization/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const auto bytes = base64_decode(text, size % 2 == 0);
        const auto again = base64_decode(base64_encode(bytes.data(), bytes.size(), Base64Alphabet::url_safe));
        if (again != bytes) std::abort();
    } catch (const std::runtime_error&) {
    }
    return 0;
}
