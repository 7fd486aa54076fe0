#include "app/device_loader.h"

#include <SDL_image.h>

#include <cstdlib>
#include <string>

#include "app/loading_screen.h"
#include "audio/audio_device.h"
#include "render/render_gl.h"
#include "scene3d/model.h"
#include "scene3d/scene.h"
#include "serialization/decode_pool.h"
#include "serialization/demo.h"

DeviceLoadHooks::DeviceLoadHooks(LoadingScreen* screen, SDL_Window* window, SDL_GLContext context, size_t workers)
    : screen_(screen), window_(window), context_(context), max_texture_size_(max_texture_size()) {
    // SDL_image sets its decoders up on first use without a lock: do it here,
    // before any worker decodes.
    IMG_Init(IMG_INIT_JPG | IMG_INIT_PNG | IMG_INIT_TIF | IMG_INIT_WEBP);
    if (workers > 0) pool_ = std::make_unique<DecodePool>(workers);
}

// The pool joins its workers; every decode it ran was waited for by the
// reader, so none is left touching a record.
DeviceLoadHooks::~DeviceLoadHooks() = default;

size_t DeviceLoadHooks::decode_workers_from_environment() {
    if (const char* text = std::getenv("QV_LOAD_WORKERS")) {
        char* end = nullptr;
        const unsigned long n = std::strtoul(text, &end, 10);
        if (end != text && *end == '\0' && n <= 64) return static_cast<size_t>(n);
    }
    return DecodePool::default_workers();
}

std::future<void> DeviceLoadHooks::start_decode(std::function<void()> decode) {
    if (!pool_) return LoadHooks::start_decode(std::move(decode));
    return pool_->submit(std::move(decode));
}

size_t DeviceLoadHooks::read_ahead() const { return pool_ ? kMaxWaiting : 0; }

// ---- decode (worker) --------------------------------------------------------

void DeviceLoadHooks::texture_decode(Texture& texture) {
    SurfacePtr picture = decode_texture(texture, max_texture_size_);
    std::lock_guard lock(decoded_mutex_);
    decoded_[&texture] = std::move(picture);
    if (decoded_.size() > most_waiting_) most_waiting_ = decoded_.size();
}

void DeviceLoadHooks::audio_sample_decode(AudioSample& sample) { decode_audio_sample(sample); }

// ---- the record's turn (reading thread) ---------------------------------

void DeviceLoadHooks::texture_read(Texture& texture) {
    std::unique_lock lock(decoded_mutex_);
    auto it = decoded_.find(&texture);
    if (it == decoded_.end()) {  // not decoded through this loader
        lock.unlock();
        upload_texture(texture);
        return;
    }
    SurfacePtr picture = std::move(it->second);
    decoded_.erase(it);
    lock.unlock();
    upload_decoded_texture(texture, picture.get());
}

size_t DeviceLoadHooks::most_pictures_waiting() const {
    std::lock_guard lock(decoded_mutex_);
    return most_waiting_;
}

void DeviceLoadHooks::shader_read(ShaderProgram& program) { build_program(program, nullptr); }
void DeviceLoadHooks::font_read(Font& font) { open_font(font); }
void DeviceLoadHooks::audio_sample_read(AudioSample&) {}  // decoded whole; the mixer needs nothing more
void DeviceLoadHooks::model_read(Model& model) { model.create_gpu_resources(); }
void DeviceLoadHooks::scene_read(Scene& scene) { scene.create_shadow_placeholder(); }

void DeviceLoadHooks::effect_resolved(Effect& effect) {
    if (effect.program) create_targets(effect);
}

void DeviceLoadHooks::font_texture_resolved(FontTexture& picture) { create_picture(picture); }

void DeviceLoadHooks::sound_texture_created(Texture& texture) { make_blank_texture(texture, 1024, 2); }

void DeviceLoadHooks::progress(uint64_t read, uint64_t total) {
    if (screen_) screen_->frame(window_, context_, read, total);
}

void finish_loading(Demo& demo) {
    for (auto& program : demo.shaders) rebuild_program(*program, &demo.shaders);
    for (auto& effect : demo.effects)
        if (effect->program) create_targets(*effect);
}
