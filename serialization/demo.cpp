#include "serialization/demo.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <type_traits>
#include <unordered_map>

#include "nodes/node_registry.h"
#include "nodes/resource_node_types.h"
#include "serialization/file_io.h"
#include "serialization/load_messages.h"

namespace {

// Smallest possible body of a list element: its identity plus the smallest
// record body (an empty name string alone is 9 bytes). Counts that the rest of
// the stream cannot hold are rejected before any list is sized from them.
constexpr size_t kMinElementBytes = 8 + 9;

// Records read but not yet turned, oldest first. A record's turn waits for
// its decode, prints what the decode said, runs the record's hook and then
// the progress call for it, so the hooks see records one at a time in stream
// order however the decodes were spread.
class TurnQueue {
public:
    explicit TurnQueue(LoadHooks& hooks) : hooks_(hooks), depth_(hooks.read_ahead()) {}
    // A decode still running writes into its record: never leave before it
    // is done, even when reading failed.
    ~TurnQueue() {
        for (Pending& p : pending_)
            if (p.decoded.valid()) p.decoded.wait();
    }
    TurnQueue(const TurnQueue&) = delete;
    TurnQueue& operator=(const TurnQueue&) = delete;

    // `decode` may be empty (nothing to decode).
    void add(std::function<void()> decode, std::function<void()> turn) {
        // Room first: the oldest record has its turn before another decode
        // starts, so no more than depth_ decoded results ever wait.
        while (!broken_ && !pending_.empty() && pending_.size() >= depth_) run_next();
        Pending p;
        p.messages = std::make_shared<LoadMessages>();
        if (decode)
            p.decoded = hooks_.start_decode([decode = std::move(decode), messages = p.messages] {
                CapturedMessages capture(*messages);
                decode();
            });
        p.turn = std::move(turn);
        pending_.push_back(std::move(p));
        if (depth_ == 0) run_next();
    }

    // After a turn failed, the records behind it never get theirs, as when
    // the failure stopped the reader right at that record.
    void run_all() {
        while (!broken_ && !pending_.empty()) run_next();
    }

private:
    struct Pending {
        std::future<void> decoded;
        std::shared_ptr<LoadMessages> messages;
        std::function<void()> turn;
    };

    void run_next() {
        Pending p = std::move(pending_.front());
        pending_.pop_front();
        if (p.decoded.valid()) p.decoded.wait();
        print_load_messages(*p.messages);
        try {
            if (p.decoded.valid()) p.decoded.get();  // a decode that threw fails here, at its record
            p.turn();
        } catch (...) {
            broken_ = true;
            throw;
        }
    }

    LoadHooks& hooks_;
    const size_t depth_;
    std::deque<Pending> pending_;
    bool broken_ = false;
};

// What is read of a record before its decode: everything but models, whose
// parsing is their decode.
template <typename T>
void read_body(T& element, ContentReader& in) {
    element.read(in);
}
void read_body(Model& model, ContentReader& in) { model.read_stored(in); }

struct NoDecode {};

template <typename T, typename Decode, typename OnTurn>
void read_list(ContentReader& in, const char* what, std::vector<std::unique_ptr<T>>& list, IdentityMap& identities,
               uint64_t& read, uint64_t total, LoadHooks& hooks, TurnQueue& turns, Decode decode, OnTurn on_turn) {
    const uint64_t count = in.read_count(what, kMinElementBytes);
    list.clear();
    list.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t identity = in.read_u64(what);
        auto element = std::make_unique<T>();
        read_body(*element, in);
        identities[identity] = element.get();
        list.push_back(std::move(element));
        T& record = *list.back();
        std::function<void()> job;
        if constexpr (!std::is_same_v<Decode, NoDecode>) job = [&record, decode] { decode(record); };
        turns.add(std::move(job), [&record, on_turn, &hooks, k = read, total] {
            on_turn(record);
            hooks.progress(k, total);
        });
        ++read;
    }
}

template <typename T>
void write_list(ContentWriter& out, const std::vector<std::unique_ptr<T>>& list) {
    out.write_u64(list.size());
    for (const auto& element : list) {
        out.write_reference(element.get());
        element->write(out);
    }
}

template <typename T>
nlohmann::json list_to_json(const std::vector<std::unique_ptr<T>>& list, bool external_files) {
    nlohmann::json array = nlohmann::json::array();
    for (const auto& element : list) array.push_back(element->to_json(external_files));
    return array;
}

template <typename T, typename OnRead>
void list_from_json(const nlohmann::json& json, const char* key, std::vector<std::unique_ptr<T>>& list,
                    OnRead on_read) {
    list.clear();
    if (!json.contains(key)) return;
    for (const auto& item : json.at(key)) {
        auto element = std::make_unique<T>();
        element->from_json(item);
        list.push_back(std::move(element));
        on_read(*list.back());
    }
}

