#include "scene3d/model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <sstream>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "render/texture.h"
#include "scene3d/json_fields.h"
#include "scene3d/messages.h"
#include "scene3d/model_validation.h"
#include "serialization/data.h"
#include "serialization/load_messages.h"

Model::Model() = default;
Model::~Model() = default;
Model::Model(ContentReader& in) { read(in); }

namespace {

// Up to `length` characters from the last '.', as the project form has
// always compared them; empty when the name has no '.'.
std::string extension_of(const std::string& name, size_t length) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot, length);
}

// Any capitalisation: a name like "ship.Gltf" holds glTF text just as well,
// and storing its text unconverted would give the player bytes it cannot parse.
bool is_gltf_text_name(const std::string& name) {
    std::string ext = extension_of(name, 5);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".gltf";
}

bool is_glb_name(const std::string& name) {
    const std::string ext = extension_of(name, 4);
    return ext == ".glb" || ext == ".GLB";
}

bool extra_bool(const tinygltf::Value& extras, const char* key, bool fallback) {
    if (!extras.IsObject() || !extras.Has(key)) return fallback;
    const tinygltf::Value& v = extras.Get(key);
    return v.IsBool() ? v.Get<bool>() : fallback;
}

int32_t extra_int(const tinygltf::Value& extras, const char* key, int32_t fallback) {
    if (!extras.IsObject() || !extras.Has(key)) return fallback;
    const tinygltf::Value& v = extras.Get(key);
    if (v.IsInt()) return v.Get<int>();
    if (v.IsReal()) {
        const double r = v.Get<double>();
        if (!(r == r)) return fallback;
        return static_cast<int32_t>(std::clamp(r, double(std::numeric_limits<int32_t>::min()),
                                               double(std::numeric_limits<int32_t>::max())));
    }
    return fallback;
}

glm::mat4 local_matrix(const tinygltf::Node& node) {
    glm::mat4 m(1.0f);
    if (node.matrix.size() == 16) {
        for (int i = 0; i < 16; ++i) glm::value_ptr(m)[i] = static_cast<float>(node.matrix[i]);
        return m;
    }
    if (node.translation.size() == 3)
        m = glm::translate(m, glm::vec3(node.translation[0], node.translation[1], node.translation[2]));
    if (node.rotation.size() == 4)
        m *= glm::mat4_cast(glm::quat(static_cast<float>(node.rotation[3]), static_cast<float>(node.rotation[0]),
                                      static_cast<float>(node.rotation[1]), static_cast<float>(node.rotation[2])));
    if (node.scale.size() == 3) m = glm::scale(m, glm::vec3(node.scale[0], node.scale[1], node.scale[2]));
    return m;
}

int32_t source_image(const tinygltf::Model& d, int texture) {
    return texture >= 0 ? d.textures[texture].source : -1;
}

}  // namespace

// ---- parsing --------------------------------------------------------------

namespace {

// External URIs of content that came with the demo may only name regular
// files below the base folder: no "..", no devices or pipes that would block
// the loader, nothing elsewhere on the machine.
bool confined_file_exists(const std::string& path, void* user_data) {
    const std::filesystem::path p(path);
    if (p.is_absolute()) return false;
    for (const auto& part : p)
        if (part == "..") return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec) && tinygltf::FileExists(path, user_data);
}

bool confined_read_whole_file(std::vector<unsigned char>* out, std::string* err, const std::string& path,
                              void* user_data) {
    if (!confined_file_exists(path, user_data)) {
        if (err) *err += "refusing to read file outside the resources folder: " + path + "\n";
        return false;
    }
    return tinygltf::ReadWholeFile(out, err, path, user_data);
}

}  // namespace

void Model::parse_glb(const std::string& base_dir, bool confine_files) {
    tinygltf::TinyGLTF loader;
    if (confine_files) {
        tinygltf::FsCallbacks fs{};
        fs.FileExists = &confined_file_exists;
        fs.ExpandFilePath = &tinygltf::ExpandFilePath;
        fs.ReadWholeFile = &confined_read_whole_file;
        fs.WriteWholeFile = &tinygltf::WriteWholeFile;
        fs.user_data = nullptr;
        loader.SetFsCallbacks(fs);
    }
    std::string warn, err;
    document = tinygltf::Model();
    bool ok = false;
    if (buffer.size() > std::numeric_limits<unsigned int>::max())
        err = "model of " + std::to_string(buffer.size()) + " bytes is too large";
    else
        ok = loader.LoadBinaryFromMemory(&document, &err, &warn, buffer.data.data(),
                                         static_cast<unsigned int>(buffer.size()), base_dir);
    after_parse(ok, warn, err);
}

void Model::parse_gltf_text(const std::string& base_dir) {
    tinygltf::TinyGLTF loader;
    std::string warn, err;
    document = tinygltf::Model();
    bool ok = false;
    if (buffer.size() > std::numeric_limits<unsigned int>::max())
        err = "model of " + std::to_string(buffer.size()) + " bytes is too large";
    else
        ok = loader.LoadASCIIFromString(&document, &err, &warn, reinterpret_cast<const char*>(buffer.data.data()),
                                        static_cast<unsigned int>(buffer.size()), base_dir);
    after_parse(ok, warn, err);
}

