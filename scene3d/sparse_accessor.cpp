#include "scene3d/sparse_accessor.h"

#include <cstring>

#include <tiny_gltf.h>

#include "scene3d/model_validation.h"

namespace {

// Without a buffer view the base is all zeros and costs nothing in the file;
// a dense copy far larger than the whole document is a forged count.
constexpr uint64_t kDenseSlackBytes = uint64_t{1} << 20;
constexpr uint64_t kDensePerDocumentByte = 16;

uint64_t element_bytes(const tinygltf::Accessor& a) {
    return static_cast<uint64_t>(gltf_component_bytes(a.componentType)) * gltf_component_count(a.type);
}

uint32_t read_index(const uint8_t* at, int bytes) {
    if (bytes == 1) return at[0];
    if (bytes == 2) return static_cast<uint32_t>(at[0] | (at[1] << 8));
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) | (static_cast<uint32_t>(at[2]) << 16) |
           (static_cast<uint32_t>(at[3]) << 24);
}

// Start of `bytes` bytes at `offset` into view `view`, or null when they do
// not fit (views themselves are checked against their buffers first).
const uint8_t* view_span(const tinygltf::Model& d, int view, int64_t offset, uint64_t bytes) {
    if (view < 0 || static_cast<size_t>(view) >= d.bufferViews.size() || offset < 0) return nullptr;
    const tinygltf::BufferView& v = d.bufferViews[view];
    if (v.buffer < 0 || static_cast<size_t>(v.buffer) >= d.buffers.size()) return nullptr;
    const uint64_t start = static_cast<uint64_t>(offset);
    if (start > v.byteLength || bytes > v.byteLength - start) return nullptr;
    if (v.byteOffset + v.byteLength > d.buffers[v.buffer].data.size()) return nullptr;
    return d.buffers[v.buffer].data.data() + v.byteOffset + start;
}

}  // namespace

std::string check_sparse(const tinygltf::Model& d, const tinygltf::Accessor& a) {
    if (!a.sparse.isSparse) return {};
    const uint64_t element = element_bytes(a);
    if (element == 0) return "has an unknown element type";
    if (a.sparse.count < 0 || static_cast<uint64_t>(a.sparse.count) > a.count)
        return "has more sparse substitutions than elements";
    if (a.bufferView < 0) {
        uint64_t document_bytes = 0;
        for (const tinygltf::Buffer& b : d.buffers) document_bytes += b.data.size();
        if (a.count * element > kDenseSlackBytes + kDensePerDocumentByte * document_bytes)
            return "is too large for the data the document holds";
    }
    const int index_bytes = gltf_component_bytes(a.sparse.indices.componentType);
    if (a.sparse.indices.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE &&
        a.sparse.indices.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT &&
        a.sparse.indices.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT)
        return "has sparse indices that are not unsigned integers";
    const uint64_t n = static_cast<uint64_t>(a.sparse.count);
    const uint8_t* indices = view_span(d, a.sparse.indices.bufferView, a.sparse.indices.byteOffset, n * index_bytes);
    if (!indices) return "has sparse indices outside their buffer view";
    if (!view_span(d, a.sparse.values.bufferView, a.sparse.values.byteOffset, n * element))
        return "has sparse values outside their buffer view";
    for (uint64_t k = 0; k < n; ++k)
        if (read_index(indices + k * index_bytes, index_bytes) >= a.count)
            return "substitutes element " + std::to_string(read_index(indices + k * index_bytes, index_bytes)) +
                   " of " + std::to_string(a.count);
    return {};
}

std::vector<uint8_t> dense_accessor_bytes(const tinygltf::Model& d, const tinygltf::Accessor& a) {
    const uint64_t element = element_bytes(a);
    std::vector<uint8_t> dense(static_cast<size_t>(a.count * element), 0);
    if (a.bufferView >= 0 && a.count > 0) {
        const tinygltf::BufferView& v = d.bufferViews[a.bufferView];
        const uint64_t stride = v.byteStride ? v.byteStride : element;
        const uint8_t* base = d.buffers[v.buffer].data.data() + v.byteOffset + a.byteOffset;
        for (uint64_t i = 0; i < a.count; ++i) std::memcpy(&dense[i * element], base + i * stride, element);
    }
    if (!a.sparse.isSparse) return dense;
    const int index_bytes = gltf_component_bytes(a.sparse.indices.componentType);
    const uint64_t n = static_cast<uint64_t>(a.sparse.count);
    const uint8_t* indices = view_span(d, a.sparse.indices.bufferView, a.sparse.indices.byteOffset, n * index_bytes);
    const uint8_t* values = view_span(d, a.sparse.values.bufferView, a.sparse.values.byteOffset, n * element);
    if (!indices || !values) return dense;
    for (uint64_t k = 0; k < n; ++k) {
        const uint32_t target = read_index(indices + k * index_bytes, index_bytes);
        if (target < a.count) std::memcpy(&dense[target * element], values + k * element, element);
    }
    return dense;
}
