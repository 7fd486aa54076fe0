#include "check/lax_driver_habits.h"

#include <cctype>
#include <set>
#include <utility>

namespace {

struct Habit {
    const char* token;
    const char* lax;       // what lax drivers accept
    const char* portable;  // what every driver accepts
};

// HLSL names that some drivers take in GLSL.
constexpr Habit kHlslNames[] = {
    {"saturate", "saturate(x)", "clamp(x, 0.0, 1.0)"},
    {"lerp", "lerp(a, b, t)", "mix(a, b, t)"},
    {"frac", "frac(x)", "fract(x)"},
    {"atan2", "atan2(y, x)", "atan(y, x)"},
    {"fmod", "fmod(x, y)", "mod(x, y) (it rounds down, fmod toward zero: they differ for negative x)"},
    {"rsqrt", "rsqrt(x)", "inversesqrt(x)"},
    {"mul", "mul(m, v)", "m * v"},
    {"ddx", "ddx(x)", "dFdx(x)"},
    {"ddy", "ddy(x)", "dFdy(x)"},
    {"tex2D", "tex2D(s, uv)", "texture(s, uv)"},
    {"float2", "float2", "vec2"},
    {"float3", "float3", "vec3"},
    {"float4", "float4", "vec4"},
    {"half", "half", "float"},
    {"half2", "half2", "vec2"},
    {"half3", "half3", "vec3"},
    {"half4", "half4", "vec4"},
    {"int2", "int2", "ivec2"},
    {"int3", "int3", "ivec3"},
    {"int4", "int4", "ivec4"},
    {"bool2", "bool2", "bvec2"},
    {"bool3", "bool3", "bvec3"},
    {"bool4", "bool4", "bvec4"},
    {"float2x2", "float2x2", "mat2"},
    {"float3x3", "float3x3", "mat3"},
    {"float4x4", "float4x4", "mat4"},
};

// Legacy built-ins and their core-profile replacements.
const std::pair<const char*, const char*> kLegacyBuiltins[] = {
    {"texture1D", "texture"},        {"texture2D", "texture"},           {"texture3D", "texture"},
    {"textureCube", "texture"},      {"texture1DLod", "textureLod"},     {"texture2DLod", "textureLod"},
    {"texture3DLod", "textureLod"},  {"textureCubeLod", "textureLod"},   {"texture1DProj", "textureProj"},
    {"texture2DProj", "textureProj"}, {"texture3DProj", "textureProj"}, {"texture2DProjLod", "textureProjLod"},
    {"shadow1D", "texture"},         {"shadow2D", "texture"},            {"shadow2DProj", "textureProj"},
    {"shadow2DLod", "textureLod"},
    {"gl_FragColor", "an 'out vec4' of your own"},
    {"gl_FragData", "'out vec4' outputs of your own"},
};

// The first quoted word of a front-end message: "'saturate' : no matching ...".
std::string quoted_token(const std::string& message) {
    const size_t open = message.find('\'');
    if (open == std::string::npos) return {};
    const size_t close = message.find('\'', open + 1);
    if (close == std::string::npos) return {};
    return message.substr(open + 1, close - open - 1);
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool is_ident_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

}  // namespace

std::string lax_habit_hint(const std::string& message) {
    const std::string token = quoted_token(message);
    for (const Habit& h : kHlslNames)
        if (token == h.token) return std::string("lax drivers accept HLSL's ") + h.lax + "; portable: " + h.portable;
    if (contains(message, "variable indexing sampler array"))
        return "lax drivers accept a sampler array indexed by a non-constant expression; portable: index it "
               "with a constant (unroll the loop, or branch on the index)";
    if (contains(message, "cannot convert from"))
        return "lax drivers convert implicitly; portable: write the constructor (float(i), int(x), uint(n), "
               "v.xyz), since GLSL converts only int to float by itself";
    if (contains(message, "scalar swizzle")) return "lax drivers accept x.xxx on a scalar; portable: vec3(x)";
    if (contains(message, "Reserved word"))
        return "lax drivers accept it as a name; portable: rename it, the word is reserved in GLSL";
    if (token == "f" || contains(message, "float literal suffix"))
        return "lax drivers accept 1.0f before GLSL 1.30; portable: 1.0";
    return {};
}

std::vector<LegacyUse> legacy_builtins_in_core(const std::string& text) {
    // Words with comments blanked out, so positions stay where they were.
    std::string code = text;
    for (size_t i = 0; i < code.size(); ++i) {
        if (code.compare(i, 2, "//") == 0) {
            while (i < code.size() && code[i] != '\n') code[i++] = ' ';
        } else if (code.compare(i, 2, "/*") == 0) {
            const size_t end = code.find("*/", i + 2);
            const size_t stop = end == std::string::npos ? code.size() : end + 2;
            for (; i < stop; ++i)
                if (code[i] != '\n') code[i] = ' ';
            --i;
        }
    }
    std::set<std::string> own_macros;
    for (size_t at = code.find("#define"); at != std::string::npos; at = code.find("#define", at + 1)) {
        size_t b = at + 7;
        while (b < code.size() && (code[b] == ' ' || code[b] == '\t')) ++b;
        size_t e = b;
        while (e < code.size() && is_ident_char(code[e])) ++e;
        if (e > b) own_macros.insert(code.substr(b, e - b));
    }

    std::vector<LegacyUse> uses;
    int line = 1;
    size_t line_start = 0;
    for (size_t i = 0; i < code.size();) {
        if (code[i] == '\n') {
            ++line;
            line_start = ++i;
            continue;
        }
        if (!is_ident_char(code[i])) {
            ++i;
            continue;
        }
        size_t e = i;
        while (e < code.size() && is_ident_char(code[e])) ++e;
        const std::string word = code.substr(i, e - i);
        if (!own_macros.count(word)) {
            for (const auto& [legacy, modern] : kLegacyBuiltins) {
                if (word != legacy) continue;
                uses.push_back({line, static_cast<int>(i - line_start) + 1,
                                "'" + word + "' is not part of the core profile: drivers that accept it are lax; "
                                "portable: " + modern});
                break;
            }
        }
        i = e;
    }
    return uses;
}
