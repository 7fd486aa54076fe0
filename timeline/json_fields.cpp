#include "timeline/json_fields.h"

#include <cmath>
#include <limits>

#include "serialization/content_error.h"

namespace timeline_json {

namespace {

[[noreturn]] void wrong_type(const char* record, const char* key, const char* expected) {
    throw ContentError(std::string("content error while reading ") + record + " JSON: \"" + key + "\" must be " +
                       expected);
}

}  // namespace

void require_object(const nlohmann::json& json, const char* record) {
    if (!json.is_object())
        throw ContentError(std::string("content error while reading ") + record + " JSON: expected an object");
}

float get_float(const nlohmann::json& json, const char* key, float fallback, const char* record) {
    auto it = json.find(key);
    if (it == json.end()) return fallback;
    if (!it->is_number()) wrong_type(record, key, "a number");
    return it->get<float>();
}

int32_t get_int(const nlohmann::json& json, const char* key, int32_t fallback, const char* record) {
    auto it = json.find(key);
    if (it == json.end()) return fallback;
    if (it->is_number_integer()) {
        // Compare in the widest type so that huge numbers are caught, not wrapped.
        if (it->is_number_unsigned()) {
            const uint64_t v = it->get<uint64_t>();
            if (v <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return static_cast<int32_t>(v);
        } else {
            const int64_t v = it->get<int64_t>();
            if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
                return static_cast<int32_t>(v);
        }
        wrong_type(record, key, "an integer in the 32-bit range");
    }
    if (it->is_number_float()) {
        // Authoring tools may write 1.0 for 1; accept whole numbers only.
        const double v = it->get<double>();
        if (std::trunc(v) == v && v >= std::numeric_limits<int32_t>::min() &&
            v <= std::numeric_limits<int32_t>::max())
            return static_cast<int32_t>(v);
    }
    wrong_type(record, key, "an integer in the 32-bit range");
}

bool get_bool(const nlohmann::json& json, const char* key, bool fallback, const char* record) {
    auto it = json.find(key);
    if (it == json.end()) return fallback;
    if (!it->is_boolean()) wrong_type(record, key, "a boolean");
    return it->get<bool>();
}

std::string get_string(const nlohmann::json& json, const char* key, const char* record) {
    auto it = json.find(key);
    if (it == json.end()) return {};
    if (!it->is_string()) wrong_type(record, key, "a string");
    return it->get<std::string>();
}

const nlohmann::json* get_array(const nlohmann::json& json, const char* key, const char* record) {
    auto it = json.find(key);
    if (it == json.end()) return nullptr;
    if (!it->is_array()) wrong_type(record, key, "an array");
    return &*it;
}

const nlohmann::json* get_object(const nlohmann::json& json, const char* key, const char* record) {
    auto it = json.find(key);
    if (it == json.end()) return nullptr;
    if (!it->is_object()) wrong_type(record, key, "an object");
    return &*it;
}

}  // namespace timeline_json
