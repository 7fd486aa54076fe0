#include "nodes/demo_choices.h"

#include "nodes/node_registry.h"
#include "serialization/demo.h"

namespace Nodes {
namespace {

// The index is the position in the list, so a missing element still takes
// its place (with an empty label).
template <typename Record, typename LabelOf>
void enumerate(const std::vector<std::unique_ptr<Record>>& list, void* user, ChoiceVisitor visit, LabelOf label_of) {
    for (size_t i = 0; i < list.size(); ++i)
        visit(static_cast<int32_t>(i), list[i] ? std::string_view(label_of(*list[i])) : std::string_view(), user);
}

}  // namespace

void enumerate_shader_choices(void* user, ChoiceVisitor visit) {
    if (const Demo* demo = NodeRegistry::instance().current_demo())
        enumerate(demo->shaders, user, visit, [](const ShaderProgram& p) -> const std::string& {
            return p.fragment_shader_filename;
        });
}

void enumerate_texture_choices(void* user, ChoiceVisitor visit) {
    if (const Demo* demo = NodeRegistry::instance().current_demo())
        enumerate(demo->textures, user, visit, [](const Texture& t) -> const std::string& { return t.name; });
}

void enumerate_font_texture_choices(void* user, ChoiceVisitor visit) {
    if (const Demo* demo = NodeRegistry::instance().current_demo())
        enumerate(demo->font_textures, user, visit, [](const FontTexture& t) -> const std::string& { return t.name; });
}

}  // namespace Nodes
