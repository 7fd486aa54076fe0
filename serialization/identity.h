// Identities link the records of one content stream. Every list element is
// stored behind a uint64 identity; a reference field stores its target's
// identity (0 for none). Reading fills an IdentityMap; each record's
// resolve_references looks its stored identities up there after all lists are
// read. The JSON form refers by name instead, through NameMaps.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

class ISerializable;
class Effect;
class ShaderProgram;
class Texture;
class AudioSample;
class EventGroup;
class Event;
class Font;
class FontTexture;
class Model;
class Scene;

// identity -> record. A later duplicate identity overwrites an earlier one.
using IdentityMap = std::unordered_map<uint64_t, ISerializable*>;

// The record stored under `id`, if it has type T; null for 0, for an unknown
// identity, and for an identity naming a record of another kind.
template <typename T>
T* resolve_identity(const IdentityMap& map, uint64_t id) {
    if (id == 0) return nullptr;
    auto it = map.find(id);
    return it == map.end() ? nullptr : dynamic_cast<T*>(it->second);
}

// name -> record for the JSON form. When names repeat, the first record of
// that name wins. Shader programs are named by their fragment_shader_filename,
// models by their filename.
struct NameMaps {
    std::unordered_map<std::string, Effect*> effects;
    std::unordered_map<std::string, ShaderProgram*> shaders;
    std::unordered_map<std::string, Texture*> textures;
    std::unordered_map<std::string, AudioSample*> audio_samples;
    std::unordered_map<std::string, EventGroup*> event_groups;
    std::unordered_map<std::string, Event*> events;
    std::unordered_map<std::string, Font*> fonts;
    std::unordered_map<std::string, FontTexture*> font_textures;
    std::unordered_map<std::string, Model*> models;
    std::unordered_map<std::string, Scene*> scenes;
};

template <typename T>
T* resolve_name(const std::unordered_map<std::string, T*>& map, const std::string& name) {
    auto it = map.find(name);
    return it == map.end() ? nullptr : it->second;
}
