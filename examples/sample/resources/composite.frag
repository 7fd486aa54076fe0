#version 150
// The last pass, drawn to the screen: blends the sky and the tunnel, lays the
// 3D picture over them, adds spectrum bars, the title and the caption with a
// soft glow, then tone-maps, vignettes and fades the whole frame.

uniform float beat;
uniform vec2 resolution;
uniform int sound;
uniform sampler2D tex;         // the sky pass (nebula.frag)
uniform sampler2D texTunnel;   // the tunnel pass (tunnel.frag)
uniform sampler2D texScene;    // the 3D pass (scene.frag), transparent where empty
uniform sampler2D texTitle;    // FontTexture "title": white text on transparent
uniform sampler2D texCaption;  // FontTexture "caption"
uniform sampler2D texSound;    // spectrum and waveform
uniform float tunnel_mix;      // 0 sky only .. 1 tunnel in front
uniform float scene_alpha;     // how much of the 3D pass shows
uniform float title_alpha;
uniform float caption_alpha;
uniform float bars;            // height of the spectrum bars
uniform float flash;           // white flash at section changes
uniform float fade;            // 0 black .. 1 full picture
uniform float pulse;           // beat pulse (Time and Operator nodes)
uniform float hue;

out vec4 fragColor;

#define iResolution resolution
#define iTime beat
#define fragCoord gl_FragCoord.xy
#define iChannel0 tex
#define mainImage main

vec3 palette(float t) {
    return 0.5 + 0.5 * cos(6.2831853 * (t + hue + vec3(0.0, 0.33, 0.67)));
}

float hash(vec2 p) {
    return fract(sin(dot(p, vec2(12.9898, 78.233))) * 43758.5453);
}

// Coverage of a text picture whose centre sits at `center` (screen uv) and
// which spans `width` of the screen's width. Text pictures hold their top row
// first, hence the flip.
float text_at(sampler2D pic, vec2 uv, vec2 center, float width) {
    vec2 size = vec2(textureSize(pic, 0));
    if (size.x < 1.0 || size.y < 1.0) return 0.0;
    vec2 extent = vec2(width, width * size.y / size.x * iResolution.x / iResolution.y);
    vec2 p = (uv - center) / extent + 0.5;
    if (p.x < 0.0 || p.y < 0.0 || p.x > 1.0 || p.y > 1.0) return 0.0;
    return texture(pic, vec2(p.x, 1.0 - p.y)).a;
}

// Text with a halo: the sharp letters plus a ring of offset samples.
vec2 glowing_text(sampler2D pic, vec2 uv, vec2 center, float width, float spread) {
    float core = text_at(pic, uv, center, width);
    float halo = 0.0;
    for (int i = 0; i < 12; i++) {
        float a = float(i) * 0.5235988;
        halo += text_at(pic, uv + spread * vec2(cos(a), sin(a) * iResolution.x / iResolution.y), center, width);
    }
    return vec2(core, halo / 12.0);
}

vec3 spectrum_bars(vec2 uv) {
    const float count = 64.0;
    float i = floor(uv.x * count);
    float x = fract(uv.x * count);
    float level = texture(texSound, vec2((i + 0.5) / count * 0.3, 0.25)).r;
    float height = bars * (0.01 + 0.2 * level * level);
    float inside = step(0.15, x) * step(x, 0.85) * step(uv.y, height);
    return palette(0.3 * i / count - 0.1) * inside * (0.4 + 0.8 * uv.y / max(height, 1e-3));
}

void mainImage() {
    vec2 uv = fragCoord / iResolution.xy;
    vec2 from_centre = uv - 0.5;

    // Sky and tunnel; the tunnel splits its colours a little on each beat.
    vec3 sky = texture(iChannel0, uv).rgb;
    float split = 0.002 + 0.008 * pulse * tunnel_mix;
    vec3 tunnel = vec3(texture(texTunnel, uv - from_centre * split).r,
                       texture(texTunnel, uv).g,
                       texture(texTunnel, uv + from_centre * split).b);
    vec3 col = mix(sky, tunnel + 0.3 * sky, tunnel_mix);

    if (scene_alpha > 0.0) {
        vec4 scene = texture(texScene, uv);
        col = mix(col, scene.rgb, clamp(scene.a, 0.0, 1.0) * scene_alpha);
    }

    col += spectrum_bars(uv);

    // Tone-map before the text so the letters stay crisp white.
    col = vec3(1.0) - exp(-1.4 * col);

    vec2 title = glowing_text(texTitle, uv, vec2(0.5, 0.56), 0.62, 0.006);
    col = mix(col, col + palette(0.55) * 1.2, clamp(title.y * 1.5, 0.0, 1.0) * title_alpha);
    col = mix(col, vec3(1.0), title.x * title_alpha);

    vec2 caption = glowing_text(texCaption, uv, vec2(0.5, 0.3), 0.5, 0.003);
    col = mix(col, col * 0.35, clamp(caption.y * 2.0, 0.0, 1.0) * caption_alpha);   // dark halo for contrast
    col = mix(col, vec3(0.95, 0.97, 1.0), caption.x * caption_alpha);

    col = mix(col, vec3(1.0), clamp(flash, 0.0, 1.0) * 0.7);
    col *= 1.0 - 0.55 * dot(from_centre, from_centre) * 2.0;
    col += (hash(fragCoord + fract(iTime) * 91.0) - 0.5) * 0.025;
    fragColor = vec4(clamp(col, 0.0, 1.0) * fade, 1.0);
}
