// Checked readers for the graph's JSON form. Project files are edited by hand
// and by other tools, so a value of the wrong JSON type, or a number that does
// not fit the field, becomes a ContentError naming the key instead of an
// exception from the JSON library or an undefined conversion.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace Nodes::json_read {

// Integers saturate to the int32 range; fractional numbers truncate toward
// zero (saturating, NaN as 0); booleans read as 0 or 1.
int32_t i32(const nlohmann::json& j, const char* what);
// Numbers widen or narrow to float (beyond the float range: infinity); null,
// which is how NaN and infinities are written, reads as NaN.
float f32(const nlohmann::json& j, const char* what);
// Booleans, or numbers (non-zero is true).
bool boolean(const nlohmann::json& j, const char* what);
std::string string(const nlohmann::json& j, const char* what);
// The array at j, or a ContentError.
const nlohmann::json& array(const nlohmann::json& j, const char* what);

// The member `key` of object `j`, or null when `j` is not an object or lacks it.
const nlohmann::json* member(const nlohmann::json& j, const char* key);

}  // namespace Nodes::json_read
