// Node: the root of what a scene draws, naming one Model of the content.
//
// Binary body: name (string), model identity (uint64, 0 = none). JSON form:
// {"name", "model": the model's filename}. The reference is bound after all
// lists are read, through resolve_references (binary) or resolve_names (JSON).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serialization/identity.h"
#include "serialization/serializable.h"

class Model;

class Node : public ISerializable {
public:
    std::string name;
    Model* model = nullptr;

    // What was stored for `model`, kept until (and after) resolution so that
    // an unresolved reference can be reported and written back unchanged.
    uint64_t model_identity = 0;
    std::string model_name;

    Node() = default;
    explicit Node(ContentReader& in) { read(in); }

    void resolve_references(const IdentityMap& map);
    void resolve_names(const NameMaps& names);
    // One line per stored model reference that did not resolve.
    std::vector<std::string> unresolved() const;

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};
