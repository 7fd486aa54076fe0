// What the loader calls while a Demo is read, so that GPU and mixer work
// happens right after each record without the content model knowing GL.
// The defaults do nothing: the packer, the tests of the content model and the
// fuzzers read content without any device.
//
// Each record is loaded in two steps. Its decode (model parsing and the
// *_decode hooks: thread-safe, no GL) starts as soon as its bytes are read and
// may run elsewhere (start_decode). Its turn comes in stream order, on the
// reading thread, once its decode is done and every earlier record had its
// turn: the messages its decode printed (load_printf), then the *_read hook,
// then progress. The reader reads up to read_ahead() records past the one
// whose turn is next, so decoding overlaps the turns of earlier records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>

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

    // ---- decode: maybe on a worker, before the record's turn ----
    // Must not touch GL, the loading screen or any record but its own. Each
    // *_read hook below is preceded by its record's decode.
    virtual void texture_decode(Texture&) {}
    virtual void audio_sample_decode(AudioSample&) {}

    // Runs a record's decode. The default runs it at once on the calling
    // thread; a loader with workers queues it and returns. The future carries
    // an exception the decode threw; it is rethrown at the record's turn.
    virtual std::future<void> start_decode(std::function<void()> decode);
    // Records the reader may hold read but not yet turned; at most this many
    // decoded results wait for their turn. 0: each record's turn comes right
    // after it is read.
    virtual size_t read_ahead() const { return 0; }

    // ---- the record's turn: on the reading thread, in stream order ----
    // After the record's decode (before the loading frame for it).
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
