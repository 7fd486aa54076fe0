// SDL surface helpers shared by the texture and font-texture device code.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <memory>

// Bytes R, G, B, A in memory (little-endian channel masks).
inline constexpr uint32_t kMaskR = 0x000000FF;
inline constexpr uint32_t kMaskG = 0x0000FF00;
inline constexpr uint32_t kMaskB = 0x00FF0000;
inline constexpr uint32_t kMaskA = 0xFF000000;

struct SurfaceFree {
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceFree>;

// A zero-filled 32-bit surface with the masks above; null on failure.
SurfacePtr make_rgba_surface(int32_t width, int32_t height);
// False for sizes the GL cannot hold (and for zero or negative ones), so a
// forged size never reaches an allocation.
bool texture_size_supported(int32_t width, int32_t height);
// A new clamp-to-edge texture from the surface's pixels (left bound).
uint32_t create_texture_from_surface(SDL_Surface* surface);
// Replaces level 0 of `texture` with the surface's pixels.
void upload_surface(uint32_t texture, SDL_Surface* surface);
