// The texts the timeline records produce for people: warnings about references
// that did not bind (shown by the content tools). Kept together so that they
// are easy to find and to test.
#pragma once

#include <cstdint>
#include <string>

namespace timeline_messages {

// `owner` is the record kind ("event", "event group"), `owner_name` its name,
// `target` what the reference points at ("effect", "member event", ...).
std::string unresolved_identity(const char* owner, const std::string& owner_name, const char* target,
                                uint64_t identity);
std::string unresolved_name(const char* owner, const std::string& owner_name, const char* target,
                            const std::string& name);

}  // namespace timeline_messages
