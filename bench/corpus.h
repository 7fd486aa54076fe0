// A deterministic benchmark corpus: GLSL-like sources, JSON text and a
// binary-ish mix, generated so that every run measures the same bytes.
#pragma once

#include <cstdint>
#include <random>
#include <string>

inline std::string bench_glsl(size_t size, uint32_t seed = 1) {
    static const char* lines[] = {
        "uniform float beat;\n", "uniform vec2 resolution;\n", "uniform sampler2D tex;\n",
        "vec3 col = texture(tex, uv).rgb * 0.5;\n", "float d = length(p - vec2(0.5));\n",
        "for (int i = 0; i < 8; ++i) { p = abs(p) / dot(p, p) - 0.7; }\n", "out vec4 fragColor;\n",
        "#define iTime beat\n", "void mainImage(out vec4 c, in vec2 f) {\n", "}\n",
        "    col += 0.02 * sin(beat * 6.2831 + float(i));\n", "vec2 uv = fragCoord / iResolution.xy;\n"};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < size) {
        s += lines[rng() % 12];
        if (rng() % 4 == 0) s += "    float v" + std::to_string(rng() % 1000) + " = " + std::to_string(rng() % 97) + ".0;\n";
    }
    s.resize(size);
    return s;
}

inline std::string bench_json(size_t size, uint32_t seed = 2) {
    std::mt19937 rng(seed);
    std::string s = "{\"events\": [";
    while (s.size() < size) {
        s += "{\"name\": \"flash" + std::to_string(rng() % 50) + "\", \"start_beat\": " + std::to_string(rng() % 480) +
             ", \"end_beat\": " + std::to_string(rng() % 480) + ", \"control_points\": {\"intensity\": {\"mode\": " +
             std::to_string(rng() % 3) + ", \"repeat\": false, \"points\": [{\"beat\": " + std::to_string(rng() % 16) +
             ", \"value\": 0." + std::to_string(rng() % 1000) + "}]}}},\n";
    }
    s.resize(size);
    return s;
}

inline std::string bench_binary(size_t size, uint32_t seed = 3) {
    std::mt19937 rng(seed);
    std::string s;
    s.reserve(size);
    while (s.size() < size) {
        const uint32_t kind = rng() % 3;
        const size_t run = 16 + rng() % 256;
        for (size_t i = 0; i < run; ++i) {
            if (kind == 0) s.push_back(static_cast<char>(rng()));          // noise
            else if (kind == 1) s.push_back(static_cast<char>(i & 0x0F));  // pattern
            else s.push_back(static_cast<char>(0));                        // zeros
        }
    }
    s.resize(size);
    return s;
}
