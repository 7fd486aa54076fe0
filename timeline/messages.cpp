#include "timeline/messages.h"

namespace timeline_messages {

std::string unresolved_identity(const char* owner, const std::string& owner_name, const char* target,
                                uint64_t identity) {
    return std::string(owner) + " \"" + owner_name + "\": " + target + " with identity " + std::to_string(identity) +
           " is not in the content";
}

std::string unresolved_name(const char* owner, const std::string& owner_name, const char* target,
                            const std::string& name) {
    return std::string(owner) + " \"" + owner_name + "\": " + target + " \"" + name + "\" is not in the content";
}

}  // namespace timeline_messages