// First record of a name wins, as a lookup scanning the list in order would.
template <typename T, typename NameOf>
void fill_names(std::unordered_map<std::string, T*>& map, const std::vector<std::unique_ptr<T>>& list,
                NameOf name_of) {
    for (const auto& element : list) map.emplace(name_of(*element), element.get());
}

auto ignore = [](auto&) {};

// The target of the sound analysis: a blank 1024 x 2 texture, uploaded by the
// device side when the loader is told it exists.
std::unique_ptr<Texture> make_sound_texture() {
    auto texture = std::make_unique<Texture>();
    texture->width = 1024;
    texture->height = 2;
    char name[64];
    std::snprintf(name, sizeof name, "Texture %p (%d x %d)", static_cast<void*>(texture.get()), 1024, 2);
    texture->name = name;
    return texture;
}

}  // namespace

// The registry's choice lists read the demo that registered its node types;
// it must not keep a pointer to a demo that is gone.
Demo::~Demo() { NodeRegistry::instance().forget_demo(this); }

uint64_t Demo::list_element_count() const {
    return events.size() + effects.size() + shaders.size() + textures.size() + audio_samples.size() +
           event_groups.size() + fonts.size() + font_textures.size() + datas.size() + models.size() + scenes.size();
}

void Demo::read(ContentReader& in) {
    LoadHooks none;
    read_with(in, none);
}

void Demo::read_with(ContentReader& in, LoadHooks& hooks) {
    record_count = in.read_u64("record count");
    IdentityMap identities;
    uint64_t k = 0;
    const uint64_t total = record_count;
    const NoDecode none;
    TurnQueue turns(hooks);
    try {
        read_list(in, "event list", events, identities, k, total, hooks, turns, none, ignore);
        read_list(in, "effect list", effects, identities, k, total, hooks, turns, none, ignore);
        read_list(in, "shader list", shaders, identities, k, total, hooks, turns, none,
                  [&](ShaderProgram& p) { hooks.shader_read(p); });
        read_list(in, "texture list", textures, identities, k, total, hooks, turns,
                  [&](Texture& t) { hooks.texture_decode(t); }, [&](Texture& t) { hooks.texture_read(t); });
        read_list(in, "audio sample list", audio_samples, identities, k, total, hooks, turns,
                  [&](AudioSample& s) { hooks.audio_sample_decode(s); },
                  [&](AudioSample& s) { hooks.audio_sample_read(s); });
        read_list(in, "event group list", event_groups, identities, k, total, hooks, turns, none, ignore);
        read_list(in, "font list", fonts, identities, k, total, hooks, turns, none, [&](Font& f) { hooks.font_read(f); });
        read_list(in, "font texture list", font_textures, identities, k, total, hooks, turns, none, ignore);
        read_list(in, "data list", datas, identities, k, total, hooks, turns, none, ignore);
        read_list(in, "model list", models, identities, k, total, hooks, turns, [](Model& m) { m.parse_stored(); },
                  [&](Model& m) { hooks.model_read(m); });
        read_list(in, "scene list", scenes, identities, k, total, hooks, turns, none,
                  [&](Scene& s) { hooks.scene_read(s); });
    } catch (...) {
        // The records read before the fault still have their turns, as they
        // would have had when each turn came right after its record.
        try {
            turns.run_all();
        } catch (...) {
        }
        throw;
    }
    turns.run_all();
    music.read(in);

    // Relinking: events first, groups after effects, font textures make their
    // pictures once their font is known, scenes last.
    for (auto& e : events) e->resolve_references(identities);
    for (auto& e : effects) {
        e->resolve_references(identities);
        hooks.effect_resolved(*e);
    }
    for (auto& g : event_groups) g->resolve_references(identities);
    for (auto& f : font_textures) {
        f->resolve_references(identities);
        hooks.font_texture_resolved(*f);
    }
    for (auto& s : scenes) s->resolve_references(identities);

    end_beat = in.read_f32("end beat");
    bpm = in.read_f32("bpm");
    beat_offset = in.read_f32("beat offset");

    register_content_node_types(*this);
    graph = std::make_unique<Nodes::Graph>();
    graph->read(in);

    sound_texture = make_sound_texture();
    hooks.sound_texture_created(*sound_texture);
    hooks.progress(record_count, record_count);
}

void Demo::write(ContentWriter& out) const {
    // Identities are numbered in list order, so the same content always
    // writes the same bytes.
    std::unordered_map<const void*, uint64_t> identities;
    uint64_t next = 1;
    auto number = [&](const auto& list) {
        for (const auto& element : list) identities.emplace(element.get(), next++);
    };
    number(events);
    number(effects);
    number(shaders);
    number(textures);
    number(audio_samples);
    number(event_groups);
    number(fonts);
    number(font_textures);
    number(datas);
    number(models);
    number(scenes);
    out.set_identities(&identities);

    out.write_u64(list_element_count());
    write_list(out, events);
    write_list(out, effects);
    write_list(out, shaders);
    write_list(out, textures);
    write_list(out, audio_samples);
    write_list(out, event_groups);
    write_list(out, fonts);
    write_list(out, font_textures);
    write_list(out, datas);
    write_list(out, models);
    write_list(out, scenes);
    music.write(out);
    out.write_f32(end_beat);
    out.write_f32(bpm);
    out.write_f32(beat_offset);
    if (graph) {
        graph->write(out);
    } else {
        Nodes::Graph::make_default()->write(out);
    }
    out.set_identities(nullptr);
}

