#include "nodes/value.h"

#include <algorithm>

#include "nodes/json_read.h"

namespace Nodes {

const char* const kValueKindNames[kValueKindNameCount] = {
    "bool", "int",  "float", "string", "vec2", "vec3",      "vec4",      "ivec2",
    "ivec3", "ivec4", "mat2", "mat3",   "mat4", "texture2D", "texture3D", "vao",
};

const char* value_kind_name(int32_t kind) {
    return kind >= 0 && kind < kValueKindNameCount ? kValueKindNames[kind] : "";
}

int value_kind_components(int32_t kind) {
    switch (kind) {
        case kind_bool:
        case kind_int:
        case kind_float:
        case kind_texture2D:
        case kind_vao: return 1;
        case kind_vec2:
        case kind_ivec2:
        case kind_buffer_ref: return 2;
        case kind_vec3:
        case kind_ivec3: return 3;
        case kind_vec4:
        case kind_ivec4:
        case kind_mat2: return 4;
        case kind_mat3: return 9;
        case kind_mat4: return 16;
        default: return 0;
    }
}

namespace {

bool is_integer_kind(int32_t kind) {
    return kind == kind_int || kind == kind_ivec2 || kind == kind_ivec3 || kind == kind_ivec4;
}
bool is_float_array_kind(int32_t kind) { return kind >= kind_vec2 && kind <= kind_mat4 && !is_integer_kind(kind); }
bool is_gl_name_kind(int32_t kind) { return kind == kind_texture2D || kind == kind_vao; }

}  // namespace

void Value::clear() {
    std::memset(data, 0, sizeof data);
    text.clear();
    type = kind_bool;
}

Value make_bool(bool v) {
    Value r;
    r.type = kind_bool;
    r.data[0] = v ? 1 : 0;
    return r;
}
Value make_int(int32_t v) {
    Value r;
    r.type = kind_int;
    r.set_int(0, v);
    return r;
}
Value make_float(float v) {
    Value r;
    r.type = kind_float;
    r.set_float(0, v);
    return r;
}
Value make_string(std::string text) {
    Value r;
    r.type = kind_string;
    r.text = std::move(text);
    return r;
}
Value make_vec2(float x, float y) {
    Value r = make_float(x);
    r.type = kind_vec2;
    r.set_float(1, y);
    return r;
}
Value make_vec3(float x, float y, float z) {
    Value r = make_vec2(x, y);
    r.type = kind_vec3;
    r.set_float(2, z);
    return r;
}
Value make_vec4(float x, float y, float z, float w) {
    Value r = make_vec3(x, y, z);
    r.type = kind_vec4;
    r.set_float(3, w);
    return r;
}
Value make_ivec2(int32_t x, int32_t y) {
    Value r = make_int(x);
    r.type = kind_ivec2;
    r.set_int(1, y);
    return r;
}
Value make_ivec3(int32_t x, int32_t y, int32_t z) {
    Value r = make_ivec2(x, y);
    r.type = kind_ivec3;
    r.set_int(2, z);
    return r;
}
Value make_ivec4(int32_t x, int32_t y, int32_t z, int32_t w) {
    Value r = make_ivec3(x, y, z);
    r.type = kind_ivec4;
    r.set_int(3, w);
    return r;
}
Value make_texture2D(uint32_t gl_texture) {
    Value r;
    r.type = kind_texture2D;
    r.set_uint(0, gl_texture);
    return r;
}
Value make_vao(uint32_t gl_name) {
    Value r;
    r.type = kind_vao;
    r.set_uint(0, gl_name);
    return r;
}
Value make_buffer_ref(void* buffer) {
    Value r;
    r.type = kind_buffer_ref;
    std::memcpy(r.data, &buffer, sizeof buffer);
    return r;
}

// ---- JSON -------------------------------------------------------------------

nlohmann::json Value::to_json(bool) const {
    nlohmann::json j = nlohmann::json::object();
    j["type"] = type;
    const int n = value_kind_components(type);
    if (type == kind_bool) {
        j["value"] = as_bool();
    } else if (type == kind_int) {
        j["value"] = as_int();
    } else if (type == kind_float) {
        j["value"] = as_float();
    } else if (type == kind_string) {
        j["value"] = text;
    } else if (is_integer_kind(type)) {
        auto a = nlohmann::json::array();
        for (int i = 0; i < n; ++i) a.push_back(as_int(i));
        j["value"] = std::move(a);
    } else if (is_float_array_kind(type)) {
        auto a = nlohmann::json::array();
        for (int i = 0; i < n; ++i) a.push_back(as_float(i));
        j["value"] = std::move(a);
    } else if (is_gl_name_kind(type)) {
        j["value"] = as_uint();
    }
    // texture3D, buffer references and unknown kinds carry nothing worth keeping.
    return j;
}

void Value::from_json(const nlohmann::json& j) {
    clear();
    if (const auto* t = json_read::member(j, "type")) type = json_read::i32(*t, "value \"type\"");
    const nlohmann::json* v = json_read::member(j, "value");
    if (!v) return;
    if (type == kind_bool) {
        data[0] = json_read::boolean(*v, "bool value") ? 1 : 0;
    } else if (type == kind_int) {
        set_int(0, json_read::i32(*v, "int value"));
    } else if (type == kind_float) {
        set_float(0, json_read::f32(*v, "float value"));
    } else if (type == kind_string) {
        text = json_read::string(*v, "string value");
    } else if (is_integer_kind(type) || is_float_array_kind(type)) {
        const auto& a = json_read::array(*v, "vector value");
        const size_t n = std::min(a.size(), static_cast<size_t>(value_kind_components(type)));
        for (size_t i = 0; i < n; ++i) {
            if (is_integer_kind(type))
                set_int(i, json_read::i32(a[i], "vector component"));
            else
                set_float(i, json_read::f32(a[i], "vector component"));
        }
    } else if (is_gl_name_kind(type)) {
        set_int(0, json_read::i32(*v, "GL name value"));
    }
}

nlohmann::json MaybeValue::to_json(bool external_files) const {
    nlohmann::json j = nlohmann::json::object();
    j["hasValue"] = hasValue;
    if (hasValue) j["value"] = value.to_json(external_files);
    return j;
}

void MaybeValue::from_json(const nlohmann::json& j) {
    reset();
    if (const auto* h = json_read::member(j, "hasValue")) hasValue = json_read::boolean(*h, "\"hasValue\"");
    if (!hasValue) return;
    if (const auto* v = json_read::member(j, "value")) value.from_json(*v);
}

// ---- binary -----------------------------------------------------------------

void Value::write(ContentWriter& out) const {
    out.write_i32(type);
    if (type == kind_string) {
        out.write_string(text);
    } else if (type == kind_buffer_ref) {
        // An address means nothing in another process.
        static const uint8_t zeros[kValuePayloadBytes] = {};
        out.write_raw(zeros, sizeof zeros);
    } else {
        out.write_raw(data, sizeof data);
    }
}

void Value::read(ContentReader& in) {
    clear();
    type = in.read_i32("node value kind");
    if (type == kind_string) {
        text = in.read_string("node value text");
    } else {
        in.read_bytes(data, sizeof data, "node value payload");
        // Buffer references only ever live in state slots; one coming from a
        // stream would be a forged address.
        if (type == kind_buffer_ref) std::memset(data, 0, sizeof data);
    }
}

void MaybeValue::write(ContentWriter& out) const {
    out.write_bool(hasValue);
    if (hasValue) value.write(out);
}

void MaybeValue::read(ContentReader& in) {
    reset();
    hasValue = in.read_bool("node value presence");
    if (hasValue) value.read(in);
}

}  // namespace Nodes
