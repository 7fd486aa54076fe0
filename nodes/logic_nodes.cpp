#include "nodes/logic_nodes.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "nodes/graph_node.h"

namespace Nodes::logic {
namespace {

// A registration pass may replace the inputs of a built-in type (a shader
// program named like one), so a node can hold fewer ports than its run
// function was written for. Such a node does nothing.
bool has_ports(const std::vector<MaybeValue>& inputs, size_t input_count, const std::vector<MaybeValue>& outputs,
               size_t output_count) {
    return inputs.size() >= input_count && outputs.size() >= output_count;
}

// Makes `out` a present value of `kind` and returns it for its components.
// Writing in place spares building and copying a whole temporary value on
// every run; a value of another kind (or with text) is cleared first so that
// bytes past the new components stay zero.
Value& put(MaybeValue& out, int32_t kind) {
    if (out.value.type != kind || !out.value.text.empty()) {
        out.value.clear();
        out.value.type = kind;
    }
    out.hasValue = true;
    return out.value;
}

void put_float(MaybeValue& out, float v) { put(out, kind_float).set_float(0, v); }

}  // namespace

int32_t float_to_int_saturating(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

void run_time(std::vector<MaybeValue>&, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>&, RunContext& ctx) {
    if (outputs.size() < 3) return;
    const float beat = ctx.current_beat;
    // Truncation toward zero as a float, so beats beyond the int32 range stay defined.
    const float whole = std::trunc(beat);
    put_float(outputs[0], beat);
    put_float(outputs[1], beat - whole);
    put_float(outputs[2], (1.0f - beat) + whole);
}

void run_constant(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>&,
                  RunContext&) {
    if (!has_ports(inputs, 3, outputs, 3)) return;
    for (size_t i = 0; i < 3; ++i)
        if (inputs[i].hasValue) outputs[i].set(inputs[i].value);
}

void run_convert(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>&,
                 RunContext&) {
    if (!has_ports(inputs, 2, outputs, 2)) return;
    if (inputs[0].hasValue) put_float(outputs[1], static_cast<float>(inputs[0].value.as_int()));
    if (inputs[1].hasValue) put(outputs[0], kind_int).set_int(0, float_to_int_saturating(inputs[1].value.as_float()));
}

void run_vec3(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>&,
              RunContext&) {
    if (!has_ports(inputs, 3, outputs, 1)) return;
    Value& v = put(outputs[0], kind_vec3);
    for (size_t i = 0; i < 3; ++i) v.set_float(i, inputs[i].value.as_float());
}

void run_vec3xyz(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>&,
                 RunContext&) {
    if (!has_ports(inputs, 1, outputs, 3)) return;
    const Value& v = inputs[0].value;
    for (size_t i = 0; i < 3; ++i) put_float(outputs[i], v.as_float(i));
}

void run_ivec2(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>&,
               RunContext&) {
    if (!has_ports(inputs, 2, outputs, 1)) return;
    Value& v = put(outputs[0], kind_ivec2);
    v.set_int(0, inputs[0].value.as_int());
    v.set_int(1, inputs[1].value.as_int());
}

bool apply_operator(int32_t op, float a, float b, float c, float& r) {
    switch (op) {
        case 0: r = a + b; return true;
        case 1: r = a - b; return true;
        case 2: r = a * b; return true;
        case 3:
            if (b == 0.0f) return false;
            r = a / b;
            return true;
        case 4: r = a - std::floor(a / b) * b; return true;
        case 5: r = std::fabs(a); return true;
        case 6: r = a - std::floor(a); return true;
        case 7: r = a > b ? 0.0f : 1.0f; return true;
        case 8: {
            float t = (c - a) / (b - a);
            t = std::min(1.0f, std::max(0.0f, t));
            r = (3.0f - 2.0f * t) * t * t;
            return true;
        }
        case 9: r = (1.0f - c) * a + c * b; return true;
        case 10: r = std::min(std::max(a, b), c); return true;
        case 11:
            if (b == 0.0f) return false;
            r = (c * a) / b;
            return true;
        case 12: r = std::floor(a); return true;
        case 13: r = std::ceil(a); return true;
        case 14: r = std::round(a); return true;
        case 15: r = std::sin(a); return true;
        case 16: r = std::cos(a); return true;
        case 17: r = std::sin(a) * 0.5f + 0.5f; return true;
        default: return false;
    }
}

void run_operator(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>&,
                  RunContext& ctx) {
    ctx.node.blocked = false;
    if (!has_ports(inputs, 4, outputs, 1)) return;
    const int32_t op = inputs[0].value.as_int();
    const float b = inputs[2].value.as_float();
    float result = 0.0f;
    if (apply_operator(op, inputs[1].value.as_float(), b, inputs[3].value.as_float(), result)) {
        put_float(outputs[0], result);
    } else if ((op == 3 || op == 11) && b == 0.0f) {
        ctx.node.blocked = true;
    }
}

bool compare(int32_t op, float a, float b, bool c) {
    switch (op) {
        case 0: return a == b;
        case 1: return a != b;
        case 2: return a > b;
        case 3: return a < b;
        case 4: return a >= b;
        case 5: return a <= b;
        case 6: return a == 0.0f;
        case 7: return !c;
        default: return false;
    }
}

void run_if(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>&,
            RunContext& ctx) {
    ctx.node.blocked = false;
    if (!has_ports(inputs, 4, outputs, 1)) return;
    const bool condition = compare(inputs[0].value.as_int(), inputs[1].value.as_float(), inputs[2].value.as_float(),
                                   inputs[3].value.as_bool());
    put(outputs[0], kind_bool).data[0] = condition ? 1 : 0;
    ctx.node.blocked = !condition;
}

void run_note(std::vector<MaybeValue>&, std::vector<MaybeValue>&, std::vector<MaybeValue>&, RunContext&) {}

}  // namespace Nodes::logic
