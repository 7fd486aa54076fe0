// The loader's device side: what happens on the GPU and in the mixer right
// after each record is read, and the loading frame after it.
#pragma once

#include <SDL.h>

#include "serialization/load_hooks.h"

class LoadingScreen;

class DeviceLoadHooks : public LoadHooks {
public:
    // `screen` may be null (offline rendering): then no loading frames.
    DeviceLoadHooks(LoadingScreen* screen, SDL_Window* window, SDL_GLContext context)
        : screen_(screen), window_(window), context_(context) {}

    void shader_read(ShaderProgram& program) override;
    void texture_read(Texture& texture) override;
    void font_read(Font& font) override;
    void audio_sample_read(AudioSample& sample) override;
    void model_read(Model& model) override;
    void scene_read(Scene& scene) override;
    void effect_resolved(Effect& effect) override;
    void font_texture_resolved(FontTexture& picture) override;
    void sound_texture_created(Texture& texture) override;
    void progress(uint64_t read, uint64_t total) override;

private:
    LoadingScreen* screen_;
    SDL_Window* window_;
    SDL_GLContext context_;
};

class Demo;

// After the whole content is read: every program rebuilt in list order (now
// #include lines see all programs), then every effect's drawing resources
// made again, so each quad uses its rebuilt program.
void finish_loading(Demo& demo);
