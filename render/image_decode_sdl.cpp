#include "render/image_decode_sdl.h"

#include <SDL_image.h>

#include <cctype>
#include <climits>
#include <cstdint>

#include "serialization/byte_buffer.h"

namespace {

// No texture side is larger on the drivers we meet; a header asking for more
// is forged or broken and must not reach an allocation.
constexpr int kLargestTgaSide = 16384;

std::string extension_of(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    const size_t slash = name.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 == name.size()) return {};
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext;
}

bool tga_size_acceptable(const ByteBuffer& bytes) {
    if (bytes.size() < 18) return false;  // shorter than a TGA header
    const uint8_t* h = bytes.data.data();
    const int width = h[12] | (h[13] << 8);
    const int height = h[14] | (h[15] << 8);
    return width > 0 && height > 0 && width <= kLargestTgaSide && height <= kLargestTgaSide;
}

SurfacePtr decode_from(const ByteBuffer& bytes, const char* type) {
    SDL_RWops* ops = SDL_RWFromConstMem(bytes.data.data(), static_cast<int>(bytes.size()));
    if (!ops) return nullptr;
    SurfacePtr decoded(type ? IMG_LoadTyped_RW(ops, 0, type) : IMG_Load_RW(ops, 0));
    SDL_RWclose(ops);
    return decoded;
}

}  // namespace

SurfacePtr decode_image(const ByteBuffer& bytes, const std::string& name, std::string* why) {
    if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) {
        if (why) *why = bytes.empty() ? "no image bytes" : "the image is too large";
        return nullptr;
    }
    SurfacePtr decoded = decode_from(bytes, nullptr);
    if (decoded) return decoded;
    std::string reason = IMG_GetError();
    const std::string type = extension_of(name);
    if (!type.empty() && (type != "TGA" || tga_size_acceptable(bytes))) {
        decoded = decode_from(bytes, type.c_str());
        if (decoded) return decoded;
        // The typed attempt knows the format, so its complaint is the better one.
        if (type == "TGA") reason = IMG_GetError();
    } else if (type == "TGA") {
        reason = "the TGA header gives no usable size";
    }
    if (why) *why = reason;
    return nullptr;
}
