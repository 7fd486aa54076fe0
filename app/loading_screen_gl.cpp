#include "app/loading_screen.h"

#include <GL/glew.h>

#include "app/loader_picture.h"
#include "app/playback_state.h"
#include "render/render_gl.h"

const char* const kLoaderFragmentSource = R"glsl(#version 150
uniform int sound;
uniform float beat;
uniform float read;
uniform float total;
uniform sampler2D tex;
uniform vec2 resolution;
out vec4 fragColor;

#define iResolution resolution
#define iTime beat
#define fragCoord gl_FragCoord.xy
#define iChannel0 tex

void mainImage(out vec4 color, in vec2 coord) {
    vec2 uv = coord / iResolution.xy;
    float aspect = iResolution.x / iResolution.y;
    uv.x = (uv.x - 0.5) * aspect + 0.5;      // square picture, centred
    color = vec4(0.0, 0.0, 0.0, 1.0);
    // Nothing read yet, or nothing to read: the empty shape.
    float progress = total > 0.0 ? read / total : 0.0;
    float fill = progress <= 0.5 ? 2.0 * progress : 2.0 * (1.0 - progress);
    if (uv.x >= 0.0 && uv.x <= 1.0) {
        float pixel = texture(iChannel0, vec2(uv.x, 1.0 - uv.y)).r;
        if (uv.y < fill) {
            uv.y += 0.02 * sin(10.0 * uv.x);  // a wave on the fill line
            if (pixel < 0.5)
                color = uv.y < fill - 0.2 ? vec4(1.0, 1.0, 0.0, 1.0) : vec4(1.0);
            else
                color = vec4(0.0, 0.0, 0.0, 1.0);
        } else if (pixel < 0.5) {
            color = vec4(0.5, 0.5, 0.5, 1.0);
        }
    }
}

void main() { mainImage(fragColor, fragCoord); }
)glsl";

LoadingScreen::LoadingScreen() : texture_("loader", ByteBuffer(kLoaderPicturePng, kLoaderPicturePngSize)) {
    program_.fragment_shader_source = kLoaderFragmentSource;
    build_program(program_, nullptr);
    read_location_ = glGetUniformLocation(program_.gl_program, "read");
    total_location_ = glGetUniformLocation(program_.gl_program, "total");
    upload_texture(texture_);
    effect_ = std::make_unique<Effect>("Loader", &program_, &texture_);
    create_targets(*effect_);
}

void LoadingScreen::draw(uint64_t read, uint64_t total, int32_t width, int32_t height) {
    glViewport(0, 0, width, height);
    glUseProgram(program_.gl_program);
    glUniform1f(read_location_, static_cast<float>(read));
    glUniform1f(total_location_, static_cast<float>(total));
    draw_effect(*effect_);
}

void LoadingScreen::frame(SDL_Window* window, SDL_GLContext context, uint64_t read, uint64_t total, int delays) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0, 0, 0, 1);
    SDL_GL_MakeCurrent(window, context);
    draw(read, total, playback().window_actual_width, playback().window_actual_height);
    SDL_GL_SwapWindow(window);
    for (int i = 0; i < delays; ++i) SDL_Delay(20);
}

void LoadingScreen::final_hold(SDL_Window* window, SDL_GLContext context, uint64_t record_count) {
    for (int i = 0; i < 100; ++i) frame(window, context, record_count, record_count, 2);
}
