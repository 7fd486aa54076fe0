// PNG files made in memory from RGBA pixels, for tests and benchmarks that
// need real pictures to decode. Header-only, so benchmarks can use it too.
#pragma once

#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace gl_test {

// The PNG of `width` x `height` RGBA pixels (rows top first, 4 bytes a
// pixel); empty when SDL_image cannot write it.
inline std::vector<uint8_t> png_bytes(int width, int height, const std::vector<uint8_t>& rgba) {
    SDL_Surface* surface = SDL_CreateRGBSurface(0, width, height, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000);
    if (!surface) return {};
    for (int y = 0; y < height; ++y)
        std::memcpy(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch, rgba.data() + size_t(y) * width * 4,
                    size_t(width) * 4);
    // Room for pixels that do not compress at all, plus the chunks around them.
    std::vector<uint8_t> png(rgba.size() + rgba.size() / 8 + 4096);
    SDL_RWops* out = SDL_RWFromMem(png.data(), static_cast<int>(png.size()));
    const bool saved = out && IMG_SavePNG_RW(surface, out, 0) == 0;
    png.resize(saved ? static_cast<size_t>(SDL_RWtell(out)) : 0);
    if (out) SDL_RWclose(out);
    SDL_FreeSurface(surface);
    return png;
}

}  // namespace gl_test
