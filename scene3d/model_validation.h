// Checks a parsed glTF document before anything reads through it: every index
// into the document's lists, every byte range of accessors and buffer views
// against the real buffer sizes, index values against vertex counts, the
// node hierarchy (a forest, no cycles, bounded depth), and the ranges the
// animation builder reads tightly packed. The loader, the animation builder
// and the GPU upload trust a document that passed; GL then never reads
// outside a buffer.
#pragma once

#include <cstddef>
#include <string>

namespace tinygltf {
class Model;
}

// Deeper hierarchies are refused so that drawing can recurse.
inline constexpr size_t kMaxNodeDepth = 1024;

// Empty when the document is safe to use; otherwise the first problem found.
std::string validate_gltf(const tinygltf::Model& document);

// Bytes of one component (1, 2 or 4) of a glTF component type; 0 if unknown.
int gltf_component_bytes(int component_type);
// Components per element of a glTF accessor type (1..16); 0 if unknown.
int gltf_component_count(int type);
