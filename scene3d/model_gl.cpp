// GPU side of a Model: textures from the glTF images, one GL buffer per glTF
// buffer, one VAO per primitive, and the joint-matrix block of a skinned
// model. Only documents that passed validation reach GL, so every pointer
// and element range set up here lies inside its buffer.
#include <GL/glew.h>

#include <cstdint>
#include <iostream>
#include <vector>

#include "render/render_gl.h"
#include "render/texture.h"
#include "scene3d/messages.h"
#include "scene3d/model.h"
#include "scene3d/model_validation.h"
#include "scene3d/sparse_accessor.h"

namespace {

struct AttributeSlot {
    const char* name;
    GLuint location;
    bool integer;  // reaches the shader as integers
};

constexpr AttributeSlot kAttributeSlots[] = {
    {"POSITION", 0, false}, {"NORMAL", 1, false}, {"TEXCOORD_0", 2, false}, {"JOINTS_0", 3, true},
    {"WEIGHTS_0", 4, false},
};

// The decoder gives four channels of 8 bits, or 16 bits for 16-bit PNGs;
// those keep their high bytes. Anything else (an image that did not decode)
// gets no GL texture.
std::unique_ptr<Texture> make_texture(const tinygltf::Image& image) {
    auto texture = std::make_unique<Texture>();
    texture->name = image.name;
    texture->width = image.width;
    texture->height = image.height;
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
    if (image.width <= 0 || image.height <= 0 || image.width > max_size || image.height > max_size ||
        image.component != 4)
        return texture;
    const size_t pixels = static_cast<size_t>(image.width) * image.height;
    if (image.bits == 8 && image.image.size() >= pixels * 4) {
        texture->gl_texture = create_texture(image.width, image.height, image.image.data(), GL_CLAMP_TO_EDGE);
    } else if (image.bits == 16 && image.image.size() >= pixels * 8) {
        std::vector<uint8_t> narrowed(pixels * 4);
        for (size_t i = 0; i < narrowed.size(); ++i) narrowed[i] = image.image[2 * i + 1];  // little-endian high byte
        texture->gl_texture = create_texture(image.width, image.height, narrowed.data(), GL_CLAMP_TO_EDGE);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

// A buffer of its own holding a sparse accessor written out densely, left
// bound to `target`.
GLuint upload_dense(const tinygltf::Model& d, const tinygltf::Accessor& a, std::vector<uint32_t>& dense_buffers,
                    GLenum target) {
    const std::vector<uint8_t> bytes = dense_accessor_bytes(d, a);
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(target, buffer);
    glBufferData(target, static_cast<GLsizeiptr>(bytes.size()), bytes.data(), GL_STATIC_DRAW);
    dense_buffers.push_back(buffer);
    return buffer;
}

void set_up_primitive(const tinygltf::Model& d, const tinygltf::Primitive& p, const std::vector<uint32_t>& buffers,
                      std::vector<uint32_t>& dense_buffers) {
    for (const AttributeSlot& slot : kAttributeSlots) {
        auto it = p.attributes.find(slot.name);
        if (it == p.attributes.end()) continue;
        const tinygltf::Accessor& a = d.accessors[it->second];
        const GLint components = gltf_component_count(a.type);
        GLsizei stride = 0;
        const void* offset = nullptr;
        glEnableVertexAttribArray(slot.location);
        if (a.sparse.isSparse) {
            upload_dense(d, a, dense_buffers, GL_ARRAY_BUFFER);  // tightly packed from its start
        } else {
            const tinygltf::BufferView& v = d.bufferViews[a.bufferView];
            stride = static_cast<GLsizei>(v.byteStride);
            offset = reinterpret_cast<const void*>(static_cast<uintptr_t>(v.byteOffset + a.byteOffset));
            glBindBuffer(GL_ARRAY_BUFFER, buffers[v.buffer]);
        }
        if (slot.integer)
            glVertexAttribIPointer(slot.location, components, static_cast<GLenum>(a.componentType), stride, offset);
        else
            glVertexAttribPointer(slot.location, components, static_cast<GLenum>(a.componentType), GL_FALSE, stride,
                                  offset);
    }
    if (p.indices >= 0) {
        const tinygltf::Accessor& a = d.accessors[p.indices];
        if (a.sparse.isSparse)
            upload_dense(d, a, dense_buffers, GL_ELEMENT_ARRAY_BUFFER);  // the vertex array keeps it
        else
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[d.bufferViews[a.bufferView].buffer]);
    }
}

}  // namespace

void Model::create_gpu_resources() {
    textures.clear();
    vaos.clear();
    gl_buffers.clear();
    dense_buffers.clear();
    ready = false;

    if (valid) {
        const tinygltf::Model& d = document;
        for (const tinygltf::Image& image : d.images) textures.push_back(make_texture(image));

        gl_buffers.resize(d.buffers.size());
        if (!gl_buffers.empty()) glGenBuffers(static_cast<GLsizei>(gl_buffers.size()), gl_buffers.data());
        for (size_t i = 0; i < d.buffers.size(); ++i) {
            glBindBuffer(GL_ARRAY_BUFFER, gl_buffers[i]);
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(d.buffers[i].data.size()), d.buffers[i].data.data(),
                         GL_STATIC_DRAW);
        }
        glBindBuffer(GL_ARRAY_BUFFER, 0);

        for (size_t m = 0; m < d.meshes.size(); ++m) {
            const MeshRange range = mesh_ranges[m];
            vaos.resize(vaos.size() + range.count);
            if (range.count > 0) glGenVertexArrays(range.count, vaos.data() + range.first);
            for (int32_t k = 0; k < range.count; ++k) {
                glBindVertexArray(vaos[range.first + k]);
                set_up_primitive(d, d.meshes[m].primitives[k], gl_buffers, dense_buffers);
            }
        }
        glBindVertexArray(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);

        if (skeleton) {
            glGenBuffers(1, &joint_matrix_buffer);
            glBindBuffer(GL_UNIFORM_BUFFER, joint_matrix_buffer);
            glBufferData(GL_UNIFORM_BUFFER, kJointMatrixBufferBytes, nullptr, GL_DYNAMIC_DRAW);
            glBindBufferBase(GL_UNIFORM_BUFFER, 0, joint_matrix_buffer);
            glBindBuffer(GL_UNIFORM_BUFFER, 0);
        }
    }
    std::clog << scene3d_messages::kVaoCount << vaos.size() << std::endl;
    ready = true;
}
