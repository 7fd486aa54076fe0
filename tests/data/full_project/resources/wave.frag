#version 150
uniform float beat;
uniform vec2 resolution;
uniform sampler2D tex;
uniform float gain;
out vec4 fragColor;
#include "resources/common.frag"
void main() {
    vec2 uv = gl_FragCoord.xy / resolution;
    fragColor = vec4(shade(uv) * gain, 1.0) + texture(tex, uv) * 0.1;
}
