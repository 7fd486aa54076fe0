#include "scene3d/node.h"

#include "scene3d/json_fields.h"
#include "scene3d/model.h"

void Node::resolve_references(const IdentityMap& map) { model = resolve_identity<Model>(map, model_identity); }

void Node::resolve_names(const NameMaps& names) {
    model = model_name.empty() ? nullptr : resolve_name(names.models, model_name);
}

std::vector<std::string> Node::unresolved() const {
    std::vector<std::string> lines;
    if (model) return lines;
    if (model_identity != 0)
        lines.push_back("node \"" + name + "\": model identity " + std::to_string(model_identity) + " not found");
    else if (!model_name.empty())
        lines.push_back("node \"" + name + "\": model \"" + model_name + "\" not found");
    return lines;
}

nlohmann::json Node::to_json(bool) const {
    return {{"name", name}, {"model", model ? model->filename : model_name}};
}

void Node::write(ContentWriter& out) const {
    out.write_string(name);
    out.write_reference(model);
}

void Node::from_json(const nlohmann::json& json) {
    name = scene3d_json::text(json, "node", "name");
    model_name = json.contains("model") ? scene3d_json::text(json, "node", "model") : std::string();
    model_identity = 0;
    model = nullptr;
}

void Node::read(ContentReader& in) {
    name = in.read_string("node name");
    model_identity = in.read_u64("node model identity");
    model_name.clear();
    model = nullptr;
}
