// Run functions of the built-in types that compute values instead of drawing:
// "Time", "Constant", "Convert", "Vec3", "Vec3xyz", "IVec2", "Operator", "If"
// and "Note". Inputs are read as the kinds their type declares, whatever kind
// they carry; arithmetic is 32-bit float IEEE.
#pragma once

#include <vector>

#include "nodes/node_type.h"

namespace Nodes::logic {

void run_time(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>& state,
              RunContext& ctx);
void run_constant(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>& state,
                  RunContext& ctx);
void run_convert(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>& state,
                 RunContext& ctx);
void run_vec3(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>& state,
              RunContext& ctx);
void run_vec3xyz(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>& state,
                 RunContext& ctx);
void run_ivec2(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>& state,
               RunContext& ctx);
void run_operator(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>& state,
                  RunContext& ctx);
void run_if(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>& state,
            RunContext& ctx);
void run_note(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>& state,
              RunContext& ctx);

// The result of operator `op` on a, b, c; false when there is none (division
// by zero, which blocks the node, or an index outside the operator table).
bool apply_operator(int32_t op, float a, float b, float c, float& result);
// The condition of comparison `op`; false for an index outside the table.
bool compare(int32_t op, float a, float b, bool c);
// Float to int32 truncating toward zero; out-of-range values saturate and NaN
// gives 0, where a plain conversion would be undefined.
int32_t float_to_int_saturating(float v);

}  // namespace Nodes::logic
