// Wraps arbitrary text as an image shader (the bytes before the first NUL are
// the Common part, the rest the image): whatever it is given, the wrapper
// ends, writes a source that starts with its version line and carries no
// carriage return, and names what it cannot map without empty phrases.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "render/image_shader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const size_t split = all.find('\0');
    const std::string_view common = split == std::string_view::npos ? std::string_view() : all.substr(0, split);
    const std::string_view image = split == std::string_view::npos ? all : all.substr(split + 1);
    const ImageShader s = wrap_image_shader(image, common, "fuzz", 0.5f);
    if (s.source.rfind("#version 150\n", 0) != 0) std::abort();
    if (s.source.find('\r') != std::string::npos) std::abort();
    for (const std::string& u : s.unmapped)
        if (u.empty()) std::abort();
    return 0;
}
