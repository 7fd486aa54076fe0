#version 150
in vec3 vp;
uniform mat4 uModelViewProjMatrix;
void main() {
    gl_Position = uModelViewProjMatrix * vec4(vp, 1.0);
}
