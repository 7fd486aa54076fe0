#include "scene3d/model_validation.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include <tiny_gltf.h>

#include "scene3d/sparse_accessor.h"

int gltf_component_bytes(int component_type) {
    switch (component_type) {
        case TINYGLTF_COMPONENT_TYPE_BYTE:
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return 1;
        case TINYGLTF_COMPONENT_TYPE_SHORT:
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: return 2;
        case TINYGLTF_COMPONENT_TYPE_INT:
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
        case TINYGLTF_COMPONENT_TYPE_FLOAT: return 4;
        default: return 0;
    }
}

int gltf_component_count(int type) {
    switch (type) {
        case TINYGLTF_TYPE_SCALAR: return 1;
        case TINYGLTF_TYPE_VEC2: return 2;
        case TINYGLTF_TYPE_VEC3: return 3;
        case TINYGLTF_TYPE_VEC4: return 4;
        case TINYGLTF_TYPE_MAT2: return 4;
        case TINYGLTF_TYPE_MAT3: return 9;
        case TINYGLTF_TYPE_MAT4: return 16;
        default: return 0;
    }
}

namespace {

// Vertex attributes the GPU side binds; only these are read by GL.
constexpr const char* kBoundAttributes[] = {"POSITION", "NORMAL", "TEXCOORD_0", "JOINTS_0", "WEIGHTS_0"};

bool in_range(int index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

class Validator {
public:
    explicit Validator(const tinygltf::Model& d) : d_(d) {}

    std::string run() {
        buffer_views() && accessors() && textures_and_materials() && meshes() && nodes() && scenes() && skins() &&
            animations();
        return problem_;
    }

private:
    bool fail(std::string problem) {
        problem_ = std::move(problem);
        return false;
    }
    static std::string at(const char* kind, size_t i) { return std::string(kind) + " " + std::to_string(i); }

    bool buffer_views() {
        for (size_t i = 0; i < d_.bufferViews.size(); ++i) {
            const tinygltf::BufferView& v = d_.bufferViews[i];
            if (!in_range(v.buffer, d_.buffers.size())) return fail(at("buffer view", i) + " names a missing buffer");
            const size_t size = d_.buffers[v.buffer].data.size();
            if (v.byteOffset > size || v.byteLength > size - v.byteOffset)
                return fail(at("buffer view", i) + " reaches past the end of its buffer");
            if (v.byteStride > 252) return fail(at("buffer view", i) + " has a byte stride above 252");
        }
        return true;
    }

    bool accessors() {
        for (size_t i = 0; i < d_.accessors.size(); ++i) {
            const tinygltf::Accessor& a = d_.accessors[i];
            const int bytes = gltf_component_bytes(a.componentType);
            const int components = gltf_component_count(a.type);
            if (bytes == 0 || components == 0) return fail(at("accessor", i) + " has an unknown element type");
            if (a.count > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
                return fail(at("accessor", i) + " has too many elements");
            if (const std::string why = check_sparse(d_, a); !why.empty()) return fail(at("accessor", i) + " " + why);
            if (a.bufferView < 0) continue;  // no data: refused wherever it would be read, unless sparse
            if (!in_range(a.bufferView, d_.bufferViews.size()))
                return fail(at("accessor", i) + " names a missing buffer view");
            const tinygltf::BufferView& v = d_.bufferViews[a.bufferView];
            const uint64_t element = static_cast<uint64_t>(bytes) * components;
            const uint64_t stride = v.byteStride ? v.byteStride : element;
            if (stride < element) return fail(at("accessor", i) + " has elements wider than their stride");
            if (a.count == 0) continue;
            // count <= 2^31 and stride <= 252, so this cannot overflow.
            const uint64_t span = (a.count - 1) * stride + element;
            if (a.byteOffset > v.byteLength || span > v.byteLength - a.byteOffset)
                return fail(at("accessor", i) + " reaches past the end of its buffer view");
        }
        return true;
    }

    // An accessor whose data is read as `bytes` tightly packed bytes from its start.
    bool tight_span(int accessor, uint64_t bytes, const std::string& what) {
        if (!in_range(accessor, d_.accessors.size())) return fail(what + " names a missing accessor");
        const tinygltf::Accessor& a = d_.accessors[accessor];
        if (a.sparse.isSparse) {
            // Written out densely before it is read (its sparse part and any
            // base view were checked with the accessors): what counts is
            // that the dense copy holds the bytes about to be read.
            const uint64_t element =
                static_cast<uint64_t>(gltf_component_bytes(a.componentType)) * gltf_component_count(a.type);
            if (a.count * element < bytes) return fail(what + " holds fewer bytes than are read");
            return true;
        }
        if (a.bufferView < 0) return fail(what + " has no buffer view");
        const tinygltf::BufferView& v = d_.bufferViews[a.bufferView];
        if (a.byteOffset > v.byteLength || bytes > v.byteLength - a.byteOffset)
            return fail(what + " reaches past the end of its buffer view");
        return true;
    }

    bool texture_ref(int texture, const std::string& what) {
        if (texture < 0) return true;
        if (!in_range(texture, d_.textures.size())) return fail(what + " names a missing texture");
        return true;
    }

    bool textures_and_materials() {
        for (size_t i = 0; i < d_.textures.size(); ++i)
            if (d_.textures[i].source >= 0 && !in_range(d_.textures[i].source, d_.images.size()))
                return fail(at("texture", i) + " names a missing image");
        for (size_t i = 0; i < d_.materials.size(); ++i) {
            const tinygltf::Material& m = d_.materials[i];
            const std::string what = at("material", i);
            if (!texture_ref(m.pbrMetallicRoughness.baseColorTexture.index, what) ||
                !texture_ref(m.pbrMetallicRoughness.metallicRoughnessTexture.index, what) ||
                !texture_ref(m.emissiveTexture.index, what))
                return false;
        }
        return true;
    }

    bool primitive(const tinygltf::Primitive& p, const std::string& what) {
        if (p.mode < 0 || p.mode > 6) return fail(what + " has an unknown drawing mode");
        if (p.material >= 0 && !in_range(p.material, d_.materials.size()))
            return fail(what + " names a missing material");
        for (const auto& [name, accessor] : p.attributes)
            if (!in_range(accessor, d_.accessors.size()))
                return fail(what + " attribute " + name + " names a missing accessor");

        // GL reads vertex v of every bound attribute for v below this limit.
        uint64_t vertex_limit = std::numeric_limits<uint64_t>::max();
        for (const char* name : kBoundAttributes) {
            auto it = p.attributes.find(name);
            if (it == p.attributes.end()) continue;
            const tinygltf::Accessor& a = d_.accessors[it->second];
            const std::string attr = what + " attribute " + name;
            // A sparse attribute is written out densely at upload, zeros as its base.
            if (a.bufferView < 0 && !a.sparse.isSparse) return fail(attr + " has no buffer view");
            const int components = gltf_component_count(a.type);
            if (a.type == TINYGLTF_TYPE_MAT2 || components > 4)
                return fail(attr + " is not a scalar or vector");
            if (std::string_view(name) == "JOINTS_0" && a.componentType == TINYGLTF_COMPONENT_TYPE_FLOAT)
                return fail(attr + " is not of an integer type");
            vertex_limit = std::min<uint64_t>(vertex_limit, a.count);
        }

        if (p.indices < 0) {
            if (p.attributes.empty()) return true;
            const uint64_t count = d_.accessors[p.attributes.begin()->second].count;
            if (vertex_limit != std::numeric_limits<uint64_t>::max() && count > vertex_limit)
                return fail(what + " draws more vertices than its attributes hold");
            return true;
        }

        if (!in_range(p.indices, d_.accessors.size())) return fail(what + " names a missing index accessor");
        const tinygltf::Accessor& ia = d_.accessors[p.indices];
        const int bytes = gltf_component_bytes(ia.componentType);
        if (ia.type != TINYGLTF_TYPE_SCALAR ||
            (ia.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE &&
             ia.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT &&
             ia.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT))
            return fail(what + " indices are not unsigned integer scalars");
        // GL reads element arrays tightly packed whatever the view says.
        if (ia.bufferView >= 0 && d_.bufferViews[ia.bufferView].byteStride != 0 &&
            d_.bufferViews[ia.bufferView].byteStride != static_cast<size_t>(bytes))
            return fail(what + " indices are not tightly packed");
        if (!tight_span(p.indices, ia.count * static_cast<uint64_t>(bytes), what + " indices")) return false;
        if (vertex_limit == std::numeric_limits<uint64_t>::max() || ia.count == 0) return true;

        std::vector<uint8_t> dense;
        const uint8_t* data = nullptr;
        if (ia.sparse.isSparse) {
            dense = dense_accessor_bytes(d_, ia);
            data = dense.data();
        } else {
            const tinygltf::BufferView& v = d_.bufferViews[ia.bufferView];
            data = d_.buffers[v.buffer].data.data() + v.byteOffset + ia.byteOffset;
        }
        uint64_t highest = 0;
        for (size_t k = 0; k < ia.count; ++k) {
            uint32_t value = 0;
            if (bytes == 1)
                value = data[k];
            else if (bytes == 2)
                value = static_cast<uint32_t>(data[2 * k] | (data[2 * k + 1] << 8));
            else
                value = static_cast<uint32_t>(data[4 * k]) | (static_cast<uint32_t>(data[4 * k + 1]) << 8) |
                        (static_cast<uint32_t>(data[4 * k + 2]) << 16) |
                        (static_cast<uint32_t>(data[4 * k + 3]) << 24);
            highest = std::max<uint64_t>(highest, value);
        }
        if (highest >= vertex_limit)
            return fail(what + " has index " + std::to_string(highest) + " but only " +
                        std::to_string(vertex_limit) + " vertices");
        return true;
    }

    bool meshes() {
        for (size_t m = 0; m < d_.meshes.size(); ++m)
            for (size_t k = 0; k < d_.meshes[m].primitives.size(); ++k)
                if (!primitive(d_.meshes[m].primitives[k], at("mesh", m) + " primitive " + std::to_string(k)))
                    return false;
        return true;
    }

    bool nodes() {
        const size_t n = d_.nodes.size();
        std::vector<int> parent(n, -1);
        for (size_t i = 0; i < n; ++i) {
            const tinygltf::Node& node = d_.nodes[i];
            if (node.mesh >= 0 && !in_range(node.mesh, d_.meshes.size()))
                return fail(at("node", i) + " names a missing mesh");
            if (node.skin >= 0 && !in_range(node.skin, d_.skins.size()))
                return fail(at("node", i) + " names a missing skin");
            for (int c : node.children) {
                if (!in_range(c, n)) return fail(at("node", i) + " names a missing child");
                if (static_cast<size_t>(c) == i) return fail(at("node", i) + " is its own child");
                if (parent[c] != -1) return fail(at("node", c) + " has more than one parent");
                parent[c] = static_cast<int>(i);
            }
        }
        // With one parent each, walking up from every node either reaches a
        // root or loops; depth memoised so the walk stays linear.
        std::vector<size_t> depth(n, 0);
        for (size_t i = 0; i < n; ++i) {
            std::vector<int> chain;
            int at_node = static_cast<int>(i);
            while (at_node != -1 && depth[at_node] == 0) {
                chain.push_back(at_node);
                if (chain.size() > n) return fail(at("node", i) + " is part of a cycle");
                at_node = parent[at_node];
            }
            size_t d = at_node == -1 ? 0 : depth[at_node];
            for (auto it = chain.rbegin(); it != chain.rend(); ++it) depth[*it] = ++d;
            if (d > kMaxNodeDepth) return fail("the node hierarchy is deeper than " + std::to_string(kMaxNodeDepth));
        }
        return true;
    }

    bool scenes() {
        if (d_.defaultScene >= 0 && !in_range(d_.defaultScene, d_.scenes.size()))
            return fail("the default scene is missing");
        for (size_t s = 0; s < d_.scenes.size(); ++s)
            for (int node : d_.scenes[s].nodes)
                if (!in_range(node, d_.nodes.size())) return fail(at("scene", s) + " names a missing node");
        return true;
    }

    bool skins() {
        for (size_t s = 0; s < d_.skins.size(); ++s) {
            const tinygltf::Skin& skin = d_.skins[s];
            for (int joint : skin.joints)
                if (!in_range(joint, d_.nodes.size())) return fail(at("skin", s) + " names a missing joint node");
            if (skin.inverseBindMatrices >= 0 &&
                !tight_span(skin.inverseBindMatrices, skin.joints.size() * 64ull, at("skin", s) + " inverse binds"))
                return false;
        }
        return true;
    }

    bool animations() {
        for (size_t a = 0; a < d_.animations.size(); ++a) {
            const tinygltf::Animation& anim = d_.animations[a];
            for (size_t s = 0; s < anim.samplers.size(); ++s) {
                const tinygltf::AnimationSampler& sampler = anim.samplers[s];
                const std::string what = at("animation", a) + " sampler " + std::to_string(s);
                if (!in_range(sampler.input, d_.accessors.size()) || !in_range(sampler.output, d_.accessors.size()))
                    return fail(what + " names a missing accessor");
                const tinygltf::Accessor& in = d_.accessors[sampler.input];
                if (in.componentType == TINYGLTF_COMPONENT_TYPE_FLOAT &&
                    !tight_span(sampler.input, in.count * 4ull, what + " input"))
                    return false;
                const tinygltf::Accessor& out = d_.accessors[sampler.output];
                const int components = gltf_component_count(out.type);
                // Outputs are read as floats whatever their component type.
                if ((components == 3 || components == 4) &&
                    !tight_span(sampler.output, out.count * components * 4ull, what + " output"))
                    return false;
            }
            for (size_t c = 0; c < anim.channels.size(); ++c) {
                const tinygltf::AnimationChannel& ch = anim.channels[c];
                const std::string what = at("animation", a) + " channel " + std::to_string(c);
                if (!in_range(ch.sampler, anim.samplers.size())) return fail(what + " names a missing sampler");
                if (!in_range(ch.target_node, d_.nodes.size())) return fail(what + " names a missing node");
            }
        }
        return true;
    }

    const tinygltf::Model& d_;
    std::string problem_;
};

}  // namespace

std::string validate_gltf(const tinygltf::Model& document) { return Validator(document).run(); }
