// Decoding picture files into SDL surfaces, the one way textures, the tools'
// checks and anything else that reads a picture of the content do it.
#pragma once

#include <string>

#include "render/texture_surface_sdl.h"

class ByteBuffer;

// Decodes image bytes with SDL_image, which recognises most formats by their
// first bytes. TGA files carry no signature, so when that fails the type
// named by the extension of `name` (the texture's name, a file name) is tried
// as well. Null when neither decodes; `why` (when given) then holds
// SDL_image's reason. A TGA header asking for more than 16384 pixels a side
// is refused before anything is allocated.
SurfacePtr decode_image(const ByteBuffer& bytes, const std::string& name, std::string* why = nullptr);
