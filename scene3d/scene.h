// scene3d: the 3D side of the content. Models are glTF documents carried as
// GLB; a Scene pairs a root Node (naming a Model) with a Camera and owns a
// light camera and a shadow map. Animation data is built at load but not
// sampled during playback.
//
// Life: read (binary or JSON; models parse and validate their glTF on the
// CPU) -> references resolved by the content container -> GPU objects made by
// the loader's hooks (Model::create_gpu_resources, Scene::create_shadow_placeholder)
// -> per frame, Scene::draw with a linked program; the shadow map itself on
// the scene's first shadow pass (Scene::create_shadow_resources). Nothing is released during
// playback. This folder does not own programs, effects or the shadow-pass
// protocol (the effect drives that); it does not touch GL outside *_gl.cpp.
//
// Scene binary body: name; camera marker (uint64, non-zero: a Camera body
// follows); root-node marker (uint64, non-zero: a Node body follows);
// camera_scene identity (uint64); camera_scene_only_direction (1 byte).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene3d/camera.h"
#include "scene3d/node.h"
#include "serialization/identity.h"
#include "serialization/serializable.h"

class ShaderProgram;

class Scene : public ISerializable {
public:
    std::string name;
    std::unique_ptr<Camera> camera;
    std::unique_ptr<Node> root_node;
    Scene* camera_scene = nullptr;
    bool camera_scene_only_direction = false;

    // Stored reference to camera_scene, kept for reporting and rewriting.
    uint64_t camera_scene_identity = 0;
    std::string camera_scene_name;

    // Run-time state, never stored.
    Camera light_camera = Camera::light();
    int32_t shadow_width = 8192, shadow_height = 8192;
    uint32_t shadow_framebuffer = 0, shadow_depth_texture = 0;
    bool shadow_pass = false;  // set by the effect only around its shadow pass

    Scene() = default;
    explicit Scene(ContentReader& in) { read(in); }

    void resolve_references(const IdentityMap& map);
    void resolve_names(const NameMaps& names);
    std::vector<std::string> unresolved() const;

    // The camera to draw with: the light camera during the shadow pass, else
    // the own camera, the camera scene's camera, or the own camera with the
    // camera scene's viewing direction written into it (that write persists).
    // Null when no camera is available; drawing then does nothing.
    Camera* active_camera();

    // GPU side (scene_gl.cpp). At load: a 1 x 1 depth texture cleared to 1
    // (nothing in shadow) as the shadow depth texture, and no framebuffer. A
    // full map is 256 MB and most scenes never draw a shadow pass, so the
    // effect makes it on its first one. Needs a current context.
    void create_shadow_placeholder();
    // The shadow framebuffer and depth texture of
    // shadow_width x shadow_height (clamped to what the driver allows, which
    // updates the two fields). Prints "FB Error! Status: 0x%x\n" when the
    // framebuffer is incomplete. Needs a current context.
    void create_shadow_resources();
    // Draws the root node's model with `program`, which the caller has made
    // current. A scene without root node, model, camera or GPU objects draws
    // nothing.
    void draw(ShaderProgram& program);

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};
