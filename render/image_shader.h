// Image shaders brought from elsewhere: a `mainImage(out vec4, in vec2)`
// function with the usual inputs (iResolution, iTime, iChannel0..3, ...),
// turned into a fragment source the player can store and compile as it is.
//
// Playback never adds anything to a stored source, so everything an image
// shader expects is written into the text: the GLSL version line, the
// player's uniforms (`beat`, `resolution`, `tex`..`tex3`), macros that map the
// image-shader names onto them, the shader's own text and a `main` that calls
// `mainImage`. No GL here: the tool and the tests use it without a context.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct ImageShader {
    // The GLSL 1.50 fragment source to store.
    std::string source;
    // What the shader uses that the player cannot give it, one short phrase
    // each ("iChannel0 as a cube map"); the source is written all the same.
    std::vector<std::string> unmapped;
    // False when the text holds neither `mainImage` nor a `main` of its own:
    // then it is no image shader and nothing would draw.
    bool drawable = true;
};

// What a sampler input of the shader is sampled as.
enum class ChannelKind { texture_2d, cube_map, texture_3d };

// Wraps `image` (the image part, as read from its file) and `common` (the
// shared part that image shaders put in front of every pass; may be empty).
// Both may carry a UTF-8 byte-order mark, Windows or old Mac line ends,
// their own `#version` line, declarations of the image-shader inputs and a
// `main` of their own calling `mainImage`; all of that is taken care of.
// `title` names the shader in the text's head comment. `seconds_per_beat`
// converts the demo's beat into the seconds that iTime counts (0.5 at 120
// beats per minute).
ImageShader wrap_image_shader(std::string_view image, std::string_view common, std::string_view title,
                              float seconds_per_beat);

// One line naming everything in `unmapped`, or empty when nothing is.
std::string describe_unmapped(const ImageShader& shader);