void Model::parse_file(bool binary) {
    tinygltf::TinyGLTF loader;
    std::string warn, err;
    document = tinygltf::Model();
    const bool ok = binary ? loader.LoadBinaryFromFile(&document, &err, &warn, filename)
                           : loader.LoadASCIIFromFile(&document, &err, &warn, filename);
    after_parse(ok, warn, err);
}

void Model::clear_derived() {
    parsed = valid = ready = false;
    rejection.clear();
    mesh_ranges.clear();
    primitive_draws.clear();
    node_draws.clear();
    material_draws.clear();
    root_nodes.clear();
    render_passes.clear();
    render_pass_count = 1;
    animations = std::make_shared<Animation::Animations>();
    skeleton.reset();
    base_poses.clear();
    animated_nodes.clear();
    node_matrices.clear();
}

void Model::after_parse(bool ok, const std::string& warn, const std::string& err) {
    using namespace scene3d_messages;
    clear_derived();
    if (!warn.empty()) load_printf(kWarn, warn.c_str());
    if (!err.empty()) load_printf(kErr, err.c_str());
    if (!ok) {
        load_printf("%s", kParseFailed);
        document = tinygltf::Model();
        return;
    }
    parsed = true;

    rejection = validate_gltf(document);
    if (!rejection.empty()) {
        load_printf(kUnusable, filename.c_str(), rejection.c_str());
        return;
    }
    valid = true;
    const tinygltf::Model& d = document;

    for (const tinygltf::Mesh& mesh : d.meshes) {
        mesh_ranges.push_back({static_cast<int32_t>(primitive_draws.size()), static_cast<int32_t>(mesh.primitives.size())});
        for (const tinygltf::Primitive& p : mesh.primitives) {
            PrimitiveDraw draw;
            draw.material = p.material;
            draw.mode = static_cast<uint32_t>(p.mode);
            if (p.indices >= 0) {
                const tinygltf::Accessor& a = d.accessors[p.indices];
                draw.indexed = true;
                draw.count = static_cast<int32_t>(a.count);
                draw.index_type = static_cast<uint32_t>(a.componentType);  // glTF uses the GL enumerants
                // A sparse index list gets an element buffer of its own,
                // written out from its start.
                draw.index_offset = a.sparse.isSparse ? 0 : d.bufferViews[a.bufferView].byteOffset + a.byteOffset;
            } else if (!p.attributes.empty()) {
                // std::map orders names byte-wise, which is the order stored
                // content was drawn with.
                draw.count = static_cast<int32_t>(d.accessors[p.attributes.begin()->second].count);
            }
            primitive_draws.push_back(draw);
        }
    }

    for (const tinygltf::Material& m : d.materials) {
        MaterialDraw draw;
        const auto& pbr = m.pbrMetallicRoughness;
        if (pbr.baseColorFactor.size() == 4)
            draw.base_color = glm::vec4(pbr.baseColorFactor[0], pbr.baseColorFactor[1], pbr.baseColorFactor[2],
                                        pbr.baseColorFactor[3]);
        draw.has_base_color_texture = pbr.baseColorTexture.index >= 0;
        draw.base_color_image = source_image(d, pbr.baseColorTexture.index);
        draw.metallic = pbr.metallicFactor <= 0.0 ? 1.0f : static_cast<float>(pbr.metallicFactor);
        draw.roughness = pbr.roughnessFactor <= 0.0 ? 1.0f : static_cast<float>(pbr.roughnessFactor);
        draw.roughness = std::max(draw.roughness, 0.04f);
        draw.has_metallic_roughness_texture = pbr.metallicRoughnessTexture.index >= 0;
        draw.metallic_roughness_image = source_image(d, pbr.metallicRoughnessTexture.index);
        if (m.emissiveFactor.size() == 3)
            draw.emissive = glm::vec3(m.emissiveFactor[0], m.emissiveFactor[1], m.emissiveFactor[2]);
        draw.has_emissive_texture = m.emissiveTexture.index >= 0;
        draw.emissive_image = source_image(d, m.emissiveTexture.index);
        draw.double_sided = m.doubleSided;
        material_draws.push_back(draw);
    }

    for (const tinygltf::Node& n : d.nodes) {
        NodeDraw draw;
        draw.local = local_matrix(n);
        draw.mesh = n.mesh;
        draw.ignore_shadow = extra_bool(n.extras, "ignore_shadow", false);
        draw.render_pass = extra_int(n.extras, "render_pass", 1);
        draw.tag = extra_int(n.extras, "tag", 0);
        draw.children = n.children;
        node_draws.push_back(std::move(draw));
    }

    // Only the passes some reachable mesh node is drawn in are walked, so a
    // node claiming pass 2^31 costs one traversal, not two billion.
    if (d.defaultScene >= 0) {
        root_nodes = d.scenes[d.defaultScene].nodes;
        std::set<int32_t> passes;
        std::vector<int32_t> pending(root_nodes.begin(), root_nodes.end());
        while (!pending.empty()) {
            const NodeDraw& node = node_draws[pending.back()];
            pending.pop_back();
            render_pass_count = std::max(render_pass_count, node.render_pass);
            if (node.mesh >= 0 && node.render_pass >= 1) passes.insert(node.render_pass);
            pending.insert(pending.end(), node.children.begin(), node.children.end());
        }
        render_passes.assign(passes.begin(), passes.end());
    }

    Animation::Built built = Animation::build(d);
    animations = std::move(built.animations);
    skeleton = std::move(built.skeleton);
    base_poses = std::move(built.base_poses);
    animated_nodes.assign(d.nodes.size(), false);
    node_matrices.assign(d.nodes.size(), glm::mat4(1.0f));
}

