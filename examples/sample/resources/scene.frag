#version 330 core
// The 3D part: stone pillars and a metal cube lit by a low warm sun, whose
// shadows come from the shadow map, and a cool sky light from above. The
// glowing caps pulse with the beat and the loudness. Far away the plain fades
// out (alpha), so the sky of the composite shows through at the horizon.

in vec3 vWorldPosition;
in vec3 vNormal;
in vec4 vLightPosition;

uniform float beat;
uniform int sound;
uniform vec4 uBaseColorFactor;
uniform float uMetallicFactor;
uniform float uRoughnessFactor;
uniform vec3 uEmissiveFactor;
uniform vec3 uCameraPos;
uniform vec3 uLightDir;        // the renderer's light: straight down, used as the sky
uniform vec3 uLightColor;
uniform sampler2D uShadowMapTexture;
uniform int uIsShadowRenderPass;

out vec4 fragColor;

// Every scene's shadow map is drawn by its light camera at (300, 50, 0),
// looking at the origin: that is where the sun is.
const vec3 TO_SUN = vec3(0.98639392, 0.16439899, 0.0);
const vec3 SUN_COLOUR = vec3(1.0, 0.78, 0.56) * 2.4;

// Share of the sun reaching this point: 5 x 5 samples of the shadow map. A
// stored depth of 0 (at the light camera itself) means the map was never
// drawn, and then the sun shines everywhere rather than nowhere.
float sunlight(vec3 n) {
    vec3 p = vLightPosition.xyz / vLightPosition.w * 0.5 + 0.5;
    if (p.z >= 1.0 || p.x <= 0.0 || p.y <= 0.0 || p.x >= 1.0 || p.y >= 1.0) return 1.0;
    float bias = 0.00003 + 0.0002 * (1.0 - max(dot(n, TO_SUN), 0.0));
    vec2 texel = 1.5 / vec2(textureSize(uShadowMapTexture, 0));
    float lit = 0.0;
    for (int y = -2; y <= 2; y++) {
        for (int x = -2; x <= 2; x++) {
            float nearest = texture(uShadowMapTexture, p.xy + vec2(x, y) * texel).r;
            lit += nearest <= 0.0 ? 1.0 : step(p.z - bias, nearest);
        }
    }
    return lit / 25.0;
}

void main() {
    if (uIsShadowRenderPass == 1) {  // only depth matters
        fragColor = vec4(1.0);
        return;
    }
    vec3 n = normalize(vNormal);
    vec3 v = normalize(uCameraPos - vWorldPosition);
    if (dot(n, v) < 0.0) n = -n;  // faces are drawn from both sides

    vec3 base = uBaseColorFactor.rgb;
    float metal = clamp(uMetallicFactor, 0.0, 1.0);
    float rough = clamp(uRoughnessFactor, 0.04, 1.0);
    vec3 diffuse = base * (1.0 - metal);
    vec3 f0 = mix(vec3(0.04), base, metal);

    // Blinn-Phong with a shininess from the roughness, normalised.
    float shininess = 2.0 / (rough * rough) - 2.0;
    vec3 h = normalize(TO_SUN + v);
    float highlight = pow(max(dot(n, h), 0.0), shininess) * (shininess + 8.0) / 25.0;
    float facing = max(dot(n, TO_SUN), 0.0);
    vec3 sun = (diffuse + f0 * highlight) * SUN_COLOUR * facing * sunlight(n);

    vec3 to_sky = -uLightDir;
    vec3 sky = diffuse * uLightColor * vec3(0.45, 0.55, 0.9) * (0.55 + 0.45 * dot(n, to_sky));
    // What a shiny surface mirrors: dark ground below, a violet sky above.
    vec3 mirrored = reflect(-v, n);
    vec3 surroundings = mix(vec3(0.05, 0.04, 0.06), vec3(0.4, 0.32, 0.6), smoothstep(-0.2, 0.6, dot(mirrored, to_sky)));
    sky += f0 * surroundings * (1.0 - 0.7 * rough);

    float level = float(sound) / 32768.0;
    float pulse = exp(-4.0 * fract(beat));
    vec3 glow = uEmissiveFactor * (0.5 + 4.0 * level + 0.9 * pulse);

    float distance_to_eye = length(uCameraPos - vWorldPosition);
    float alpha = 1.0 - smoothstep(40.0, 75.0, distance_to_eye);
    fragColor = vec4(sun + sky + glow, alpha);
}
