// What a glTF file may hold that this renderer cannot draw, read straight
// from the file's JSON: required extensions (Draco or meshopt compression,
// mesh quantization, ...) and vertex attributes stored as quantized integers.
// Reading the JSON itself names them even when the glTF parser refuses the
// file, as it does Draco files. GL-free; the tools warn with these lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One line per problem, without the model's name, e.g. "needs the glTF
// extension KHR_draco_mesh_compression, which this player cannot draw".
// Bytes that hold no readable glTF JSON (GLB or text) give no lines: the
// parser's own messages cover them.
std::vector<std::string> undrawable_gltf_features(const std::vector<uint8_t>& bytes);