// ---- stored forms -----------------------------------------------------------

std::string Model::stored_filename() const {
    return parsed && is_gltf_text_name(filename) ? filename + ".glb" : filename;
}

namespace {

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t get_u32(const std::vector<uint8_t>& in, size_t at) {
    return static_cast<uint32_t>(in[at]) | (static_cast<uint32_t>(in[at + 1]) << 8) |
           (static_cast<uint32_t>(in[at + 2]) << 16) | (static_cast<uint32_t>(in[at + 3]) << 24);
}

// The glTF writer turns an element with nothing to say (a bare group node,
// a default material or sampler, an empty scene) into null, which its own
// reader then refuses for the whole document. Such elements are written back
// as the empty objects they were.
std::vector<uint8_t> restore_empty_objects(std::vector<uint8_t> glb) {
    if (glb.size() < 20 || std::memcmp(glb.data(), "glTF", 4) != 0 || std::memcmp(glb.data() + 16, "JSON", 4) != 0)
        return glb;
    const uint32_t json_bytes = get_u32(glb, 12);
    if (json_bytes > glb.size() - 20) return glb;
    nlohmann::json root = nlohmann::json::parse(glb.begin() + 20, glb.begin() + 20 + json_bytes, nullptr, false);
    if (!root.is_object()) return glb;
    bool changed = false;
    for (auto& [key, list] : root.items()) {
        if (!list.is_array()) continue;
        for (nlohmann::json& element : list)
            if (element.is_null()) {
                element = nlohmann::json::object();
                changed = true;
            }
    }
    if (!changed) return glb;
    std::string json = root.dump();
    while (json.size() % 4) json.push_back(' ');
    const std::vector<uint8_t> rest(glb.begin() + 20 + json_bytes, glb.end());
    std::vector<uint8_t> out;
    out.insert(out.end(), {'g', 'l', 'T', 'F'});
    put_u32(out, 2);
    put_u32(out, static_cast<uint32_t>(20 + json.size() + rest.size()));
    put_u32(out, static_cast<uint32_t>(json.size()));
    out.insert(out.end(), {'J', 'S', 'O', 'N'});
    out.insert(out.end(), json.begin(), json.end());
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

}  // namespace

std::vector<uint8_t> Model::stored_bytes() const {
    // A glTF text that never parsed is kept as it came rather than replaced
    // by the GLB of an empty document.
    if (!parsed || !is_gltf_text_name(filename)) return buffer.data;
    tinygltf::TinyGLTF writer;
    std::ostringstream glb;
    writer.WriteGltfSceneToStream(&document, glb, false, true);
    const std::string bytes = glb.str();
    return restore_empty_objects(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

nlohmann::json Model::to_json(bool external_files) const {
    nlohmann::json j = {{"filename", filename}};
    payload_to_json(j, "buffer", buffer, filename, external_files);
    return j;
}

void Model::write(ContentWriter& out) const {
    out.write_string(stored_filename());
    if (parsed && is_gltf_text_name(filename)) {
        const std::vector<uint8_t> glb = stored_bytes();
        out.write_blob(glb.data(), glb.size());
    } else {
        buffer.write(out);
    }
}

void Model::from_json(const nlohmann::json& json) {
    filename = scene3d_json::text(json, "model", "filename");
    const bool embedded = json.contains("buffer");
    if (embedded)
        buffer.from_json(json.at("buffer"));
    else
        buffer = ByteBuffer::from_file(filename);
    if (filename.rfind('.') == std::string::npos) {
        std::printf(scene3d_messages::kNoExtension, filename.c_str());
        document = tinygltf::Model();
        clear_derived();
        return;
    }
    const bool binary = is_glb_name(filename);
    if (!embedded)
        parse_file(binary);
    else if (binary)
        parse_glb("");
    else
        parse_gltf_text("resources");
}

void Model::read(ContentReader& in) {
    read_stored(in);
    parse_stored();
}

void Model::read_stored(ContentReader& in) {
    filename = in.read_string("model filename");
    buffer.read(in);
}

void Model::parse_stored() { parse_glb("resources", true); }
