// Opening fonts and rendering font textures.
#include <GL/glew.h>
#include <SDL.h>
#include <SDL_ttf.h>

#include <cstdint>
#include <string>

#include "render/render_gl.h"
#include "render/texture_surface_sdl.h"

void open_font(Font& font) {
    font.open_font.reset();
    if (font.font_data.empty() || font.font_data.size() > static_cast<size_t>(INT32_MAX)) return;
    // The font reads from these bytes for as long as it is open, so the ops
    // stay alive with it and are closed after it.
    SDL_RWops* ops = SDL_RWFromConstMem(font.font_data.data.data(), static_cast<int>(font.font_data.size()));
    if (!ops) return;
    TTF_Font* handle = TTF_OpenFontRW(ops, 0, font.ptsize);
    if (!handle) {
        SDL_RWclose(ops);
        return;
    }
    font.open_font = std::shared_ptr<void>(handle, [ops](void* f) {
        TTF_CloseFont(static_cast<TTF_Font*>(f));
        SDL_RWclose(ops);
    });
}

void create_picture(FontTexture& picture) {
    picture.surface.reset();
    picture.gl_texture = 0;
    picture.current_text.clear();
    // A forged size must not become a giant allocation: what GL cannot hold
    // stays an inert picture.
    if (!texture_size_supported(picture.width, picture.height)) return;
    SurfacePtr surface = make_rgba_surface(picture.width, picture.height);
    if (!surface) return;
    picture.gl_texture = create_texture_from_surface(surface.get());
    picture.surface = std::shared_ptr<void>(surface.release(), [](void* s) { SDL_FreeSurface(static_cast<SDL_Surface*>(s)); });
}

bool set_text(FontTexture& picture, std::string_view text) {
    if (text == picture.current_text) return false;
    picture.current_text.assign(text);
    auto* surface = static_cast<SDL_Surface*>(picture.surface.get());
    if (!surface) return true;
    SDL_FillRect(surface, nullptr, 0);

    TTF_Font* font = picture.font ? static_cast<TTF_Font*>(picture.font->open_font.get()) : nullptr;
    if (font) {
        // The renderer takes a C string in Latin-1; text after a NUL is not drawn.
        const SDL_Color white = {255, 255, 255, 255};
        SurfacePtr rendered(TTF_RenderText_Blended_Wrapped(font, picture.current_text.c_str(), white,
                                                           static_cast<Uint32>(picture.width)));
        if (rendered) {
            SDL_Rect source = {0, 0, picture.width, picture.height};
            SDL_Rect target = {picture.center ? (picture.width - rendered->w) / 2 : 0, 0, 0, 0};
            // Clipped by SDL: taller text is cut at the bottom, wider at the right.
            SDL_BlitSurface(rendered.get(), &source, surface, &target);
        }
    }
    upload_surface(picture.gl_texture, surface);
    return true;
}
