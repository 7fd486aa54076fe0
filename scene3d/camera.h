// Camera: eye, where it looks, and a perspective or orthographic lens.
//
// Binary body (53 bytes): position, direction, up (3 floats each), aspect,
// fov, znear, zfar (floats), direction_mode (1 byte). JSON keys are the field
// names; "direction_mode" may be absent (false). `orthographic` and
// `ortho_half_size` are never stored: cameras read from content are
// perspective, light cameras are orthographic.
#pragma once

#include <glm/glm.hpp>

#include "serialization/serializable.h"

class Camera : public ISerializable {
public:
    glm::vec3 position{0.0f, 0.0f, 5.0f};
    // direction_mode false: the point looked at. true: the viewing direction
    // (any non-zero length).
    glm::vec3 direction{0.0f, 0.0f, 0.0f};
    glm::vec3 up{0.0f, 1.0f, 0.0f};
    float aspect = 16.0f / 9.0f;
    float fov = 45.0f;  // vertical, degrees
    float znear = 0.1f;
    float zfar = 1000.0f;
    bool direction_mode = false;

    bool orthographic = false;
    float ortho_half_size = 100.0f;

    static constexpr size_t kBodyBytes = 53;

    Camera() = default;
    explicit Camera(ContentReader& in) { read(in); }

    // The orthographic camera every scene casts its shadows from: at
    // (300, 50, 0) looking at the origin, 200 x 200 units wide, depth 1..1000.
    static Camera light();

    // Unit-free viewing direction: `direction` itself in direction mode,
    // otherwise target minus eye.
    glm::vec3 viewing_direction() const;

    // Right-handed look-at (the camera looks down its negative z axis).
    glm::mat4 view_matrix() const;
    // Column-major; perspective from fov/aspect/znear/zfar, or the
    // orthographic box of half-size `ortho_half_size`.
    glm::mat4 projection_matrix() const;

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};
