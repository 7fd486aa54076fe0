// Model loading on the CPU side: the bytes as a GLB container (as the player
// reads models) and as glTF text (as the packer imports them). Nothing may
// crash, hang or allocate without bound, and a document that passes
// validation must keep the promises the GPU upload and the renderer rely on:
// every index names an existing entry and every draw stays inside its buffer.
// A glTF text that is valid must also stay valid through the GLB the packer
// stores for it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "scene3d/model.h"
#include "scene3d/model_validation.h"

namespace {

[[noreturn]] void broken(const Model& m, const std::string& promise) {
    std::fprintf(stderr, "model %s passed validation but %s\n", m.filename.c_str(), promise.c_str());
    std::abort();
}

bool in_range(int32_t index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

void check_promises(const Model& m) {
    if (!m.valid) return;
    const tinygltf::Model& d = m.document;
    size_t primitives = 0;
    for (const auto& mesh : d.meshes) primitives += mesh.primitives.size();
    if (m.primitive_draws.size() != primitives) broken(m, "has a draw count unlike its primitive count");
    if (m.mesh_ranges.size() != d.meshes.size()) broken(m, "has a mesh range count unlike its mesh count");
    if (m.node_draws.size() != d.nodes.size()) broken(m, "has a node draw count unlike its node count");
    if (m.material_draws.size() != d.materials.size()) broken(m, "has a material count unlike the document");

    size_t k = 0;
    for (const auto& mesh : d.meshes) {
        for (const auto& p : mesh.primitives) {
            const PrimitiveDraw& draw = m.primitive_draws[k++];
            if (draw.material != -1 && !in_range(draw.material, d.materials.size()))
                broken(m, "draws with a missing material");
            if (draw.mode > 6) broken(m, "draws with an unknown primitive mode");
            if (draw.count < 0) broken(m, "draws a negative count");
            for (const auto& [name, accessor] : p.attributes)
                if (!in_range(accessor, d.accessors.size())) broken(m, "names a missing accessor for " + name);
            if (!draw.indexed) continue;
            const tinygltf::Accessor& a = d.accessors[p.indices];
            if (!in_range(a.bufferView, d.bufferViews.size())) broken(m, "reads indices from no buffer view");
            const tinygltf::BufferView& v = d.bufferViews[a.bufferView];
            const int bytes = gltf_component_bytes(static_cast<int>(draw.index_type));
            if (bytes == 0) broken(m, "draws with an unknown index type");
            const uint64_t end = draw.index_offset + static_cast<uint64_t>(draw.count) * static_cast<uint64_t>(bytes);
            if (!in_range(v.buffer, d.buffers.size()) || end > d.buffers[v.buffer].data.size())
                broken(m, "draws indices past the end of their buffer");
        }
    }
    for (const NodeDraw& node : m.node_draws) {
        if (node.mesh != -1 && !in_range(node.mesh, d.meshes.size())) broken(m, "has a node with a missing mesh");
        for (int32_t child : node.children)
            if (!in_range(child, d.nodes.size())) broken(m, "has a node with a missing child");
    }
    for (int32_t root : m.root_nodes)
        if (!in_range(root, d.nodes.size())) broken(m, "draws a missing root node");
    for (const MaterialDraw& material : m.material_draws)
        for (int32_t image : {material.base_color_image, material.metallic_roughness_image, material.emissive_image})
            if (image != -1 && !in_range(image, d.images.size())) broken(m, "samples a missing image");
    if (m.animated_nodes.size() != d.nodes.size() || m.node_matrices.size() != d.nodes.size())
        broken(m, "keeps animation state for another node count");
}

// The packer's path: glTF text parsed, stored as GLB, read back as the player
// would.
void check_stored_form(const Model& text_model) {
    if (!text_model.valid) return;
    Model stored;
    stored.filename = text_model.stored_filename();
    stored.buffer.data = text_model.stored_bytes();
    stored.parse_glb("resources");
    check_promises(stored);
    if (!stored.valid) {
        std::fprintf(stderr, "a valid glTF text stored as GLB reads back %s: %s\n",
                     stored.parsed ? "invalid" : "unparsed", stored.rejection.c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::enter_empty_directory("glb_model");
    {
        Model glb;
        glb.filename = "fuzz.glb";
        glb.buffer.data.assign(data, data + size);
        glb.parse_glb("resources");
        check_promises(glb);
        ContentWriter out;
        glb.write(out);  // stored as it came
    }
    {
        Model text;
        text.filename = "fuzz.gltf";
        text.buffer.data.assign(data, data + size);
        text.parse_gltf_text("resources");
        check_promises(text);
        check_stored_form(text);
    }
    fuzz_support::reset_process_state();
    return 0;
}
