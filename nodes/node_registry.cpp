#include "nodes/node_registry.h"

#include <utility>

#include "nodes/demo_choices.h"
#include "nodes/logic_nodes.h"

using Nodes::MaybeValue;
using Nodes::Value;

const char* const kOperatorLabels[kOperatorCount] = {
    "a + b",     "a - b", "a * b",    "a / b",    "mod(a, b)", "abs(a)",
    "fract(a)",  "step(a, b)", "smoothstep(a, b, c)", "mix(a, b, c)", "clamp(a, b, c)", "a / b * c",
    "floor(a)",  "ceil(a)", "round(a)", "sin(a)",   "cos(a)",    ".5 + .5 * sin(a)",
};

const char* const kComparisonLabels[kComparisonCount] = {
    "a == b", "a != b", "a > b", "a < b", "a >= b", "a <= b", "a == 0", "!c",
};

namespace {

void enumerate_operators(void* user, ChoiceVisitor visit) {
    for (int i = 0; i < kOperatorCount; ++i) visit(i, kOperatorLabels[i], user);
}

void enumerate_comparisons(void* user, ChoiceVisitor visit) {
    for (int i = 0; i < kComparisonCount; ++i) visit(i, kComparisonLabels[i], user);
}

// ---- port builders ----------------------------------------------------------

InputDef in(int32_t kind, const char* name) {
    InputDef d;
    d.type = kind;
    d.name = name;
    return d;
}

InputDef in(int32_t kind, const char* name, Value default_value) {
    InputDef d = in(kind, name);
    d.default_value.set(std::move(default_value));
    return d;
}

InputDef bounded(InputDef d, int32_t lo, int32_t hi, ChoicesEnumerator choices) {
    d.min.set(Nodes::make_int(lo));
    d.max.set(Nodes::make_int(hi));
    d.choices = choices;
    return d;
}

InputDef with_choices(InputDef d, ChoicesEnumerator choices) {
    d.choices = choices;
    return d;
}

OutputDef out(int32_t kind, const char* name) { return OutputDef{kind, name}; }

std::vector<MaybeValue> slots(size_t count) { return std::vector<MaybeValue>(count); }

using namespace Nodes;

// The built-in types in registration order; the run functions of the drawing
// types are installed by the device library.
std::vector<NodeType> make_builtins() {
    const Value f0 = make_float(0.0f);
    const Value i0 = make_int(0);
    std::vector<NodeType> t;
    t.reserve(kBuiltinNodeTypeCount);
    t.emplace_back("Time", logic::run_time, slots(0), std::vector<InputDef>{},
                   std::vector<OutputDef>{out(kind_float, "currentBeat"), out(kind_float, "fract"),
                                          out(kind_float, "1-fract")});
    t.emplace_back("TwoTriangles", nullptr, slots(1), std::vector<InputDef>{},
                   std::vector<OutputDef>{out(kind_vao, "vao"), out(kind_int, "count")});
    t.emplace_back("DrawTriangles", nullptr, slots(0),
                   std::vector<InputDef>{in(kind_vao, "vao"), in(kind_int, "count", make_int(6))},
                   std::vector<OutputDef>{});
    t.emplace_back("Shader", nullptr, slots(0),
                   std::vector<InputDef>{in(kind_int, "shader", i0), in(kind_ivec2, "size"),
                                         in(kind_texture2D, "tex")},
                   std::vector<OutputDef>{});
    t.emplace_back("ScreenToTexture", nullptr, slots(2), std::vector<InputDef>{in(kind_ivec2, "size")},
                   std::vector<OutputDef>{out(kind_texture2D, "texture")});
    t.emplace_back("Effect2D", nullptr, slots(3),
                   std::vector<InputDef>{bounded(in(kind_int, "shader", i0), 0, 100, enumerate_shader_choices),
                                         in(kind_ivec2, "size"), in(kind_texture2D, "tex")},
                   std::vector<OutputDef>{out(kind_texture2D, "texture")});
    t.emplace_back("Operator", logic::run_operator, slots(0),
                   std::vector<InputDef>{bounded(in(kind_int, "op", i0), 0, 255, enumerate_operators),
                                         in(kind_float, "a", f0), in(kind_float, "b", f0), in(kind_float, "c", f0)},
                   std::vector<OutputDef>{out(kind_float, "result")});
    t.emplace_back("If", logic::run_if, slots(0),
                   std::vector<InputDef>{bounded(in(kind_int, "compare", i0), 0, 255, enumerate_comparisons),
                                         in(kind_float, "a", f0), in(kind_float, "b", f0),
                                         in(kind_bool, "c", make_bool(false))},
                   std::vector<OutputDef>{out(kind_bool, "result")});
    t.emplace_back("Texture", nullptr, slots(0),
                   std::vector<InputDef>{bounded(in(kind_int, "textureID", i0), 0, 255, enumerate_texture_choices)},
                   std::vector<OutputDef>{out(kind_texture2D, "texture")});
    t.emplace_back("SoundTexture", nullptr, slots(0), std::vector<InputDef>{},
                   std::vector<OutputDef>{out(kind_texture2D, "texture")});
    t.emplace_back("FontTexture", nullptr, slots(0),
                   std::vector<InputDef>{with_choices(in(kind_int, "font_texture", i0), enumerate_font_texture_choices),
                                         in(kind_string, "text", make_string(""))},
                   std::vector<OutputDef>{out(kind_texture2D, "texture")});
    t.emplace_back("Clear", nullptr, slots(0),
                   std::vector<InputDef>{in(kind_float, "r", f0), in(kind_float, "g", f0), in(kind_float, "b", f0),
                                         in(kind_float, "a", f0)},
                   std::vector<OutputDef>{});
    t.emplace_back("SetFrameBuffer", nullptr, slots(5),
                   std::vector<InputDef>{in(kind_ivec2, "size"), in(kind_bool, "useDepth", make_bool(false))},
                   std::vector<OutputDef>{out(kind_texture2D, "texture")});
    t.emplace_back("ClearFrameBuffer", nullptr, slots(0), std::vector<InputDef>{in(kind_texture2D, "texture")},
                   std::vector<OutputDef>{});
    t.emplace_back("ReadPixel", nullptr, slots(0), std::vector<InputDef>{in(kind_ivec2, "pos", make_ivec2(0, 0))},
                   std::vector<OutputDef>{out(kind_vec4, "rgba"), out(kind_vec3, "rgb"), out(kind_float, "r"),
                                          out(kind_float, "g"), out(kind_float, "b"), out(kind_float, "a")});
    t.emplace_back("Constant", logic::run_constant, slots(0),
                   std::vector<InputDef>{in(kind_bool, "bool", make_bool(false)), in(kind_int, "int", i0),
                                         in(kind_float, "float", f0)},
                   std::vector<OutputDef>{out(kind_bool, "bool"), out(kind_int, "int"), out(kind_float, "float")});
    t.emplace_back("Convert", logic::run_convert, slots(0),
                   std::vector<InputDef>{in(kind_int, "int"), in(kind_float, "float")},
                   std::vector<OutputDef>{out(kind_int, "int"), out(kind_float, "float")});
    t.emplace_back("Vec3", logic::run_vec3, slots(0),
                   std::vector<InputDef>{in(kind_float, "x", f0), in(kind_float, "y", f0), in(kind_float, "z", f0)},
                   std::vector<OutputDef>{out(kind_vec3, "vec3")});
    t.emplace_back("Vec3xyz", logic::run_vec3xyz, slots(0),
                   std::vector<InputDef>{in(kind_vec3, "vec3", make_vec3(0, 0, 0))},
                   std::vector<OutputDef>{out(kind_float, "x"), out(kind_float, "y"), out(kind_float, "z")});
    t.emplace_back("IVec2", logic::run_ivec2, slots(0),
                   std::vector<InputDef>{in(kind_int, "x", i0), in(kind_int, "y", i0)},
                   std::vector<OutputDef>{out(kind_ivec2, "ivec2")});
    t.emplace_back("Note", logic::run_note, slots(0), std::vector<InputDef>{in(kind_string, "note", make_string(""))},
                   std::vector<OutputDef>{});
    return t;
}

}  // namespace

