#include "nodes/node_type.h"

#include <utility>

NodeType::NodeType(std::string name_, RunFunction run_, std::vector<Nodes::MaybeValue> state_,
                   std::vector<InputDef> inputs_, std::vector<OutputDef> outputs_)
    : name(std::move(name_)),
      label(derive_label(name)),
      inputs(std::move(inputs_)),
      outputs(std::move(outputs_)),
      state(std::move(state_)),
      run(run_) {}

std::string NodeType::derive_label(std::string_view name) {
    constexpr std::string_view kResources = "resources/";
    std::string label(name);
    if (name.starts_with(kResources)) {
        label = std::string(name.substr(kResources.size()));
        if (label.ends_with(".frag")) label = label.substr(0, label.size() - 5) + " (shader)";
    }
    // These look at the name itself, so "resources/x.event" labels as an event.
    if (name.ends_with(".event")) label = std::string(name.substr(0, name.size() - 6)) + " (event)";
    if (name.ends_with(".scene")) label = std::string(name.substr(0, name.size() - 6)) + " (scene)";
    // Capitalise a leading lower-case letter. The test is on the signed byte, so
    // a few punctuation bytes above 'Z' shift too and bytes from 128 up do not.
    if (!label.empty() && static_cast<int8_t>(label[0]) > 90) label[0] = static_cast<char>(label[0] - 32);
    return label;
}
