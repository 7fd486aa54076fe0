#include "scene3d/camera.h"

#include <cmath>

#include <glm/gtc/matrix_transform.hpp>

#include "scene3d/json_fields.h"

Camera Camera::light() {
    Camera c;
    c.position = {300.0f, 50.0f, 0.0f};
    c.direction = {0.0f, 0.0f, 0.0f};
    c.direction_mode = false;
    c.up = {0.0f, 1.0f, 0.0f};
    c.aspect = 1.0f;
    c.fov = 90.0f;
    c.znear = 1.0f;
    c.zfar = 1000.0f;
    c.orthographic = true;
    c.ortho_half_size = 100.0f;
    return c;
}

glm::vec3 Camera::viewing_direction() const { return direction_mode ? direction : direction - position; }

glm::mat4 Camera::view_matrix() const {
    const glm::vec3 target = direction_mode ? position + direction / glm::length(direction) : direction;
    return glm::lookAtRH(position, target, up);
}

glm::mat4 Camera::projection_matrix() const {
    glm::mat4 p(0.0f);
    const float depth = zfar - znear;
    if (orthographic) {
        const float h = ortho_half_size;
        p[0][0] = 1.0f / h;
        p[1][1] = 1.0f / h;
        p[2][2] = -2.0f / depth;
        p[3][2] = -(zfar + znear) / depth;
        p[3][3] = 1.0f;
    } else {
        // The degree conversion is written out (not glm::radians) so the
        // matrix matches the stored content's expectations bit for bit.
        const float t = std::tan(fov * 0.017453292f * 0.5f);
        p[0][0] = 1.0f / (t * aspect);
        p[1][1] = 1.0f / t;
        p[2][2] = -(zfar + znear) / depth;
        p[2][3] = -1.0f;
        p[3][2] = -(2.0f * zfar * znear) / depth;
    }
    return p;
}

nlohmann::json Camera::to_json(bool) const {
    using scene3d_json::from_vec3;
    return {{"position", from_vec3(position)},
            {"direction", from_vec3(direction)},
            {"up", from_vec3(up)},
            {"aspect", aspect},
            {"fov", fov},
            {"znear", znear},
            {"zfar", zfar},
            {"direction_mode", direction_mode}};
}

void Camera::write(ContentWriter& out) const {
    out.write_floats(&position.x, 3);
    out.write_floats(&direction.x, 3);
    out.write_floats(&up.x, 3);
    out.write_f32(aspect);
    out.write_f32(fov);
    out.write_f32(znear);
    out.write_f32(zfar);
    out.write_bool(direction_mode);
}

void Camera::from_json(const nlohmann::json& json) {
    using namespace scene3d_json;
    position = vec3(json, "camera", "position");
    direction = vec3(json, "camera", "direction");
    up = vec3(json, "camera", "up");
    aspect = number(json, "camera", "aspect");
    fov = number(json, "camera", "fov");
    znear = number(json, "camera", "znear");
    zfar = number(json, "camera", "zfar");
    direction_mode = flag_or(json, "camera", "direction_mode", false);
    orthographic = false;
    ortho_half_size = 100.0f;
}

void Camera::read(ContentReader& in) {
    in.read_floats(&position.x, 3, "camera position");
    in.read_floats(&direction.x, 3, "camera direction");
    in.read_floats(&up.x, 3, "camera up");
    aspect = in.read_f32("camera aspect");
    fov = in.read_f32("camera fov");
    znear = in.read_f32("camera znear");
    zfar = in.read_f32("camera zfar");
    direction_mode = in.read_bool("camera direction_mode");
    orthographic = false;
    ortho_half_size = 100.0f;
}
