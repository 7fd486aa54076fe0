#version 150
// The main part: flying down a tunnel of neon rings and spokes. The spokes
// light up with the low half of the spectrum, the rings flash on every beat,
// and the music's waveform is drawn as a ring around the vanishing point.

uniform float beat;
uniform vec2 resolution;
uniform int sound;
uniform sampler2D texSound;  // row 0: spectrum, row 1: waveform (SoundTexture node)
uniform float hue;
uniform float energy;        // 0 quiet .. 1 full drive
uniform float pulse;         // 1 on each beat, decaying to 0 before the next
uniform float twist;         // how much the tunnel winds

out vec4 fragColor;

#define iResolution resolution
#define iTime beat
#define fragCoord gl_FragCoord.xy
#define mainImage main

const float TAU = 6.2831853;
const float SPOKES = 16.0;

vec3 palette(float t) {
    return 0.5 + 0.5 * cos(TAU * (t + hue + vec3(0.0, 0.33, 0.67)));
}

float spectrum(float x) { return texture(texSound, vec2(x, 0.25)).r; }
float waveform(float x) { return texture(texSound, vec2(x, 0.75)).r - 0.5; }

void mainImage() {
    vec2 uv = (fragCoord - 0.5 * iResolution.xy) / iResolution.y;
    float level = float(sound) / 32768.0;
    float r = length(uv) + 1e-4;
    float around = atan(uv.y, uv.x) / TAU + 0.5;          // 0 .. 1 round the tunnel
    float far = 0.32 / r;                                 // how far down the tunnel
    float depth = far + iTime * 0.5;                      // one ring every two beats
    float u = around + twist * 0.04 * depth;

    // Spokes: each lit by its own band of the spectrum.
    float cell = fract(u * SPOKES);
    float band = floor(fract(u) * SPOKES) / SPOKES;
    float spoke = exp(-min(cell, 1.0 - cell) * 28.0) * (0.15 + 1.6 * spectrum(0.01 + 0.22 * band));

    // Rings: the nearest ones flash with the beat.
    float ring_pos = fract(depth);
    float ring = exp(-min(ring_pos, 1.0 - ring_pos) * 16.0) * (0.5 + 2.5 * pulse * exp(-far * 0.6));

    float fog = exp(-far * 0.3);
    vec3 lines = palette(0.03 * sin(depth) + 0.12 * abs(2.0 * band - 1.0)) * spoke + palette(0.12) * ring;
    vec3 col = lines * fog * (0.35 + 0.9 * energy);

    // The waveform as a trembling ring around the vanishing point, mirrored so
    // that its two ends meet.
    float radius = 0.2 + 0.12 * waveform(abs(2.0 * around - 1.0)) * (0.5 + energy);
    col += palette(0.45) * exp(-abs(r - radius) * 140.0) * (0.4 + 1.2 * energy);   // the complementary accent

    // Heat at the centre grows with the loudness.
    col += palette(0.05) * 0.015 / (r + 0.03) * (0.3 + 2.5 * level + pulse * energy);
    fragColor = vec4(col, 1.0);
}
