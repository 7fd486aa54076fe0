#version 150
uniform vec4 uBaseColorFactor;
uniform int uTag;
out vec4 fragColor;
void main() {
    fragColor = vec4(uBaseColorFactor.rgb * (0.5 + 0.1 * float(uTag)), 1.0);
}
