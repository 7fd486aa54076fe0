#version 150
uniform float beat;
uniform vec2 resolution;
uniform sampler2D tex;
out vec4 fragColor;
void main() {
    vec2 uv = gl_FragCoord.xy / resolution;
    vec4 c = texture(tex, uv + 0.01 * vec2(sin(beat + uv.y * 10.0), 0.0));
    fragColor = vec4(c.rgb * 0.9, 1.0);
}
