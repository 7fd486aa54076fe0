#include "nodes/resource_node_types.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "nodes/graph_node.h"
#include "nodes/node_registry.h"
#include "serialization/demo.h"

namespace {

using Nodes::MaybeValue;
using Snapshot = std::unordered_map<std::string_view, NodeType*>;

constexpr std::string_view kEventSuffix = ".event";
constexpr std::string_view kSceneSuffix = ".scene";

// Name -> type as the registry stands now; of several types of one name the
// one registered last. Names live in the registry's types, which never move.
Snapshot take_snapshot(NodeRegistry& registry) {
    Snapshot snapshot;
    for (size_t i = 0; i < registry.size(); ++i) {
        NodeType& type = registry.at_mutable(i);
        snapshot[type.name] = &type;
    }
    return snapshot;
}

NodeType* in_snapshot(const Snapshot& snapshot, std::string_view name) {
    auto it = snapshot.find(name);
    return it == snapshot.end() ? nullptr : it->second;
}

bool names_texture(const std::string& uniform) { return uniform.size() >= 3 && uniform.starts_with("tex"); }

InputDef input(int32_t kind, std::string name) {
    InputDef d;
    d.type = kind;
    d.name = std::move(name);
    return d;
}

std::vector<InputDef> program_inputs(const ShaderProgram& program) {
    std::vector<InputDef> inputs;
    inputs.reserve(3 + program.uniform_defs.size());
    inputs.push_back(input(Nodes::kind_ivec2, "size"));
    inputs.push_back(input(Nodes::kind_texture2D, "tex"));
    InputDef internal = input(Nodes::kind_bool, "internal");
    internal.default_value.set(Nodes::make_bool(false));
    inputs.push_back(std::move(internal));
    for (const UniformDef& def : program.uniform_defs) {
        if (names_texture(def.name)) {
            inputs.push_back(input(Nodes::kind_texture2D, def.name));
            continue;
        }
        InputDef d = input(Nodes::kind_float, def.name);
        d.default_value.set(Nodes::make_float(def.default_val));
        d.min.set(Nodes::make_float(def.min_val));
        d.max.set(Nodes::make_float(def.max_val));
        inputs.push_back(std::move(d));
    }
    return inputs;
}

std::vector<OutputDef> event_outputs(const Event& event) {
    std::vector<OutputDef> outputs;
    outputs.reserve(event.uniform_defs.size());
    for (const UniformDef& def : event.uniform_defs)
        outputs.push_back(OutputDef{def.is_string ? Nodes::kind_string : Nodes::kind_float, def.name});
    return outputs;
}

void register_programs(Demo& demo, NodeRegistry& registry) {
    const Snapshot snapshot = take_snapshot(registry);
    for (const auto& program : demo.shaders) {
        if (!program) continue;
        const std::string& name = program->fragment_shader_filename;
        if (NodeType* existing = in_snapshot(snapshot, name)) {
            existing->inputs = program_inputs(*program);
            continue;
        }
        std::vector<MaybeValue> state(7);
        state[5].set(Nodes::make_ivec2(0, 0));
        registry.add(NodeType(name, registry.resource_runs().program_node, std::move(state), program_inputs(*program),
                              {OutputDef{Nodes::kind_texture2D, "texture"}}));
    }
}

void register_events(Demo& demo, NodeRegistry& registry) {
    const Snapshot snapshot = take_snapshot(registry);
    for (const auto& event : demo.events) {
        if (!event || event->type != EventType::uniforms) continue;
        const std::string name = event->name + std::string(kEventSuffix);
        if (NodeType* existing = in_snapshot(snapshot, name)) {
            existing->outputs = event_outputs(*event);
            continue;
        }
        registry.add(NodeType(name, run_event_node, std::vector<MaybeValue>(1), {input(Nodes::kind_float, "time")},
                              event_outputs(*event)));
    }
}

void register_scenes(Demo& demo, NodeRegistry& registry) {
    const Snapshot snapshot = take_snapshot(registry);
    for (const auto& scene : demo.scenes) {
        if (!scene) continue;
        const std::string name = scene->name + std::string(kSceneSuffix);
        if (NodeType* existing = in_snapshot(snapshot, name)) {
            existing->outputs.clear();
            continue;
        }
        InputDef shader = input(Nodes::kind_int, "shader");
        shader.default_value.set(Nodes::make_int(0));
        registry.add(NodeType(name, registry.resource_runs().scene_node, std::vector<MaybeValue>(1),
                              {std::move(shader), input(Nodes::kind_vec3, "position"),
                               input(Nodes::kind_vec3, "direction"), input(Nodes::kind_vec3, "up")},
                              {}));
    }
}

// Whether `event` is the one an event node of type `type_name` stands for.
// Only `uniforms` events make node types, so only they are matched: an event
// of another kind that happens to share the name must not drive the node.
bool event_matches(const Event* event, std::string_view type_name) {
    return event && event->type == EventType::uniforms && type_name.size() == event->name.size() + kEventSuffix.size() &&
           type_name.starts_with(event->name) && type_name.ends_with(kEventSuffix);
}

// Position of the node's event in the demo's list, kept in state slot 0;
// looked up again while unknown or when the kept position no longer holds it.
Event* find_event(std::vector<MaybeValue>& state, RunContext& ctx) {
    const auto& events = ctx.demo.events;
    const std::string_view type_name = ctx.node.def->name;
    MaybeValue& slot = state[0];
    if (slot.hasValue) {
        const int32_t at = slot.value.as_int();
        if (at >= 0 && static_cast<size_t>(at) < events.size() && event_matches(events[at].get(), type_name))
            return events[at].get();
        slot.reset();
    }
    for (size_t i = 0; i < events.size(); ++i) {
        if (event_matches(events[i].get(), type_name)) {
            slot.set(Nodes::make_int(static_cast<int32_t>(i)));
            return events[i].get();
        }
    }
    return nullptr;
}

}  // namespace

void run_event_node(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs,
                    std::vector<MaybeValue>& state, RunContext& ctx) {
    if (state.empty() || inputs.empty() || !ctx.node.def) return;
    Event* event = find_event(state, ctx);
    if (!event || !inputs[0].hasValue) return;
    const float time = inputs[0].value.as_float();
    if (!event->is_active(time)) {
        ctx.node.blocked = true;
        return;
    }
    ctx.node.blocked = false;
    const size_t count = std::min(event->uniform_defs.size(), outputs.size());
    for (size_t i = 0; i < count; ++i) {
        const UniformDef& def = event->uniform_defs[i];
        Nodes::MaybeValue& out = outputs[i];
        if (def.is_string) {
            std::string text = event->evaluate_text(def.name, time, ctx.current_beat);
            if (out.value.type != Nodes::kind_string) out.value.clear();
            out.value.type = Nodes::kind_string;
            out.value.text = std::move(text);
            out.hasValue = true;
        } else {
            out.set(Nodes::make_float(event->evaluate_value(def.name, time)));
        }
    }
}

void register_content_node_types(Demo& demo) {
    NodeRegistry& registry = NodeRegistry::instance();
    registry.set_current_demo(&demo);
    register_programs(demo, registry);
    register_events(demo, registry);
    register_scenes(demo, registry);
}
