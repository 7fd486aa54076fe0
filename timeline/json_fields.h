// Reading optional fields of the timeline records' JSON form. An absent key
// gives the fallback; a key present with the wrong JSON type is a ContentError
// naming the record and the key (the JSON form is as untrusted as the binary).
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace timeline_json {

// Throws ContentError unless `json` is an object.
void require_object(const nlohmann::json& json, const char* record);

float get_float(const nlohmann::json& json, const char* key, float fallback, const char* record);
int32_t get_int(const nlohmann::json& json, const char* key, int32_t fallback, const char* record);
bool get_bool(const nlohmann::json& json, const char* key, bool fallback, const char* record);
std::string get_string(const nlohmann::json& json, const char* key, const char* record);

// The array or object under `key`, or null when absent; throws when present
// with another type.
const nlohmann::json* get_array(const nlohmann::json& json, const char* key, const char* record);
const nlohmann::json* get_object(const nlohmann::json& json, const char* key, const char* record);

}  // namespace timeline_json
