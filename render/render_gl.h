// The GPU side of the rendering records: building shader programs, creating
// and uploading textures, opening fonts, rendering font textures, and the
// effect's framebuffer, input binding and draw. Everything here needs a
// current GL context (3.x core) and lives in the device library; the records
// themselves (render/*.h) stay GL-free.
//
// Life: the loader calls build_program / upload_texture / open_font right
// after each record is read, create_picture and create_targets once
// references are bound, then rebuild_program for every program (now with the
// whole shader list, so #include lines expand) and create_targets again.
// Per frame: draw_effect, or bind_inputs + set_builtin_uniforms + own draw +
// unbind_units from the rendering nodes.
//
// Failure is never fatal: a program that did not compile keeps its GL name
// and a log, a texture that did not decode is 0 x 0 with GL name 0, an effect
// without program or quad draws nothing. Diagnostics go to standard output.
#pragma once

#include <cstdint>
#include <string_view>

#include "render/effect.h"
#include "render/font.h"
#include "render/font_texture.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "render/texture_surface_sdl.h"

// ---- shader programs ----------------------------------------------------

// Compiles (explicit source lengths) and links, recording each compile log
// (printed and kept in compile_log; "Compilation successful." when empty),
// appending "\nLINKER ERROR: <log>" on a link log, then looks up the built-in
// locations, samplers, `vp`, MatricesBlock (bound to point 0) and each uniform
// definition's location, and resets the four unit slots to units 0..3.
// `shaders` is the content's program list for #include expansion, or null
// while the content is still being read.
void build_program(ShaderProgram& program, const ShaderList* shaders);
// Deletes the program and both shaders, then builds again.
void rebuild_program(ShaderProgram& program, const ShaderList* shaders);

// Fills the built-in uniforms of `program`, which must be in use: beat,
// iTime2, sound, sound_texture (16), samplers i -> unit i, resolution (render
// size), camera_position and camera_rotation (zero). Skips absent ones.
void set_builtin_uniforms(const ShaderProgram& program);
// glUniform1f(location, default_val) for every definition with a location.
void set_uniform_defs(const ShaderProgram& program);

// ---- textures and fonts -------------------------------------------------

// A 2D RGBA8 texture from `rgba` (null: undefined contents), the given wrap
// mode on S and T, linear filtering, mipmaps generated. Stays bound.
uint32_t create_texture(int32_t width, int32_t height, const void* rgba, int32_t wrap_mode);
// A 1 x 1 texture of one colour (float upload), linear, GL_REPEAT on S, T and
// R. Texture 0 is bound afterwards.
uint32_t create_solid_texture(float r, float g, float b, float a);

// Decodes texture.image (any format SDL2_image reads) into RGBA bytes, first
// row = top of the image, and uploads it (clamp to edge). Undecodable bytes
// leave the texture at GL name 0 and size 0 x 0, silently.
// Same as upload_decoded_texture(texture, decode_texture(texture, max).get()).
void upload_texture(Texture& texture);
// The decoding half, without GL and safe on any thread: an RGBA surface of
// the picture (bytes R, G, B, A), or null when the bytes do not decode or
// either side exceeds `max_size` (max_texture_size(), asked beforehand).
SurfacePtr decode_texture(const Texture& texture, int32_t max_size);
// The GL half: the texture from `rgba`; null leaves GL name 0 and 0 x 0.
void upload_decoded_texture(Texture& texture, SDL_Surface* rgba);
// GL_MAX_TEXTURE_SIZE of the current context.
int32_t max_texture_size();
// Makes `texture` a zero-filled RGBA texture of the given size named
// "Texture <address> (<w> x <h>)".
void make_blank_texture(Texture& texture, int32_t width, int32_t height);

// Opens font.font_data at font.ptsize. Bytes that do not open leave
// open_font empty (text then renders as nothing).
void open_font(Font& font);

// Creates the zero-filled picture surface and its GL texture. Call once the
// font reference is bound.
void create_picture(FontTexture& picture);
// Renders `text` in white, wrapped at the picture width, centred when asked,
// cut at the bottom and right, and uploads the picture. The same text as last
// time does nothing and returns false; otherwise returns true.
bool set_text(FontTexture& picture, std::string_view text);

// ---- effects ------------------------------------------------------------

// Creates the quad (bound to the program's position attribute), the
// framebuffer and its render-size colour texture. Prints
// "FB Error! Status: 0x<status>" for an incomplete framebuffer. Needs the
// program; without one it does nothing.
void create_targets(Effect& effect);
// Deletes what create_targets made; the names become 0.
void delete_targets(Effect& effect);
// Makes sure the copy buffer and copy texture exist at the render size.
void ensure_copy_target(Effect& effect);
// Uses `program` and binds, one unit each from unit 0: the copy texture
// (feedback), the textures, the font textures, the input effects' pictures,
// a fresh screen copy (after which the screen is cleared to black), then, with
// a scene, its shadow map and three empty material units whose numbers go to
// the program's unit slots; uploads the scene model's joint matrices to the
// MatricesBlock buffer. Returns the number of units used.
int bind_inputs(Effect& effect, ShaderProgram& program);
// Binds texture 0 on units 0 .. count-1.
void unbind_units(int count);
// Draws the effect into the bound framebuffer: the quad with the program, or,
// with a scene, a shadow pass into the scene's shadow framebuffer (made on the
// scene's first shadow pass) and then the main pass into framebuffer 0.
void draw_effect(Effect& effect);
