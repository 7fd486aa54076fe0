// Demo: the root record of the content. It owns every resource list, the
// music, the tempo and length of the demo, and the node graph.
//
// Binary form, front to back: record count; events, effects, shaders,
// textures, audio_samples, event_groups, fonts, font_textures, datas, models,
// scenes (each a count, then identity + body per element); music blob;
// end_beat, bpm, beat_offset; the graph. Reading resolves identities, registers
// the node types made from the content's programs, events and scenes, reads the
// graph and creates the sound texture, calling LoadHooks along the way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_sample.h"
#include "nodes/graph.h"
#include "render/effect.h"
#include "render/font.h"
#include "render/font_texture.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "scene3d/model.h"
#include "scene3d/scene.h"
#include "serialization/byte_buffer.h"
#include "serialization/data.h"
#include "serialization/load_hooks.h"
#include "timeline/event.h"
#include "timeline/event_group.h"

class Demo : public ISerializable {
public:
    std::vector<std::unique_ptr<Event>> events;
    std::vector<std::unique_ptr<Effect>> effects;
    std::vector<std::unique_ptr<ShaderProgram>> shaders;
    std::vector<std::unique_ptr<Texture>> textures;
    std::vector<std::unique_ptr<AudioSample>> audio_samples;
    std::vector<std::unique_ptr<EventGroup>> event_groups;
    std::vector<std::unique_ptr<Font>> fonts;
    std::vector<std::unique_ptr<FontTexture>> font_textures;
    std::vector<std::unique_ptr<Data>> datas;
    std::vector<std::unique_ptr<Model>> models;
    std::vector<std::unique_ptr<Scene>> scenes;
    ByteBuffer music;  // empty: no music
    float end_beat = 480.0f;
    float bpm = 130.0f;
    float beat_offset = 0.5f;
    std::unique_ptr<Texture> sound_texture;  // 1024 x 2, made after reading
    uint64_t record_count = 0;               // as stored; drives loading progress
    std::unique_ptr<Nodes::Graph> graph;     // null until content is read

    Demo() = default;
    ~Demo() override;

    // Reads a whole content stream, calling `hooks` after each record.
    // Throws ContentError for a truncated or corrupt stream.
    void read_with(ContentReader& in, LoadHooks& hooks);
    // Reads the JSON project form; payload files are resolved against the
    // working directory.
    void from_json_with(const nlohmann::json& json, LoadHooks& hooks);

    // Total elements of the eleven lists.
    uint64_t list_element_count() const;

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};

// Path of the music file in the external-files JSON form.
inline constexpr const char* kExternalMusicPath = "resources/music.mp3";
