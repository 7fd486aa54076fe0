// The loading screen: a built-in square picture whose dark shape fills with
// colour as records arrive, drawn through an ordinary effect named "Loader".
#pragma once

#include <SDL.h>

#include <cstdint>
#include <memory>

#include "render/effect.h"
#include "render/shader_program.h"
#include "render/texture.h"

class LoadingScreen {
public:
    // Builds the loader program, the "loader" texture and the "Loader"
    // effect. Needs a current GL context.
    LoadingScreen();

    // Draws the picture for (read, total) into the bound framebuffer over
    // (0, 0, width, height). Total 0 shows the empty shape.
    void draw(uint64_t read, uint64_t total, int32_t width, int32_t height);

    // One loading frame: drains pending events (they are lost), clears,
    // draws, swaps and waits 20 ms (`delays` times).
    void frame(SDL_Window* window, SDL_GLContext context, uint64_t read, uint64_t total, int delays = 1);

    // The hold after content found in the executable: 100 frames of the
    // finished picture with two 20 ms waits each.
    void final_hold(SDL_Window* window, SDL_GLContext context, uint64_t record_count);

    const ShaderProgram& program() const { return program_; }

private:
    ShaderProgram program_;
    Texture texture_;
    std::unique_ptr<Effect> effect_;
    int32_t read_location_ = -1;
    int32_t total_location_ = -1;
};

// The loader program's fragment source, in the image-shader convention.
extern const char* const kLoaderFragmentSource;
