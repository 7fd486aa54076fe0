// Texture creation, image decoding and upload, blank textures.
#include <GL/glew.h>
#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "render/image_decode_sdl.h"
#include "render/render_gl.h"
#include "render/texture_surface_sdl.h"

uint32_t create_texture(int32_t width, int32_t height, const void* rgba, int32_t wrap_mode) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap_mode);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap_mode);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glGenerateMipmap(GL_TEXTURE_2D);
    return texture;
}

uint32_t create_solid_texture(float r, float g, float b, float a) {
    const float colour[4] = {r, g, b, a};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_FLOAT, colour);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_R, GL_REPEAT);
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

uint32_t create_texture_from_surface(SDL_Surface* surface) {
    // SDL pads rows to 4 bytes, which 32-bit pixels already are; the row
    // length is still passed so a wider pitch can never skew the upload.
    glPixelStorei(GL_UNPACK_ROW_LENGTH, surface->pitch / 4);
    const uint32_t texture = create_texture(surface->w, surface->h, surface->pixels, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return texture;
}

void upload_surface(uint32_t texture, SDL_Surface* surface) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, surface->pitch / 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, surface->w, surface->h, 0, GL_RGBA, GL_UNSIGNED_BYTE, surface->pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

bool texture_size_supported(int32_t width, int32_t height) {
    const int32_t max_size = max_texture_size();
    return width > 0 && height > 0 && width <= max_size && height <= max_size;
}

SurfacePtr make_rgba_surface(int32_t width, int32_t height) {
    // Masks give bytes R, G, B, A in memory on a little-endian machine, the
    // order GL_RGBA / GL_UNSIGNED_BYTE reads.
    return SurfacePtr(SDL_CreateRGBSurface(0, width, height, 32, kMaskR, kMaskG, kMaskB, kMaskA));
}

int32_t max_texture_size() {
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
    return max_size;
}

namespace {

// SDL_image's XPM reader keeps its line buffer in static storage; two such
// pictures must not decode at once. Every other format it reads decodes from
// per-call state.
std::mutex g_xpm_decode;

}  // namespace

SurfacePtr decode_texture(const Texture& texture, int32_t max_size) {
    if (texture.image.empty() || texture.image.size() > static_cast<size_t>(INT32_MAX)) return nullptr;

    std::unique_lock<std::mutex> xpm(g_xpm_decode, std::defer_lock);
    if (texture.image.size() >= 9 && std::memcmp(texture.image.data.data(), "/* XPM */", 9) == 0) xpm.lock();
    SurfacePtr decoded = decode_image(texture.image, texture.name);
    if (xpm.owns_lock()) xpm.unlock();
    if (!decoded || decoded->w <= 0 || decoded->h <= 0 || decoded->w > max_size || decoded->h > max_size)
        return nullptr;

    SurfacePtr rgba = make_rgba_surface(decoded->w, decoded->h);
    if (!rgba) return nullptr;
    // The source keeps SDL's default blend mode, so a fully transparent pixel
    // lands as (0, 0, 0, 0) on the zero-filled target whatever its colour.
    if (SDL_UpperBlit(decoded.get(), nullptr, rgba.get(), nullptr) != 0) return nullptr;
    return rgba;
}

void upload_decoded_texture(Texture& texture, SDL_Surface* rgba) {
    texture.gl_texture = 0;
    texture.width = texture.height = 0;
    if (!rgba) return;
    // First row = top of the image; nothing is flipped.
    texture.gl_texture = create_texture_from_surface(rgba);
    texture.width = rgba->w;
    texture.height = rgba->h;
}

void upload_texture(Texture& texture) {
    upload_decoded_texture(texture, decode_texture(texture, max_texture_size()).get());
}

void make_blank_texture(Texture& texture, int32_t width, int32_t height) {
    char name[96];
    std::snprintf(name, sizeof name, "Texture %p (%d x %d)", static_cast<void*>(&texture), width, height);
    texture.name = name;
    texture.gl_texture = 0;
    texture.width = texture.height = 0;
    if (!texture_size_supported(width, height)) return;
    const std::vector<uint8_t> zeros(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    texture.gl_texture = create_texture(width, height, zeros.data(), GL_CLAMP_TO_EDGE);
    texture.width = width;
    texture.height = height;
}
