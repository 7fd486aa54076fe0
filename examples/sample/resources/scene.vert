#version 330 core
// Vertex stage of the 3D part: world position and normal for the lighting,
// and the position as the light camera saw it, for the shadow map.

layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;

uniform mat4 uModelViewProjMatrix;
uniform mat4 uModelMatrix;
uniform mat4 uLightMVPMatrix;

out vec3 vWorldPosition;
out vec3 vNormal;
out vec4 vLightPosition;

void main() {
    vWorldPosition = (uModelMatrix * vec4(aPosition, 1.0)).xyz;
    // The model's scales keep box faces square to their normals, so the
    // model matrix itself carries normals well enough.
    vNormal = mat3(uModelMatrix) * aNormal;
    vLightPosition = uLightMVPMatrix * vec4(aPosition, 1.0);
    gl_Position = uModelViewProjMatrix * vec4(aPosition, 1.0);
}