NodeRegistry::NodeRegistry() {
    for (NodeType& type : make_builtins()) types_.push_back(std::move(type));
}

NodeRegistry& NodeRegistry::instance() {
    static NodeRegistry registry;
    return registry;
}

const NodeType* NodeRegistry::find(std::string_view name) const {
    for (const NodeType& type : types_)
        if (type.name == name) return &type;
    return nullptr;
}

NodeType* NodeRegistry::find_mutable(std::string_view name) {
    for (NodeType& type : types_)
        if (type.name == name) return &type;
    return nullptr;
}

NodeType& NodeRegistry::add(NodeType type) {
    types_.push_back(std::move(type));
    return types_.back();
}

bool NodeRegistry::set_run(std::string_view name, RunFunction run) {
    NodeType* type = find_mutable(name);
    if (!type) return false;
    type->run = run;
    return true;
}

void NodeRegistry::restore_builtins_for_tests() {
    current_demo_ = nullptr;
    types_.resize(kBuiltinNodeTypeCount);
    std::vector<NodeType> fresh = make_builtins();
    for (size_t i = 0; i < kBuiltinNodeTypeCount; ++i) {
        const RunFunction run = types_[i].run;
        types_[i] = std::move(fresh[i]);
        types_[i].run = run;
    }
}
