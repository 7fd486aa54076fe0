// Builds small glTF documents in code: one binary buffer that accessors are
// appended to, plus helpers for meshes, nodes and GLB bytes. Used by tests
// and benchmarks, which never ship model files.
#pragma once

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <tiny_gltf.h>

class GltfBuilder {
public:
    tinygltf::Model doc;

    GltfBuilder() {
        doc.asset.version = "2.0";
        doc.buffers.emplace_back();
    }

    // Appends `values` as a new buffer view + accessor; returns the accessor.
    template <typename T>
    int add_accessor(const std::vector<T>& values, int component_type, int type, size_t count) {
        std::vector<unsigned char>& data = doc.buffers[0].data;
        while (data.size() % 4) data.push_back(0);
        tinygltf::BufferView view;
        view.buffer = 0;
        view.byteOffset = data.size();
        view.byteLength = values.size() * sizeof(T);
        data.resize(data.size() + view.byteLength);
        if (view.byteLength) std::memcpy(data.data() + view.byteOffset, values.data(), view.byteLength);
        doc.bufferViews.push_back(view);
        tinygltf::Accessor a;
        a.bufferView = static_cast<int>(doc.bufferViews.size() - 1);
        a.byteOffset = 0;
        a.componentType = component_type;
        a.type = type;
        a.count = count;
        doc.accessors.push_back(a);
        return static_cast<int>(doc.accessors.size() - 1);
    }

    int add_vec3(const std::vector<float>& xyz) {
        return add_accessor(xyz, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, xyz.size() / 3);
    }
    int add_indices(const std::vector<uint16_t>& indices) {
        return add_accessor(indices, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_SCALAR, indices.size());
    }

    // Gives accessor `accessor` sparse substitutions: element indices[k]
    // becomes the k-th group of components in `values` (of the accessor's
    // own component type).
    template <typename T = float>
    void make_sparse(int accessor, const std::vector<uint16_t>& indices, const std::vector<T>& values) {
        const int index_view = doc.accessors[add_accessor(indices, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT,
                                                          TINYGLTF_TYPE_SCALAR, indices.size())].bufferView;
        const int value_view = doc.accessors[add_accessor(values, doc.accessors[accessor].componentType,
                                                          TINYGLTF_TYPE_SCALAR, values.size())]
                                   .bufferView;
        tinygltf::Accessor& a = doc.accessors[accessor];
        a.sparse.isSparse = true;
        a.sparse.count = static_cast<int>(indices.size());
        a.sparse.indices.bufferView = index_view;
        a.sparse.indices.byteOffset = 0;
        a.sparse.indices.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;
        a.sparse.values.bufferView = value_view;
        a.sparse.values.byteOffset = 0;
    }

    // A 2 x 2 PNG picture of `rgba` (16 bytes) as the base colour texture of
    // `material`.
    void add_base_colour_picture(int material, const std::vector<unsigned char>& rgba) {
        tinygltf::Image image;
        image.name = "checker";
        image.width = image.height = 2;
        image.component = 4;
        image.bits = 8;
        image.pixel_type = TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE;
        image.mimeType = "image/png";
        image.image = rgba;
        doc.images.push_back(image);
        tinygltf::Texture texture;
        texture.source = static_cast<int>(doc.images.size() - 1);
        doc.textures.push_back(texture);
        doc.materials[material].pbrMetallicRoughness.baseColorTexture.index = static_cast<int>(doc.textures.size() - 1);
    }

    tinygltf::Primitive primitive(int position, int indices = -1, int material = -1) {
        tinygltf::Primitive p;
        p.attributes["POSITION"] = position;
        p.indices = indices;
        p.material = material;
        p.mode = TINYGLTF_MODE_TRIANGLES;
        return p;
    }

    int add_mesh(std::vector<tinygltf::Primitive> primitives) {
        tinygltf::Mesh mesh;
        mesh.primitives = std::move(primitives);
        doc.meshes.push_back(mesh);
        return static_cast<int>(doc.meshes.size() - 1);
    }

    int add_node(int mesh = -1, std::vector<int> children = {}) {
        tinygltf::Node node;
        node.mesh = mesh;
        node.children = std::move(children);
        doc.nodes.push_back(node);
        return static_cast<int>(doc.nodes.size() - 1);
    }

    int add_material(std::vector<double> base_color, double metallic = 1.0, double roughness = 1.0) {
        tinygltf::Material m;
        m.pbrMetallicRoughness.baseColorFactor = std::move(base_color);
        m.pbrMetallicRoughness.metallicFactor = metallic;
        m.pbrMetallicRoughness.roughnessFactor = roughness;
        m.emissiveFactor = {0.0, 0.0, 0.0};
        doc.materials.push_back(m);
        return static_cast<int>(doc.materials.size() - 1);
    }

    void set_scene(std::vector<int> roots) {
        doc.scenes.clear();
        tinygltf::Scene scene;
        scene.nodes = std::move(roots);
        doc.scenes.push_back(scene);
        doc.defaultScene = 0;
    }

    std::vector<uint8_t> glb() const { return serialize(true); }
    std::vector<uint8_t> gltf_text() const { return serialize(false); }

    // A unit cube (8 corners, 36 indices) as one primitive of one mesh.
    int add_cube_mesh(float half = 0.5f, int material = -1) {
        const float h = half;
        const int position = add_vec3({-h, -h, -h, h, -h, -h, h, h, -h, -h, h, -h,
                                       -h, -h, h,  h, -h, h,  h, h, h,  -h, h, h});
        const int indices = add_indices({0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4,
                                         3, 6, 2, 3, 7, 6, 1, 2, 6, 1, 6, 5, 0, 4, 7, 0, 7, 3});
        return add_mesh({primitive(position, indices, material)});
    }

private:
    std::vector<uint8_t> serialize(bool binary) const {
        tinygltf::TinyGLTF writer;
        std::ostringstream out;
        writer.WriteGltfSceneToStream(&doc, out, false, binary);
        const std::string s = out.str();
        return std::vector<uint8_t>(s.begin(), s.end());
    }
};
