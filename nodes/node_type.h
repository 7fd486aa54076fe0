// NodeType: what a graph node of a given type name has and does: its input and
// output ports, the template of its private state slots and its run function.
// Types are plain data that live in the NodeRegistry for the whole process.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "nodes/run_context.h"
#include "nodes/value.h"

// A run function reads inputs by position as the kinds its type declares,
// writes outputs by position (MaybeValue::set) and may keep anything in its
// state slots between frames. When it is called, the three lists hold at
// least as many entries as the type declares (the node was prepared).
using RunFunction = void (*)(std::vector<Nodes::MaybeValue>& inputs, std::vector<Nodes::MaybeValue>& outputs,
                             std::vector<Nodes::MaybeValue>& state, RunContext& ctx);

// Visitor of a choices enumerator: called once per choice, in order, with the
// integer the input holds when the choice is selected and its label.
using ChoiceVisitor = void (*)(int32_t index, std::string_view label, void* user);
// Calls `visit` for every choice, passing `user` through.
using ChoicesEnumerator = void (*)(void* user, ChoiceVisitor visit);

struct InputDef {
    int32_t type = Nodes::kind_float;  // declared kind
    std::string name;
    ChoicesEnumerator choices = nullptr;  // for integer inputs selecting one of a list
    Nodes::MaybeValue default_value;      // used only when present and of the declared kind
    Nodes::MaybeValue min;                // authoring-side bounds; not enforced
    Nodes::MaybeValue max;

    // The default a freshly added input of this port receives, if any.
    bool has_usable_default() const { return default_value.hasValue && default_value.value.type == type; }
};

struct OutputDef {
    int32_t type = Nodes::kind_float;
    std::string name;
};

class NodeType {
public:
    std::string name;
    std::string label;  // display name, derived from `name` at construction
    std::vector<InputDef> inputs;
    std::vector<OutputDef> outputs;
    std::vector<Nodes::MaybeValue> state;  // template of the state slots
    RunFunction run = nullptr;             // null: running does nothing

    NodeType() = default;
    NodeType(std::string name, RunFunction run, std::vector<Nodes::MaybeValue> state, std::vector<InputDef> inputs,
             std::vector<OutputDef> outputs);

    // The display label of a type name: "resources/tunnel.frag" gives
    // "Tunnel (shader)", "flash.event" "Flash (event)", "city.scene"
    // "City (scene)"; a leading byte above 'Z' is lowered by 32.
    static std::string derive_label(std::string_view name);
};
