#version 150
// The sky of the intro and the outro: slow clouds of coloured light drifting
// over twinkling stars. Written in image-shader style; the macros below map
// the usual names onto the uniforms the player sets.

uniform float beat;        // demo time in beats
uniform vec2 resolution;   // size of the picture being drawn
uniform int sound;         // loudness of the music, 0 .. 32767
uniform sampler2D tex;     // the noise picture (resources/noise.png)
uniform float hue;         // palette shift, driven by the "mood" event
uniform float glow;        // how bright the clouds burn

out vec4 fragColor;

#define iResolution resolution
#define iTime beat
#define fragCoord gl_FragCoord.xy
#define iChannel0 tex
#define mainImage main

// The noise picture tiles, but textures here clamp at their edges: wrap by hand.
float noise(vec2 p, int channel) {
    return texture(iChannel0, fract(p))[channel];
}

float fbm(vec2 p) {
    float v = 0.0;
    float a = 0.5;
    for (int i = 0; i < 5; i++) {
        v += a * noise(p, i % 3);
        p = mat2(1.6, 1.2, -1.2, 1.6) * p + 0.171;
        a *= 0.5;
    }
    return v / 0.97;
}

vec3 palette(float t) {
    return 0.5 + 0.5 * cos(6.2831853 * (t + hue + vec3(0.0, 0.33, 0.67)));
}

float hash(vec2 p) {
    return fract(sin(dot(p, vec2(127.1, 311.7))) * 43758.5453);
}

float stars(vec2 p) {
    vec2 cell = floor(p);
    float h = hash(cell);
    vec2 offset = vec2(hash(cell + 7.1), hash(cell + 3.7)) - 0.5;
    float d = length(fract(p) - 0.5 - offset * 0.6);
    float twinkle = 0.55 + 0.45 * sin(iTime * 2.5 + h * 40.0);
    return step(0.86, h) * twinkle * smoothstep(0.06 + 0.05 * h, 0.0, d);
}

void mainImage() {
    vec2 uv = (fragCoord - 0.5 * iResolution.xy) / iResolution.y;
    float level = float(sound) / 32768.0;
    float t = iTime * 0.02;

    vec2 p = uv * 0.3 + vec2(t, -0.6 * t);
    vec2 warp = vec2(fbm(p), fbm(p + vec2(0.37, 0.19)));
    float n = fbm(p + 0.45 * warp + vec2(0.0, 0.5 * t));

    float cloud = smoothstep(0.38, 0.9, n);
    // Colours stay near the hue of the moment; the hot cores lean a little further.
    vec3 col = palette(0.16 * n + 0.1 * warp.x - 0.1) * cloud * (0.35 + glow);
    col += 0.3 * palette(0.1 + 0.1 * warp.y) * pow(cloud, 3.0) * glow;
    col += vec3(0.015, 0.01, 0.04) * (1.0 - uv.y);                     // night floor
    col += stars(uv * 45.0) * (1.0 - cloud) * vec3(0.85, 0.9, 1.0);
    col *= 1.0 + 1.5 * level * glow;
    fragColor = vec4(col, 1.0);
}
