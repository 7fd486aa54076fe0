// EventGroup: a named set of events (membership only; the events are owned by
// the demo content).
//
// Binary body: name string; uint64 member count; that many event identities.
// JSON form: {"name", "events": [event names]}.
// After reading, `events` holds one null entry per stored member and the
// stored identities (or names) wait in member_ids / member_names until
// resolve_references / resolve_names binds them; a member that is not in the
// content stays null.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serialization/identity.h"
#include "serialization/serializable.h"

class Event;

class EventGroup : public ISerializable {
public:
    std::string name;
    std::vector<Event*> events;  // members in stored order (not owned; null if unresolved)

    // What was stored for the members, one entry per member.
    std::vector<uint64_t> member_ids;
    std::vector<std::string> member_names;

    EventGroup() = default;
    explicit EventGroup(ContentReader& in) { read(in); }

    // Empty name length prefix and member count.
    static constexpr size_t kMinBinaryBytes = 8 + 8;

    void resolve_references(const IdentityMap& identities);
    void resolve_names(const NameMaps& names);
    std::vector<std::string> unresolved() const;

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};
