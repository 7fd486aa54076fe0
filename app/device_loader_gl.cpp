#include "app/device_loader.h"

#include "app/loading_screen.h"
#include "audio/audio_device.h"
#include "render/render_gl.h"
#include "scene3d/model.h"
#include "scene3d/scene.h"
#include "serialization/demo.h"

void DeviceLoadHooks::shader_read(ShaderProgram& program) { build_program(program, nullptr); }
void DeviceLoadHooks::texture_read(Texture& texture) { upload_texture(texture); }
void DeviceLoadHooks::font_read(Font& font) { open_font(font); }
void DeviceLoadHooks::audio_sample_read(AudioSample& sample) { decode_audio_sample(sample); }
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
