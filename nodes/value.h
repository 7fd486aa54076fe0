// Nodes::Value and Nodes::MaybeValue: the tagged values that every node port,
// output, state slot and type default holds.
//
// A Value is a kind number, a 64-byte payload laid out from its first byte as
// the kind says, and a text used only by the "string" kind. The accessors read
// and write the payload by component index and never touch bytes past the 64;
// a component index past the payload reads 0 and writes nothing, so a run
// function may interpret any value as any kind without risk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "serialization/serializable.h"

namespace Nodes {

// Kind numbers of Value::type. Stored in content as int32; unknown numbers are
// kept as they are and carry a plain 64-byte payload.
enum ValueKind : int32_t {
    kind_bool = 0,        // first byte, 0 or 1
    kind_int = 1,         // one int32
    kind_float = 2,       // one float
    kind_string = 3,      // the text; payload unused
    kind_vec2 = 4,
    kind_vec3 = 5,
    kind_vec4 = 6,        // colours: r, g, b, a
    kind_ivec2 = 7,       // x, y (or width, height)
    kind_ivec3 = 8,
    kind_ivec4 = 9,
    kind_mat2 = 10,
    kind_mat3 = 11,
    kind_mat4 = 12,
    kind_texture2D = 13,  // GL texture name (uint32)
    kind_texture3D = 14,  // no node type uses it
    kind_vao = 15,        // GL vertex array name (uint32); also framebuffer names in state
    kind_buffer_ref = 16, // pointer to a CPU Buffer in the first 8 bytes; state slots only, never stored
};

inline constexpr int kValueKindNameCount = 16;
// "bool", "int", ..., "vao" indexed by kind number; kind 16 has no name.
extern const char* const kValueKindNames[kValueKindNameCount];
// The name of `kind`, or "" for kind 16 and numbers outside the table.
const char* value_kind_name(int32_t kind);
// Number of 32-bit components of the payload of `kind` (bool counts 1,
// string 0, buffer_ref 2, unknown kinds 0).
int value_kind_components(int32_t kind);

inline constexpr size_t kValuePayloadBytes = 64;

class Value : public ISerializable {
public:
    alignas(8) uint8_t data[kValuePayloadBytes] = {};
    std::string text;
    int32_t type = kind_bool;

    Value() = default;
    Value(const Value&) = default;
    Value(Value&&) noexcept = default;
    Value& operator=(const Value&) = default;
    Value& operator=(Value&&) noexcept = default;
    ~Value() override = default;

    // Payload readers by 32-bit component index (0..15).
    float as_float(size_t component = 0) const { return read_component<float>(component); }
    int32_t as_int(size_t component = 0) const { return read_component<int32_t>(component); }
    uint32_t as_uint(size_t component = 0) const { return read_component<uint32_t>(component); }
    bool as_bool() const { return data[0] != 0; }
    void* as_pointer() const {
        void* p;
        std::memcpy(&p, data, sizeof p);
        return p;
    }

    void set_float(size_t component, float v) { write_component(component, v); }
    void set_int(size_t component, int32_t v) { write_component(component, v); }
    void set_uint(size_t component, uint32_t v) { write_component(component, v); }

    // Back to the fresh state: kind bool, zero payload, empty text.
    void clear();

    bool operator==(const Value& o) const {
        return type == o.type && text == o.text && std::memcmp(data, o.data, sizeof data) == 0;
    }

    // JSON: {"type": kind, "value": ...}. Binary: type, then the text for the
    // string kind or the 64 payload bytes for every other kind.
    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;

private:
    template <typename T>
    T read_component(size_t i) const {
        T v{};
        if (i < kValuePayloadBytes / 4) std::memcpy(&v, data + i * 4, 4);
        return v;
    }
    template <typename T>
    void write_component(size_t i, T v) {
        if (i < kValuePayloadBytes / 4) std::memcpy(data + i * 4, &v, 4);
    }
};

Value make_bool(bool v);
Value make_int(int32_t v);
Value make_float(float v);
Value make_string(std::string text);
Value make_vec2(float x, float y);
Value make_vec3(float x, float y, float z);
Value make_vec4(float x, float y, float z, float w);
Value make_ivec2(int32_t x, int32_t y);
Value make_ivec3(int32_t x, int32_t y, int32_t z);
Value make_ivec4(int32_t x, int32_t y, int32_t z, int32_t w);
Value make_texture2D(uint32_t gl_texture);
Value make_vao(uint32_t gl_name);
Value make_buffer_ref(void* buffer);

class MaybeValue : public ISerializable {
public:
    Value value;  // all zero while absent
    bool hasValue = false;

    MaybeValue() = default;
    MaybeValue(const MaybeValue&) = default;
    MaybeValue(MaybeValue&&) noexcept = default;
    MaybeValue& operator=(const MaybeValue&) = default;
    MaybeValue& operator=(MaybeValue&&) noexcept = default;
    ~MaybeValue() override = default;

    static MaybeValue of(Value v) {
        MaybeValue m;
        m.set(std::move(v));
        return m;
    }

    // Copies the value and marks it present.
    void set(const Value& v) {
        value = v;
        hasValue = true;
    }
    void set(Value&& v) {
        value = std::move(v);
        hasValue = true;
    }
    // Absent again, with an all-zero value.
    void reset() {
        value.clear();
        hasValue = false;
    }

    bool operator==(const MaybeValue& o) const { return hasValue == o.hasValue && value == o.value; }

    // JSON: {"hasValue": b, "value": {...}} (value only when present).
    // Binary: hasValue byte, then the value body when non-zero.
    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};

}  // namespace Nodes
