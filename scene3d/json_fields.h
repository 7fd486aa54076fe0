// Small readers for the JSON project form of the 3D records. A field of the
// wrong type or a missing required field becomes a ContentError naming the
// record and the key.
#pragma once

#include <string>

#include <glm/glm.hpp>
#include <nlohmann/json.hpp>

#include "serialization/content_error.h"

namespace scene3d_json {

inline const nlohmann::json& field(const nlohmann::json& object, const char* record, const char* key) {
    if (!object.is_object() || !object.contains(key))
        throw ContentError(std::string(record) + ": missing \"" + key + "\"");
    return object.at(key);
}

inline float number(const nlohmann::json& object, const char* record, const char* key) {
    const nlohmann::json& v = field(object, record, key);
    if (!v.is_number()) throw ContentError(std::string(record) + ": \"" + key + "\" is not a number");
    return v.get<float>();
}

inline std::string text(const nlohmann::json& object, const char* record, const char* key) {
    const nlohmann::json& v = field(object, record, key);
    if (!v.is_string()) throw ContentError(std::string(record) + ": \"" + key + "\" is not a string");
    return v.get<std::string>();
}

inline bool flag_or(const nlohmann::json& object, const char* record, const char* key, bool fallback) {
    if (!object.contains(key)) return fallback;
    const nlohmann::json& v = object.at(key);
    if (!v.is_boolean()) throw ContentError(std::string(record) + ": \"" + key + "\" is not a boolean");
    return v.get<bool>();
}

inline glm::vec3 vec3(const nlohmann::json& object, const char* record, const char* key) {
    const nlohmann::json& v = field(object, record, key);
    if (!v.is_array() || v.size() != 3 || !v[0].is_number() || !v[1].is_number() || !v[2].is_number())
        throw ContentError(std::string(record) + ": \"" + key + "\" is not an array of 3 numbers");
    return {v[0].get<float>(), v[1].get<float>(), v[2].get<float>()};
}

inline nlohmann::json from_vec3(const glm::vec3& v) { return nlohmann::json::array({v.x, v.y, v.z}); }

}  // namespace scene3d_json
