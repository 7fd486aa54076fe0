// What the loader calls while a Demo is read, so that GPU and mixer work
// happens right after each record without the content model knowing GL.
// The defaults do nothing: the packer, the tests of the content model and the
// fuzzers read content without any device.
#pragma once

#include <cstdint>

class ShaderProgram;
class Texture;
class Font;
class FontTexture;
class AudioSample;
class Model;
class Scene;
class Effect;

class LoadHooks {
public:
    virtual ~LoadHooks() = default;

    // Right after the record is read (before the loading frame for it).
    virtual void shader_read(ShaderProgram&) {}
    virtual void texture_read(Texture&) {}
    virtual void font_read(Font&) {}
    virtual void audio_sample_read(AudioSample&) {}
    virtual void model_read(Model&) {}
    virtual void scene_read(Scene&) {}

    // During relinking, after the record's references are bound.
    virtual void effect_resolved(Effect&) {}
    virtual void font_texture_resolved(FontTexture&) {}

    // After the graph is read: the demo's 1024 x 2 sound texture exists.
    virtual void sound_texture_created(Texture&) {}

    // Once per record read (read = 0 .. total-1), then once with read = total.
    virtual void progress(uint64_t /*read*/, uint64_t /*total*/) {}
};