nlohmann::json Demo::to_json(bool external_files) const {
    nlohmann::json j;
    j["events"] = list_to_json(events, external_files);
    j["effects"] = list_to_json(effects, external_files);
    j["shaders"] = list_to_json(shaders, external_files);
    j["textures"] = list_to_json(textures, external_files);
    j["audio_samples"] = list_to_json(audio_samples, external_files);
    j["event_groups"] = list_to_json(event_groups, external_files);
    j["fonts"] = list_to_json(fonts, external_files);
    j["font_textures"] = list_to_json(font_textures, external_files);
    j["datas"] = list_to_json(datas, external_files);
    j["models"] = list_to_json(models, external_files);
    j["scenes"] = list_to_json(scenes, external_files);
    j["end_beat"] = end_beat;
    j["bpm"] = bpm;
    j["beat_offset"] = beat_offset;
    j["graph"] = graph ? graph->to_json(external_files) : Nodes::Graph::make_default()->to_json(external_files);
    if (external_files)
        write_file(kExternalMusicPath, music.data.data(), music.data.size());
    else
        j["music"] = music.to_json(false);
    return j;
}

void Demo::from_json(const nlohmann::json& json) {
    LoadHooks none;
    from_json_with(json, none);
}

void Demo::from_json_with(const nlohmann::json& json, LoadHooks& hooks) {
    list_from_json(json, "textures", textures, [&](Texture& t) {
        hooks.texture_decode(t);
        hooks.texture_read(t);
    });
    list_from_json(json, "shaders", shaders, [&](ShaderProgram& p) { hooks.shader_read(p); });
    list_from_json(json, "fonts", fonts, [&](Font& f) { hooks.font_read(f); });
    list_from_json(json, "font_textures", font_textures, ignore);
    list_from_json(json, "datas", datas, ignore);
    list_from_json(json, "models", models, [&](Model& m) { hooks.model_read(m); });
    list_from_json(json, "scenes", scenes, [&](Scene& s) { hooks.scene_read(s); });
    list_from_json(json, "effects", effects, ignore);
    list_from_json(json, "audio_samples", audio_samples, [&](AudioSample& s) {
        hooks.audio_sample_decode(s);
        hooks.audio_sample_read(s);
    });
    list_from_json(json, "event_groups", event_groups, ignore);
    list_from_json(json, "events", events, ignore);
    record_count = list_element_count();

    if (json.contains("music"))
        music.from_json(json.at("music"));
    else
        music = ByteBuffer::from_file(kExternalMusicPath);
    if (json.contains("end_beat")) end_beat = json.at("end_beat").get<float>();
    if (json.contains("bpm")) bpm = json.at("bpm").get<float>();
    if (json.contains("beat_offset")) beat_offset = json.at("beat_offset").get<float>();

    NameMaps names;
    fill_names(names.effects, effects, [](const Effect& e) { return e.name; });
    fill_names(names.shaders, shaders, [](const ShaderProgram& p) { return p.fragment_shader_filename; });
    fill_names(names.textures, textures, [](const Texture& t) { return t.name; });
    fill_names(names.audio_samples, audio_samples, [](const AudioSample& s) { return s.name; });
    fill_names(names.event_groups, event_groups, [](const EventGroup& g) { return g.name; });
    fill_names(names.events, events, [](const Event& e) { return e.name; });
    fill_names(names.fonts, fonts, [](const Font& f) { return f.name; });
    fill_names(names.font_textures, font_textures, [](const FontTexture& f) { return f.name; });
    fill_names(names.models, models, [](const Model& m) { return m.filename; });
    fill_names(names.scenes, scenes, [](const Scene& s) { return s.name; });

    for (auto& e : events) e->resolve_names(names);
    for (auto& e : effects) {
        e->resolve_names(names);
        hooks.effect_resolved(*e);
    }
    for (auto& g : event_groups) g->resolve_names(names);
    for (auto& f : font_textures) {
        f->resolve_names(names);
        hooks.font_texture_resolved(*f);
    }
    for (auto& s : scenes) s->resolve_names(names);

    if (json.contains("graph")) {
        register_content_node_types(*this);
        graph = std::make_unique<Nodes::Graph>();
        graph->from_json(json.at("graph"));
    }
    sound_texture = make_sound_texture();
    hooks.sound_texture_created(*sound_texture);
    hooks.progress(record_count, record_count);
}
