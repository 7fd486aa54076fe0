#include "scene3d/scene.h"

#include "scene3d/json_fields.h"

void Scene::resolve_references(const IdentityMap& map) {
    if (root_node) root_node->resolve_references(map);
    camera_scene = resolve_identity<Scene>(map, camera_scene_identity);
}

void Scene::resolve_names(const NameMaps& names) {
    if (root_node) root_node->resolve_names(names);
    camera_scene = camera_scene_name.empty() ? nullptr : resolve_name(names.scenes, camera_scene_name);
}

std::vector<std::string> Scene::unresolved() const {
    std::vector<std::string> lines;
    if (root_node)
        for (std::string& line : root_node->unresolved()) lines.push_back("scene \"" + name + "\": " + line);
    if (!camera_scene) {
        if (camera_scene_identity != 0)
            lines.push_back("scene \"" + name + "\": camera scene identity " + std::to_string(camera_scene_identity) +
                            " not found");
        else if (!camera_scene_name.empty())
            lines.push_back("scene \"" + name + "\": camera scene \"" + camera_scene_name + "\" not found");
    }
    return lines;
}

Camera* Scene::active_camera() {
    if (shadow_pass) return &light_camera;
    if (!camera_scene) return camera.get();
    if (!camera_scene_only_direction) return camera_scene->camera.get();
    // Borrow only the direction. The write is meant to persist: the author
    // steers this scene's camera through the other scene's.
    if (camera && camera_scene->camera) camera->direction = camera_scene->camera->viewing_direction();
    return camera.get();
}

nlohmann::json Scene::to_json(bool external_files) const {
    nlohmann::json j = {{"name", name}};
    if (camera) j["camera"] = camera->to_json(external_files);
    if (root_node) j["root_node"] = root_node->to_json(external_files);
    const std::string borrowed = camera_scene ? camera_scene->name : camera_scene_name;
    if (!borrowed.empty()) j["camera_scene"] = borrowed;
    j["camera_scene_only_direction"] = camera_scene_only_direction;
    return j;
}

void Scene::write(ContentWriter& out) const {
    out.write_string(name);
    out.write_u64(camera ? 1 : 0);
    if (camera) camera->write(out);
    out.write_u64(root_node ? 1 : 0);
    if (root_node) root_node->write(out);
    out.write_reference(camera_scene);
    out.write_bool(camera_scene_only_direction);
}

namespace {

void reset_run_time(Scene& scene) {
    scene.camera_scene = nullptr;
    scene.light_camera = Camera::light();
    scene.shadow_pass = false;
}

}  // namespace

void Scene::from_json(const nlohmann::json& json) {
    using namespace scene3d_json;
    name = text(json, "scene", "name");
    camera.reset();
    if (json.contains("camera")) {
        camera = std::make_unique<Camera>();
        camera->from_json(json.at("camera"));
    }
    root_node.reset();
    if (json.contains("root_node")) {
        root_node = std::make_unique<Node>();
        root_node->from_json(json.at("root_node"));
    }
    camera_scene_name = json.contains("camera_scene") ? text(json, "scene", "camera_scene") : std::string();
    camera_scene_identity = 0;
    camera_scene_only_direction = flag_or(json, "scene", "camera_scene_only_direction", false);
    reset_run_time(*this);
}

void Scene::read(ContentReader& in) {
    name = in.read_string("scene name");
    camera.reset();
    if (in.read_u64("scene camera marker") != 0) camera = std::make_unique<Camera>(in);
    root_node.reset();
    if (in.read_u64("scene root-node marker") != 0) root_node = std::make_unique<Node>(in);
    camera_scene_identity = in.read_u64("scene camera_scene identity");
    camera_scene_name.clear();
    camera_scene_only_direction = in.read_bool("scene camera_scene_only_direction");
    reset_run_time(*this);
}
