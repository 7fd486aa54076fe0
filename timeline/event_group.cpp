#include "timeline/event_group.h"

#include "timeline/event.h"
#include "timeline/json_fields.h"
#include "timeline/messages.h"

void EventGroup::resolve_references(const IdentityMap& identities) {
    // Nothing stored in the binary form (built in memory or read from JSON):
    // leave the members as they are.
    if (member_ids.empty()) return;
    events.resize(member_ids.size());
    for (size_t i = 0; i < member_ids.size(); ++i) events[i] = resolve_identity<Event>(identities, member_ids[i]);
}

void EventGroup::resolve_names(const NameMaps& names) {
    if (member_names.empty()) return;
    events.resize(member_names.size());
    for (size_t i = 0; i < member_names.size(); ++i)
        events[i] = member_names[i].empty() ? nullptr : resolve_name(names.events, member_names[i]);
}

std::vector<std::string> EventGroup::unresolved() const {
    std::vector<std::string> lines;
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i]) continue;
        if (i < member_ids.size() && member_ids[i] != 0)
            lines.push_back(timeline_messages::unresolved_identity("event group", name, "member event", member_ids[i]));
        if (i < member_names.size() && !member_names[i].empty())
            lines.push_back(timeline_messages::unresolved_name("event group", name, "member event", member_names[i]));
    }
    return lines;
}

nlohmann::json EventGroup::to_json(bool) const {
    nlohmann::json members = nlohmann::json::array();
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i]) members.push_back(events[i]->name);
        else members.push_back(i < member_names.size() ? member_names[i] : std::string());
    }
    return nlohmann::json{{"name", name}, {"events", std::move(members)}};
}

void EventGroup::write(ContentWriter& out) const {
    out.write_string(name);
    out.write_u64(events.size());
    for (const Event* member : events) out.write_reference(member);
}

void EventGroup::from_json(const nlohmann::json& json) {
    using namespace timeline_json;
    static constexpr const char* kRecord = "event group";
    require_object(json, kRecord);
    name = get_string(json, "name", kRecord);
    member_ids.clear();
    member_names.clear();
    if (const nlohmann::json* list = get_array(json, "events", kRecord)) {
        member_names.reserve(list->size());
        for (const nlohmann::json& member : *list) {
            if (!member.is_string())
                throw ContentError("content error while reading event group JSON: \"events\" must hold event names");
            member_names.push_back(member.get<std::string>());
        }
    }
    events.assign(member_names.size(), nullptr);
}

void EventGroup::read(ContentReader& in) {
    name = in.read_string("event group name");
    const uint64_t count = in.read_count("event group member count", 8);
    member_names.clear();
    member_ids.resize(count);
    for (uint64_t i = 0; i < count; ++i) member_ids[i] = in.read_u64("event group member identity");
    events.assign(count, nullptr);
}
