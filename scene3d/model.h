// Model: a glTF 2.0 document carried in the content as GLB.
//
// Binary body: filename (string), buffer (blob). A model named *.gltf is
// written as "<name>.glb" with the GLB serialization of its parsed document,
// so the reader always finds GLB. JSON form: {"filename", "buffer" (base64,
// optional: else the file named by filename is read)}.
//
// Reading parses the bytes (tinygltf) and validates every reference of the
// document against its lists and buffers before anything reads through it; a
// document that fails is kept for writing back but is inert (no geometry, no
// textures, no animation, draws nothing). The GPU objects are made afterwards
// by create_gpu_resources (model_gl.cpp), called by the loader.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <tiny_gltf.h>

#include "scene3d/animation.h"
#include "serialization/byte_buffer.h"
#include "serialization/serializable.h"

class Texture;

// The primitives of glTF mesh i own vaos[first .. first + count - 1].
struct MeshRange {
    int32_t first = 0;
    int32_t count = 0;
};

// What drawing needs of one primitive, worked out once at read.
struct PrimitiveDraw {
    int32_t material = -1;
    uint32_t mode = 4;              // GL primitive mode (0..6)
    bool indexed = false;
    int32_t count = 0;              // index count, or vertex count of an array draw
    uint32_t index_type = 0;        // GL_UNSIGNED_BYTE / SHORT / INT
    uint64_t index_offset = 0;      // bytes into the element buffer
};

// What drawing needs of one glTF node.
struct NodeDraw {
    glm::mat4 local{1.0f};          // "matrix", or T x R x S
    int32_t mesh = -1;
    bool ignore_shadow = false;     // extras
    int32_t render_pass = 1;
    int32_t tag = 0;
    std::vector<int32_t> children;
};

// Material values with the floors applied; texture entries are glTF image
// indices (-1: none).
struct MaterialDraw {
    glm::vec4 base_color{1.0f};
    bool has_base_color_texture = false;
    int32_t base_color_image = -1;
    float metallic = 1.0f, roughness = 1.0f;
    bool has_metallic_roughness_texture = false;
    int32_t metallic_roughness_image = -1;
    glm::vec3 emissive{0.0f};
    bool has_emissive_texture = false;
    int32_t emissive_image = -1;
    bool double_sided = false;
};

class Model : public ISerializable {
public:
    std::string filename;
    ByteBuffer buffer;
    tinygltf::Model document;

    // GPU side, one texture per glTF image (index = image index).
    std::vector<std::unique_ptr<Texture>> textures;
    std::vector<MeshRange> mesh_ranges;
    std::vector<uint32_t> vaos;
    std::vector<uint32_t> gl_buffers;  // one per glTF buffer; the VAOs refer to them
    std::vector<uint32_t> dense_buffers;  // sparse vertex attributes written out, one per use
    int32_t render_pass_count = 1;

    std::shared_ptr<Animation::Animations> animations;
    std::shared_ptr<Animation::Skeleton> skeleton;
    std::vector<Animation::BasePose> base_poses;
    std::vector<bool> animated_nodes;       // one per glTF node, all false
    std::vector<glm::mat4> node_matrices;   // used for animated nodes only
    uint32_t joint_matrix_buffer = 0;       // 6400 bytes, skinned models only

    bool parsed = false;   // tinygltf accepted the bytes
    bool valid = false;    // and every reference checked out
    std::string rejection; // why validation failed
    bool ready = false;    // GPU objects and animation data built

    // Built at read for a valid document.
    std::vector<PrimitiveDraw> primitive_draws;  // parallel to vaos
    std::vector<NodeDraw> node_draws;            // per glTF node
    std::vector<MaterialDraw> material_draws;    // per glTF material
    std::vector<int32_t> root_nodes;             // of the default scene; empty: draws nothing
    std::vector<int32_t> render_passes;          // distinct passes >= 1 in use, ascending

    static constexpr size_t kJointMatrixBufferBytes = 6400;

    Model();
    ~Model() override;
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;
    explicit Model(ContentReader& in);

    // Parse `buffer` (or the file `filename`) into `document`, print the
    // loader's messages, validate, and build the CPU-side draw and animation
    // data. External URIs resolve against `base_dir`; with `confine_files`
    // (content from a demo) only regular files below it are read.
    void parse_glb(const std::string& base_dir, bool confine_files = false);
    void parse_gltf_text(const std::string& base_dir);
    void parse_file(bool binary);

    // Texture records, GL buffers, VAOs, element bindings, the joint-matrix
    // block; prints "Number of VAOs: N" on std::clog; sets `ready`. Needs a
    // current context (model_gl.cpp). Does nothing GL-wise for an inert model
    // beyond marking it ready with nothing to draw.
    void create_gpu_resources();

    // The name and bytes the binary form stores (see the header comment).
    std::string stored_filename() const;
    std::vector<uint8_t> stored_bytes() const;

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    // read() is read_stored() then parse_stored(). The loader calls them apart
    // so that parsing (GL-free and thread-safe; messages through load_printf)
    // can run on a decode worker.
    void read(ContentReader& in) override;
    void read_stored(ContentReader& in);
    void parse_stored();

private:
    void clear_derived();
    void after_parse(bool ok, const std::string& warn, const std::string& err);
};
