#version 150
uniform float beat;
uniform vec2 resolution;
uniform sampler2D tex;
uniform sampler2D texScene;
uniform float gain;
out vec4 fragColor;
void main() {
    vec2 uv = gl_FragCoord.xy / resolution;
    vec3 wave = 0.5 + 0.5 * cos(beat + uv.xyx * 6.0 + vec3(0.0, 2.0, 4.0));
    fragColor = vec4(wave * gain, 1.0) + 0.5 * texture(tex, uv) + 0.5 * texture(texScene, uv);
}
