#include "scene3d/animation.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>
#include <utility>

#include <glm/gtc/type_ptr.hpp>
#include <tiny_gltf.h>

#include "scene3d/messages.h"
#include "scene3d/model_validation.h"
#include "scene3d/sparse_accessor.h"
#include "serialization/load_messages.h"

namespace Animation {
namespace {

// Start of an accessor's data. Only called for accessors that validation
// checked for the span about to be read. A sparse accessor is written out
// into `dense`, which must outlive the reading.
const uint8_t* accessor_data(const tinygltf::Model& d, int accessor, std::vector<uint8_t>& dense) {
    const tinygltf::Accessor& a = d.accessors[accessor];
    if (a.sparse.isSparse) {
        dense = dense_accessor_bytes(d, a);
        return dense.data();
    }
    const tinygltf::BufferView& v = d.bufferViews[a.bufferView];
    return d.buffers[v.buffer].data.data() + v.byteOffset + a.byteOffset;
}

glm::vec3 vec3_of(const std::vector<double>& v) {
    return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

// glTF stores x, y, z, w.
glm::quat quat_of(const std::vector<double>& v) {
    return glm::normalize(glm::quat(static_cast<float>(v[3]), static_cast<float>(v[0]), static_cast<float>(v[1]),
                                    static_cast<float>(v[2])));
}

glm::mat4 matrix_of(const tinygltf::Node& node) {
    glm::mat4 m(1.0f);
    if (node.matrix.size() == 16)
        for (int i = 0; i < 16; ++i) glm::value_ptr(m)[i] = static_cast<float>(node.matrix[i]);
    return m;
}

void link(Skeleton& skeleton, const tinygltf::Model& d, int node, int32_t parent) {
    // A node outside the skin is entered as joint 0, as the stored rigs expect.
    const int32_t joint = skeleton.node_to_joint[node];
    skeleton.joints[joint].parent = parent;
    for (int child : d.nodes[node].children) {
        skeleton.joints[joint].children.push_back(skeleton.node_to_joint[child]);
        link(skeleton, d, child, joint);
    }
}

std::shared_ptr<Skeleton> build_skeleton(const tinygltf::Model& d) {
    auto skeleton = std::make_shared<Skeleton>();
    const tinygltf::Skin& skin = d.skins[0];
    if (skin.inverseBindMatrices < 0) return skeleton;

    skeleton->name = skin.name;
    skeleton->joints.resize(skin.joints.size());
    skeleton->joint_matrices.assign(skin.joints.size(), glm::mat4(0.0f));
    load_printf("%s%s\n", scene3d_messages::kSkeletonName, skin.name.c_str());

    std::vector<uint8_t> dense;
    const uint8_t* inverse_binds = accessor_data(d, skin.inverseBindMatrices, dense);
    for (size_t i = 0; i < skin.joints.size(); ++i) {
        const int n = skin.joints[i];
        const tinygltf::Node& node = d.nodes[n];
        Joint& joint = skeleton->joints[i];
        joint.name = node.name;
        joint.local_matrix = matrix_of(node);
        std::memcpy(glm::value_ptr(joint.inverse_bind_matrix), inverse_binds + i * 64, 64);
        if ((joint.has_translation = node.translation.size() == 3)) joint.translation = vec3_of(node.translation);
        if ((joint.has_rotation = node.rotation.size() == 4)) joint.rotation = quat_of(node.rotation);
        if ((joint.has_scale = node.scale.size() == 3)) joint.scale = vec3_of(node.scale);
        skeleton->node_to_joint[n] = static_cast<int32_t>(i);
    }
    // A skin without joints has nothing to link (and no joint 0 to enter
    // strangers under).
    if (!skeleton->joints.empty()) link(*skeleton, d, skin.joints[0], -1);
    return skeleton;
}

BasePose base_pose(const tinygltf::Model& d, int node_index, int animation) {
    const tinygltf::Node& node = d.nodes[node_index];
    BasePose pose;
    pose.node = node_index;
    pose.animation = animation;
    if (node.translation.size() == 3) pose.translation = vec3_of(node.translation);
    if (node.rotation.size() == 4) pose.rotation = quat_of(node.rotation);
    if (node.scale.size() == 3) pose.scale = vec3_of(node.scale);
    pose.matrix = matrix_of(node);
    return pose;
}

Sampler build_sampler(const tinygltf::Model& d, const tinygltf::AnimationSampler& s) {
    Sampler sampler;
    sampler.interpolation = s.interpolation == "STEP" ? step : s.interpolation == "CUBICSPLINE" ? cubic_spline : linear;

    const tinygltf::Accessor& in = d.accessors[s.input];
    if (in.componentType == TINYGLTF_COMPONENT_TYPE_FLOAT && in.count > 0) {
        sampler.times.resize(in.count);
        std::vector<uint8_t> dense;
        std::memcpy(sampler.times.data(), accessor_data(d, s.input, dense), in.count * 4);
    }

    const tinygltf::Accessor& out = d.accessors[s.output];
    const int components = gltf_component_count(out.type);
    if (components == 3 || components == 4) {
        std::vector<uint8_t> dense;
        const uint8_t* data = accessor_data(d, s.output, dense);
        sampler.values.resize(out.count, glm::vec4(0.0f));
        for (size_t i = 0; i < out.count; ++i) std::memcpy(&sampler.values[i].x, data + i * components * 4, components * 4);
    } else {
        load_eprintf("%s\n", scene3d_messages::kBadSamplerOutput);
    }
    return sampler;
}

}  // namespace

Built build(const tinygltf::Model& d) {
    Built built;
    built.animations = std::make_shared<Animations>();

    if (!d.skins.empty()) {
        built.skeleton = build_skeleton(d);
    } else {
        std::set<std::pair<int, int>> seen;  // (animation, node)
        for (size_t a = 0; a < d.animations.size(); ++a)
            for (const tinygltf::AnimationChannel& ch : d.animations[a].channels)
                if (seen.emplace(static_cast<int>(a), ch.target_node).second)
                    built.base_poses.push_back(base_pose(d, ch.target_node, static_cast<int>(a)));
    }

    for (const tinygltf::Animation& source : d.animations) {
        load_printf("%s%s\n", scene3d_messages::kAnimationName, source.name.c_str());
        auto animation = std::make_shared<ModelAnimation>();
        animation->name = source.name;
        for (const tinygltf::AnimationSampler& s : source.samplers) animation->samplers.push_back(build_sampler(d, s));
        if (!animation->samplers.empty() && animation->samplers[0].times.size() >= 2) {
            animation->start_time = animation->samplers[0].times.front();
            animation->end_time = animation->samplers[0].times.back();
        }
        for (const tinygltf::AnimationChannel& ch : source.channels) {
            Channel channel;
            channel.sampler = ch.sampler;
            channel.node = ch.target_node;
            if (ch.target_path == "translation")
                channel.path = translation;
            else if (ch.target_path == "rotation")
                channel.path = rotation;
            else if (ch.target_path == "scale")
                channel.path = scale;
            else
                load_eprintf("%s\n", scene3d_messages::kPathNotSupported);
            animation->channels.push_back(channel);
        }
        const int32_t index = static_cast<int32_t>(built.animations->animations.size());
        built.animations->animations.push_back(animation);
        built.animations->by_name[animation->name] = animation;
        built.animations->index_by_name[animation->name] = index;
    }
    return built;
}

}  // namespace Animation
