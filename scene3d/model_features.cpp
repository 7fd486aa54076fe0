#include "scene3d/model_features.h"

#include <cstring>

#include <nlohmann/json.hpp>

namespace {

constexpr int kFloat = 5126;

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// The JSON of a GLB (its first chunk) or of a glTF text; discarded when neither.
nlohmann::json gltf_json(const std::vector<uint8_t>& bytes) {
    const uint8_t* begin = bytes.data();
    const uint8_t* end = bytes.data() + bytes.size();
    if (bytes.size() >= 4 && std::memcmp(begin, "glTF", 4) == 0) {
        if (bytes.size() < 20) return nlohmann::json::value_t::discarded;
        const uint32_t length = le32(begin + 12);
        if (le32(begin + 16) != 0x4E4F534Au || length > bytes.size() - 20) return nlohmann::json::value_t::discarded;
        begin += 20;
        end = begin + length;
    }
    return nlohmann::json::parse(begin, end, nullptr, false);
}

const char* component_name(int type) {
    switch (type) {
        case 5120: return "signed byte";
        case 5121: return "unsigned byte";
        case 5122: return "signed short";
        case 5123: return "unsigned short";
        case 5125: return "unsigned int";
        default: return "an integer type";
    }
}

}  // namespace

std::vector<std::string> undrawable_gltf_features(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> lines;
    const nlohmann::json j = gltf_json(bytes);
    if (!j.is_object()) return lines;

    if (auto it = j.find("extensionsRequired"); it != j.end() && it->is_array())
        for (const auto& name : *it)
            if (name.is_string())
                lines.push_back("needs the glTF extension " + name.get<std::string>() +
                                ", which this player cannot draw");

    // Attributes the renderer feeds to the shader as floats; integers there
    // (quantized positions, normals, coordinates) would arrive unscaled.
    const auto accessors = j.find("accessors");
    const auto meshes = j.find("meshes");
    if (accessors == j.end() || !accessors->is_array() || meshes == j.end() || !meshes->is_array()) return lines;
    for (size_t m = 0; m < meshes->size(); ++m) {
        const auto& mesh = (*meshes)[m];
        if (!mesh.is_object() || !mesh.contains("primitives") || !mesh["primitives"].is_array()) continue;
        for (const auto& primitive : mesh["primitives"]) {
            if (!primitive.is_object() || !primitive.contains("attributes") || !primitive["attributes"].is_object())
                continue;
            for (const char* name : {"POSITION", "NORMAL", "TEXCOORD_0", "WEIGHTS_0"}) {
                const auto attribute = primitive["attributes"].find(name);
                if (attribute == primitive["attributes"].end() || !attribute->is_number_unsigned()) continue;
                const size_t index = attribute->get<size_t>();
                if (index >= accessors->size() || !(*accessors)[index].is_object()) continue;
                const auto& accessor = (*accessors)[index];
                const auto component = accessor.find("componentType");
                if (component == accessor.end() || !component->is_number_integer()) continue;
                const int type = component->get<int>();
                if (type == kFloat) continue;
                lines.push_back(std::string("stores ") + name + " of mesh " + std::to_string(m) + " as " +
                                component_name(type) + " (quantized), which this player cannot draw");
                return lines;  // one line says enough; a quantized file is quantized throughout
            }
        }
    }
    return lines;
}
