// Choice enumerators over the lists of the registry's current demo, used by
// the "shader", "textureID" and "font_texture" inputs. They list nothing while
// no demo is current.
#pragma once

#include "nodes/node_type.h"

namespace Nodes {

void enumerate_shader_choices(void* user, ChoiceVisitor visit);        // by fragment_shader_filename
void enumerate_texture_choices(void* user, ChoiceVisitor visit);       // by texture name
void enumerate_font_texture_choices(void* user, ChoiceVisitor visit);  // by font texture name

}  // namespace Nodes
