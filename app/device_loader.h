// The loader's device side: what happens on the GPU and in the mixer for each
// record read, and the loading frame after it.
//
// Pictures and sounds decode on a pool of worker threads (models parse there
// too) while this thread reads on and draws loading frames; the GPU upload
// and the loading frame of each record come at its turn, in stream order, on
// the thread that reads. At most kMaxWaiting decoded records wait for their
// turn; the reader stops reading ahead when that many are out.
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "render/texture_surface_sdl.h"
#include "serialization/load_hooks.h"

class DecodePool;
class LoadingScreen;

class DeviceLoadHooks : public LoadHooks {
public:
    static constexpr size_t kMaxWaiting = 8;

    // `screen` may be null (offline rendering): then no loading frames.
    // `workers` decode threads; 0 decodes every record on the reading thread
    // right before its turn. Needs the GL context current.
    DeviceLoadHooks(LoadingScreen* screen, SDL_Window* window, SDL_GLContext context,
                    size_t workers = decode_workers_from_environment());
    ~DeviceLoadHooks() override;

    void texture_decode(Texture& texture) override;
    void audio_sample_decode(AudioSample& sample) override;
    std::future<void> start_decode(std::function<void()> decode) override;
    size_t read_ahead() const override;

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

    // The most decoded pictures that were waiting for upload at any time.
    size_t most_pictures_waiting() const;

    // QV_LOAD_WORKERS when set to a number (0: decode on the reading thread),
    // else one per core less the reading thread's, at least one.
    static size_t decode_workers_from_environment();

private:
    LoadingScreen* screen_;
    SDL_Window* window_;
    SDL_GLContext context_;
    int32_t max_texture_size_;
    std::unique_ptr<DecodePool> pool_;

    mutable std::mutex decoded_mutex_;
    std::unordered_map<const Texture*, SurfacePtr> decoded_;  // null: did not decode
    size_t most_waiting_ = 0;
};

class Demo;

// After the whole content is read: every program rebuilt in list order (now
// #include lines see all programs), then every effect's drawing resources
// made again, so each quad uses its rebuilt program.
void finish_loading(Demo& demo);
