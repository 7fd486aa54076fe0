// glTF sparse accessors: a base array (a buffer view, or zeros without one)
// with some elements replaced by values listed beside it. GL reads buffers
// as they are, so a sparse vertex attribute is written out densely first.
// GL-free: validation and the tests use it on the CPU.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tinygltf {
class Model;
struct Accessor;
}  // namespace tinygltf

// Empty when the accessor's sparse part (if any) can be applied: its index
// and value views exist, its ranges lie inside them, its indices are unsigned
// integers below the accessor's count, and the dense array stays of a
// plausible size for the document. Otherwise the first problem found.
std::string check_sparse(const tinygltf::Model& document, const tinygltf::Accessor& accessor);

// The accessor's elements, tightly packed, with the sparse substitutions
// applied in order (a later one for the same element wins). Only for
// accessors of a document that passed validation.
std::vector<uint8_t> dense_accessor_bytes(const tinygltf::Model& document, const tinygltf::Accessor& accessor);
