// Skeleton and animation data of a model, built from its glTF skins and
// animations when the model is read. Playback keeps this data but never
// samples it: joint matrices stay all zero and no node is animated.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

namespace tinygltf {
class Model;
}

namespace Animation {

struct Joint {
    std::string name;
    glm::mat4 local_matrix{1.0f};  // the node's "matrix", identity when absent
    glm::mat4 inverse_bind_matrix{1.0f};
    bool has_translation = false, has_rotation = false, has_scale = false;
    glm::vec3 translation{0.0f};
    glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f};  // normalised
    glm::vec3 scale{1.0f};
    int32_t parent = -1;
    std::vector<int32_t> children;
};

struct Skeleton {
    std::string name;
    std::vector<Joint> joints;
    std::map<int32_t, int32_t> node_to_joint;  // glTF node -> joint index
    // What the effect uploads into the joint-matrix uniform block.
    std::vector<glm::mat4> joint_matrices;
};

enum Interpolation : int32_t { linear = 0, step = 1, cubic_spline = 2 };
enum Path : int32_t { translation = 0, rotation = 1, scale = 2, unsupported = -1 };

struct Sampler {
    std::vector<float> times;
    std::vector<glm::vec4> values;  // three-component outputs get w = 0
    int32_t interpolation = linear;
};

struct Channel {
    int32_t path = unsupported;
    int32_t sampler = -1;
    int32_t node = -1;
};

struct ModelAnimation {
    std::string name;
    std::vector<Sampler> samplers;
    std::vector<Channel> channels;
    float start_time = 0.0f, end_time = 0.0f;
};

struct Animations {
    std::vector<std::shared_ptr<ModelAnimation>> animations;
    std::unordered_map<std::string, std::shared_ptr<ModelAnimation>> by_name;
    std::unordered_map<std::string, int32_t> index_by_name;
};

// Rest pose of one animated node of a model without skin.
struct BasePose {
    int32_t node = -1;
    int32_t animation = -1;
    glm::vec3 translation{0.0f};
    glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f};
    glm::vec3 scale{1.0f};
    glm::mat4 matrix{1.0f};
};

struct Built {
    std::shared_ptr<Animations> animations;
    std::shared_ptr<Skeleton> skeleton;  // null without skin
    std::vector<BasePose> base_poses;
};

// Builds the animation data of a document that has passed model validation
// (every accessor, view, node and sampler reference in range). Prints
// "name of skeleton: ", "name of animation: " on standard output and "Kapot",
// "Boem kapot: path not supported" on standard error.
Built build(const tinygltf::Model& document);

}  // namespace Animation
