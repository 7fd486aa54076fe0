#include "nodes/json_read.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "serialization/content_error.h"

namespace Nodes::json_read {
namespace {

[[noreturn]] void wrong(const char* what, const char* expected, const nlohmann::json& j) {
    throw ContentError(std::string("graph JSON: ") + what + " should be " + expected + ", found " + j.type_name());
}

int32_t saturate(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (d <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(d);
}

}  // namespace

int32_t i32(const nlohmann::json& j, const char* what) {
    if (j.is_number_unsigned()) {
        const uint64_t v = j.get<uint64_t>();
        return v > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                                              : static_cast<int32_t>(v);
    }
    if (j.is_number_integer()) {
        const int64_t v = j.get<int64_t>();
        if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
        if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
        return static_cast<int32_t>(v);
    }
    if (j.is_number_float()) return saturate(j.get<double>());
    if (j.is_boolean()) return j.get<bool>() ? 1 : 0;
    wrong(what, "an integer", j);
}

float f32(const nlohmann::json& j, const char* what) {
    if (j.is_null()) return std::numeric_limits<float>::quiet_NaN();
    if (!j.is_number()) wrong(what, "a number", j);
    const double d = j.get<double>();
    if (d > FLT_MAX) return std::numeric_limits<float>::infinity();
    if (d < -FLT_MAX) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

bool boolean(const nlohmann::json& j, const char* what) {
    if (j.is_boolean()) return j.get<bool>();
    if (j.is_number()) return j.get<double>() != 0.0;
    wrong(what, "a boolean", j);
}

std::string string(const nlohmann::json& j, const char* what) {
    if (!j.is_string()) wrong(what, "a string", j);
    return j.get<std::string>();
}

const nlohmann::json& array(const nlohmann::json& j, const char* what) {
    if (!j.is_array()) wrong(what, "an array", j);
    return j;
}

const nlohmann::json* member(const nlohmann::json& j, const char* key) {
    if (!j.is_object()) return nullptr;
    auto it = j.find(key);
    return it == j.end() ? nullptr : &*it;
}

}  // namespace Nodes::json_read
