#include "render/image_shader.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>

namespace {

// ------------------------------------------------------------------ text

// Strips a leading UTF-8 byte-order mark and turns CR LF and lone CR line
// ends into LF; compilers count lines by LF only and some reject a BOM.
std::string normalise(std::string_view text) {
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
        static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF)
        text.remove_prefix(3);
    std::string out;
    out.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    if (!out.empty() && out.back() != '\n') out += '\n';
    return out;
}

bool is_ident_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_ident_char(char c) { return is_ident_start(c) || (c >= '0' && c <= '9'); }

// ------------------------------------------------------------------ tokens

enum class Kind { ident, number, punct, space, comment, directive };

struct Token {
    Kind kind;
    size_t begin, end;
};

std::vector<Token> tokenize(const std::string& s) {
    std::vector<Token> out;
    size_t i = 0;
    bool line_start = true;  // only blanks since the last line end
    while (i < s.size()) {
        const size_t b = i;
        const char c = s[i];
        if (c == '\n' || c == ' ' || c == '\t' || c == '\f' || c == '\v') {
            while (i < s.size() && (s[i] == '\n' || s[i] == ' ' || s[i] == '\t' || s[i] == '\f' || s[i] == '\v')) {
                if (s[i] == '\n') line_start = true;
                ++i;
            }
            out.push_back({Kind::space, b, i});
            continue;
        }
        if (c == '#' && line_start) {
            // A directive runs to the line end, over backslash continuations.
            while (i < s.size() && s[i] != '\n') {
                if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
                ++i;
            }
            out.push_back({Kind::directive, b, i});
            continue;
        }
        line_start = false;
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
            while (i < s.size() && s[i] != '\n') ++i;
            out.push_back({Kind::comment, b, i});
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            const size_t close = s.find("*/", i + 2);
            i = close == std::string::npos ? s.size() : close + 2;
            out.push_back({Kind::comment, b, i});
        } else if (is_ident_start(c)) {
            while (i < s.size() && is_ident_char(s[i])) ++i;
            out.push_back({Kind::ident, b, i});
        } else if ((c >= '0' && c <= '9') || (c == '.' && i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '9')) {
            while (i < s.size() && (is_ident_char(s[i]) || s[i] == '.' ||
                                    ((s[i] == '+' || s[i] == '-') && (s[i - 1] == 'e' || s[i - 1] == 'E'))))
                ++i;
            out.push_back({Kind::number, b, i});
        } else {
            ++i;
            out.push_back({Kind::punct, b, i});
        }
    }
    return out;
}

// Names the wrapper declares itself: a shader that uses them for its own
// things gets them renamed, or its variables would hide (or clash with) the
// player's uniforms.
const std::set<std::string, std::less<>> kTakenNames = {"beat", "resolution", "tex", "tex1", "tex2", "tex3",
                                                        "qv_fragColor", "qv_color", "qv_seconds_per_beat"};

std::string renamed(std::string_view name) { return std::string(name) + "_img"; }

// Renames taken names inside a directive's text (a #define may use them).
std::string rename_in_directive(std::string_view text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text.substr(i, 2) == "//") {
            out += text.substr(i);
            break;
        }
        if (is_ident_start(text[i]) && (i == 0 || !is_ident_char(text[i - 1]))) {
            size_t e = i;
            while (e < text.size() && is_ident_char(text[e])) ++e;
            const std::string_view word = text.substr(i, e - i);
            out += kTakenNames.count(word) ? renamed(word) : std::string(word);
            i = e;
        } else {
            out += text[i++];
        }
    }
    return out;
}

// One of the two parts (common, image) with its tokens and the edits made to
// them: a token with a replacement is written as the replacement.
struct Part {
    std::string text;
    std::vector<Token> tokens;
    std::vector<std::optional<std::string>> replace;
    std::vector<size_t> code;  // indices of the tokens that are code (no blanks, comments, directives)

    explicit Part(std::string_view raw) : text(normalise(raw)), tokens(tokenize(text)), replace(tokens.size()) {
        for (size_t i = 0; i < tokens.size(); ++i)
            if (tokens[i].kind == Kind::ident || tokens[i].kind == Kind::number || tokens[i].kind == Kind::punct)
                code.push_back(i);
    }
    std::string_view at(size_t token) const {
        return std::string_view(text).substr(tokens[token].begin, tokens[token].end - tokens[token].begin);
    }
    std::string_view code_at(size_t k) const { return k < code.size() ? at(code[k]) : std::string_view(); }
    // Blanks out tokens first..last (token indices), keeping their line ends
    // so that line numbers below stay those of the file.
    void erase(size_t first, size_t last) {
        for (size_t i = first; i <= last && i < tokens.size(); ++i) {
            std::string keep;
            for (char c : at(i))
                if (c == '\n') keep += '\n';
            replace[i] = keep;
        }
    }
    std::string result() const {
        std::string out;
        for (size_t i = 0; i < tokens.size(); ++i) out += replace[i] ? *replace[i] : std::string(at(i));
        return out;
    }
};

// ------------------------------------------------------------------ statements

// Image-shader inputs that the wrapper provides; a declaration of one of them
// in the shader (shaders written for other players carry their own) goes.
const std::set<std::string, std::less<>> kProvided = {
    "iResolution", "iTime", "iGlobalTime", "iTimeDelta", "iFrame", "iFrameRate", "iMouse", "iDate",
    "iSampleRate", "iChannel0", "iChannel1", "iChannel2", "iChannel3", "iChannelResolution", "iChannelTime"};

int channel_index(std::string_view name) {
    if (name.size() == 9 && name.substr(0, 8) == "iChannel" && name[8] >= '0' && name[8] <= '3') return name[8] - '0';
    return -1;
}

struct Analysis {
    bool has_main_image = false;
    bool has_main = false;
    std::optional<ChannelKind> declared[4];  // from the shader's own declarations
    std::vector<std::string> includes;       // #include lines, as written
    std::vector<std::string> extensions;     // #extension lines, moved to the top
    std::set<std::string> defined;           // names the shader defines as macros
};

// Walks one part at global scope: drops the version line, moves extension
// lines, comments out includes, drops declarations of provided inputs and
// (when `drop_own_main` is set) every `main` and global `out`, and renames
// taken names.
void edit_part(Part& part, bool drop_own_main, Analysis& found) {
    for (size_t i = 0; i < part.tokens.size(); ++i) {
        if (part.tokens[i].kind == Kind::directive) {
            std::string_view d = part.at(i);
            size_t p = 1;
            while (p < d.size() && (d[p] == ' ' || d[p] == '\t')) ++p;
            const std::string_view word = d.substr(p);
            if (word.substr(0, 7) == "version") {
                part.replace[i] = "";
            } else if (word.substr(0, 9) == "extension") {
                found.extensions.emplace_back(d);
                part.replace[i] = "";
            } else if (word.substr(0, 7) == "include") {
                found.includes.emplace_back(d);
                part.replace[i] = "// " + std::string(d) + "  (not a GLSL directive: left out)";
            } else {
                if (word.substr(0, 6) == "define") {
                    size_t n = 6;
                    while (n < word.size() && (word[n] == ' ' || word[n] == '\t')) ++n;
                    size_t e = n;
                    while (e < word.size() && is_ident_char(word[e])) ++e;
                    found.defined.emplace(word.substr(n, e - n));
                }
                part.replace[i] = rename_in_directive(d);
            }
        } else if (part.tokens[i].kind == Kind::ident && kTakenNames.count(part.at(i))) {
            part.replace[i] = renamed(part.at(i));
        }
    }

    int depth = 0;
    size_t stmt = 0;  // first code token (index into part.code) of the current global statement
    for (size_t k = 0; k < part.code.size(); ++k) {
        const std::string_view t = part.code_at(k);
        if (depth == 0 && t == "(" && k >= 1 && k - 1 == stmt + 1 && part.code_at(k - 1) == "mainImage")
            found.has_main_image = true;
        if (t == "{") {
            if (depth == 0 && k == stmt + 4 + (part.code_at(stmt + 3) == "void" ? 1 : 0) &&
                part.code_at(stmt) == "void" && part.code_at(stmt + 1) == "main" && part.code_at(stmt + 2) == "(") {
                found.has_main = true;
                // Find the body's end, then drop the whole definition.
                int d = 0;
                size_t e = k;
                for (; e < part.code.size(); ++e) {
                    if (part.code_at(e) == "{") ++d;
                    if (part.code_at(e) == "}" && --d == 0) break;
                }
                if (drop_own_main) part.erase(part.code[stmt], part.code[std::min(e, part.code.size() - 1)]);
                k = e;
                stmt = k + 1;
                continue;
            }
            ++depth;
        } else if (t == "}") {
            if (depth > 0 && --depth == 0) stmt = k + 1;
        } else if (t == ";" && depth == 0) {
            // A global declaration from stmt to k.
            size_t q = stmt;
            if (part.code_at(q) == "layout") {
                int pd = 0;
                for (; q < k; ++q) {
                    if (part.code_at(q) == "(") ++pd;
                    if (part.code_at(q) == ")" && --pd == 0) break;
                }
                ++q;
            }
            const std::string_view qualifier = part.code_at(q);
            if (qualifier == "out" && drop_own_main) {
                part.erase(part.code[stmt], part.code[k]);
            } else if (qualifier == "uniform") {
                ++q;
                while (part.code_at(q) == "highp" || part.code_at(q) == "mediump" || part.code_at(q) == "lowp") ++q;
                const std::string_view type = part.code_at(q);
                bool all_provided = q + 1 < k;
                std::vector<int> channels;
                for (size_t n = q + 1; n < k; ++n) {
                    const std::string_view w = part.code_at(n);
                    if (w == "," || w == "[" || w == "]" || part.tokens[part.code[n]].kind == Kind::number) continue;
                    if (!kProvided.count(w)) all_provided = false;
                    if (channel_index(w) >= 0) channels.push_back(channel_index(w));
                }
                if (all_provided) {
                    for (int c : channels) {
                        if (type == "samplerCube") found.declared[c] = ChannelKind::cube_map;
                        else if (type == "sampler3D") found.declared[c] = ChannelKind::texture_3d;
                        else found.declared[c] = ChannelKind::texture_2d;
                    }
                    part.erase(part.code[stmt], part.code[k]);
                }
            }
            stmt = k + 1;
        }
    }
}

// ------------------------------------------------------------------ channel kinds
//
// Image shaders sample cube maps and volumes through the same iChannel names
// as pictures, and the text does not say which. The kind is read from how a
// channel is used: handed to a function whose parameter is a samplerCube or
// sampler3D, or sampled with a coordinate of three components (a direction
// of a cube map; a volume when fetched by texel).

struct Code {
    std::vector<std::string_view> words;  // the code tokens of both parts, common first
};

bool is_swizzle(std::string_view w) {
    if (w.empty() || w.size() > 4) return false;
    const std::string_view sets[] = {"xyzw", "rgba", "stpq"};
    for (std::string_view set : sets)
        if (std::all_of(w.begin(), w.end(), [&](char c) { return set.find(c) != std::string_view::npos; }))
            return true;
    return false;
}

int components_of_type(std::string_view type) {
    if (type == "float" || type == "int" || type == "uint" || type == "bool") return 1;
    if (type.size() >= 4 && (type.substr(type.size() - 4, 3) == "vec") && type.back() >= '2' && type.back() <= '4')
        return type.back() - '0';
    return 0;
}

// Components of the variable or function `name`, from the first declaration
// of it in the code ("vec3 name" or "vec3 name("), 0 when none is found.
int declared_components(const Code& code, std::string_view name, bool function) {
    for (size_t i = 1; i < code.words.size(); ++i) {
        if (code.words[i] != name) continue;
        const bool call = i + 1 < code.words.size() && code.words[i + 1] == "(";
        if (call != function) continue;
        const int n = components_of_type(code.words[i - 1]);
        if (n) return n;
    }
    return 0;
}

const std::set<std::string, std::less<>> kSameTypeFunctions = {
    "normalize", "reflect", "refract", "abs", "sign", "floor", "ceil", "fract", "mod", "min", "max", "clamp",
    "mix", "sin", "cos", "tan", "asin", "acos", "atan", "exp", "log", "exp2", "log2", "pow", "sqrt",
    "inversesqrt", "step", "smoothstep", "round", "trunc", "radians", "degrees", "faceforward"};

int expression_components(const Code& code, size_t first, size_t last, int depth);

// How deep nested parentheses are followed; deeper ones count as unknown, so
// that a hostile text cannot exhaust the stack.
constexpr int kMaxExpressionDepth = 32;

// Components of one operand (no binary operator at its top level).
int operand_components(const Code& code, size_t first, size_t last, int depth) {
    if (depth > kMaxExpressionDepth) return 0;
    while (first < last && (code.words[first] == "-" || code.words[first] == "+" || code.words[first] == "!")) ++first;
    if (first >= last) return 0;
    // A trailing swizzle decides.
    if (last - first >= 2 && code.words[last - 2] == "." && is_swizzle(code.words[last - 1]))
        return static_cast<int>(code.words[last - 1].size());
    const std::string_view head = code.words[first];
    if (head == "(" && code.words[last - 1] == ")") return expression_components(code, first + 1, last - 1, depth + 1);
    if (first + 1 < last && code.words[first + 1] == "(") {
        if (int n = components_of_type(head)) return n;  // a constructor
        if (head == "length" || head == "dot" || head == "distance") return 1;
        if (head == "cross") return 3;
        if (kSameTypeFunctions.count(head)) {
            size_t e = first + 2;
            int d = 0;
            for (; e < last - 1; ++e) {
                if (code.words[e] == "(") ++d;
                if (code.words[e] == ")") --d;
                if (d == 0 && code.words[e] == ",") break;
            }
            return expression_components(code, first + 2, e, depth + 1);
        }
        return declared_components(code, head, true);
    }
    if (code.words[last - 1] == "]") return 0;  // an array element: not followed
    if (last - first == 1 && (head[0] >= '0' && head[0] <= '9')) return 1;
    // A variable, maybe a member: the last name of the chain is looked up.
    return declared_components(code, code.words[last - 1], false);
}

// Components of an expression: the first operand with a vector type (a
// scalar times a vector is that vector); for a choice, its first branch.
int expression_components(const Code& code, size_t first, size_t last, int depth) {
    if (depth > kMaxExpressionDepth) return 0;
    int d = 0;
    for (size_t i = first; i < last; ++i) {
        const std::string_view w = code.words[i];
        if (w == "(" || w == "[") ++d;
        if (w == ")" || w == "]") --d;
        if (d == 0 && w == "?") {
            size_t colon = i + 1;
            for (int dd = 0; colon < last; ++colon) {
                if (code.words[colon] == "(") ++dd;
                if (code.words[colon] == ")") --dd;
                if (dd == 0 && code.words[colon] == ":") break;
            }
            return expression_components(code, i + 1, colon, depth + 1);
        }
    }
    size_t start = first;
    d = 0;
    int operands = 0;
    for (size_t i = first; i <= last && operands < 8; ++i) {
        const std::string_view w = i < last ? code.words[i] : std::string_view(",");
        if (w == "(" || w == "[") ++d;
        if (w == ")" || w == "]") --d;
        const bool binary = d == 0 && i > start && (w == "+" || w == "-" || w == "*" || w == "/" || w == ",");
        if (binary) {
            const int n = operand_components(code, start, i, depth + 1);
            if (n > 1) return n;
            start = i + 1;
            ++operands;
        }
    }
    return 0;
}

// The kind of function parameter `index` of function `name`, if a definition
// declares it as a sampler.
std::optional<ChannelKind> parameter_kind(const Code& code, std::string_view name, size_t index) {
    for (size_t i = 1; i + 1 < code.words.size(); ++i) {
        // A definition or declaration: the name follows its return type.
        const std::string_view before = code.words[i - 1];
        if (code.words[i] != name || code.words[i + 1] != "(" || !is_ident_start(before[0]) || before == "return" ||
            before == "else")
            continue;
        size_t param = 0;
        for (size_t j = i + 2; j < code.words.size() && code.words[j] != ")"; ++j) {
            if (code.words[j] == ",") ++param;
            if (param != index) continue;
            if (code.words[j] == "samplerCube") return ChannelKind::cube_map;
            if (code.words[j] == "sampler3D") return ChannelKind::texture_3d;
            if (code.words[j] == "sampler2D") return ChannelKind::texture_2d;
        }
    }
    return std::nullopt;
}

void infer_channels(const Code& code, std::optional<ChannelKind> kinds[4]) {
    const std::set<std::string, std::less<>> lookups = {"texture", "textureLod", "textureGrad", "textureOffset",
                                                        "textureLodOffset", "texelFetch", "textureCube",
                                                        "textureCubeLod", "texture3D", "texture2D", "textureSize"};
    // Each look-up scans the whole text: a few uses of a channel decide, and
    // a text that names a channel a million times does not take hours.
    int attempts[4] = {0, 0, 0, 0};
    for (size_t i = 2; i < code.words.size(); ++i) {
        const int c = channel_index(code.words[i]);
        if (c < 0 || kinds[c] || ++attempts[c] > 16) continue;
        // The call the channel is an argument of, and its position there.
        size_t open = i - 1, arg = 0;
        for (int d = 0; open > 0; --open) {
            const std::string_view w = code.words[open];
            if (w == ")" || w == "]") ++d;
            if ((w == "(" || w == "[") && d-- == 0) break;
            if (d == 0 && w == ",") ++arg;
            if (d == 0 && (w == ";" || w == "{" || w == "}")) break;
        }
        if (code.words[open] != "(" || open == 0) continue;
        const std::string_view callee = code.words[open - 1];
        if (!lookups.count(callee)) {
            if (auto k = parameter_kind(code, callee, arg)) kinds[c] = *k;
            continue;
        }
        if (arg != 0) continue;
        if (callee == "textureCube" || callee == "textureCubeLod") {
            kinds[c] = ChannelKind::cube_map;
            continue;
        }
        if (callee == "texture3D") {
            kinds[c] = ChannelKind::texture_3d;
            continue;
        }
        if (callee == "texture2D" || callee == "textureSize" || i + 1 >= code.words.size() || code.words[i + 1] != ",")
            continue;
        size_t end = i + 2;
        for (int d = 0; end < code.words.size(); ++end) {
            const std::string_view w = code.words[end];
            if (w == "(" || w == "[") ++d;
            if ((w == ")" || w == "]") && d-- == 0) break;
            if (d == 0 && w == ",") break;
        }
        const int n = expression_components(code, i + 2, end, 0);
        if (n == 3) kinds[c] = callee == "texelFetch" ? ChannelKind::texture_3d : ChannelKind::cube_map;
        else if (n == 2) kinds[c] = ChannelKind::texture_2d;
    }
}

// ------------------------------------------------------------------ writing

std::string number_text(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(v));
    std::string s = buf;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

const char* sampler_type(ChannelKind k) {
    switch (k) {
    case ChannelKind::cube_map: return "samplerCube";
    case ChannelKind::texture_3d: return "sampler3D";
    default: return "sampler2D";
    }
}

}  // namespace

ImageShader wrap_image_shader(std::string_view image, std::string_view common, std::string_view title,
                              float seconds_per_beat) {
    ImageShader out;
    Part common_part(common), image_part(image);
    const bool has_common = !common_part.tokens.empty() && common.find_first_not_of(" \t\r\n") != std::string_view::npos;

    // First pass: does the shader bring mainImage? Then its own main goes.
    Analysis probe;
    {
        Part c = common_part, m = image_part;
        edit_part(c, false, probe);
        edit_part(m, false, probe);
    }
    const bool wrap = probe.has_main_image;
    Analysis found;
    if (has_common) edit_part(common_part, wrap, found);
    edit_part(image_part, wrap, found);
    out.drawable = wrap || probe.has_main;

    Code code;
    for (const Part* p : {&common_part, &image_part})
        for (size_t k : p->code) code.words.push_back(p->at(k));
    std::optional<ChannelKind> kinds[4];
    for (int c = 0; c < 4; ++c) kinds[c] = found.declared[c];
    infer_channels(code, kinds);

    for (int c = 0; c < 4; ++c) {
        const ChannelKind k = kinds[c].value_or(ChannelKind::texture_2d);
        if (k == ChannelKind::cube_map) out.unmapped.push_back("iChannel" + std::to_string(c) + " as a cube map");
        if (k == ChannelKind::texture_3d) out.unmapped.push_back("iChannel" + std::to_string(c) + " as a 3D texture");
    }
    if (!has_common)
        for (const std::string& inc : found.includes) out.unmapped.push_back(inc + " (give it with --common)");
    if (!out.drawable) out.unmapped.push_back("no mainImage and no main");

    std::string s = "#version 150\n";
    for (const std::string& e : found.extensions) s += e + "\n";
    // Image shaders are written for GLSL ES 3.00, which has some functions
    // that GLSL 1.50 only gets from extensions; ask for those a shader calls.
    static const struct {
        const char* function;
        const char* extension;
    } kNewerFunctions[] = {
        {"floatBitsToInt", "GL_ARB_shader_bit_encoding"}, {"floatBitsToUint", "GL_ARB_shader_bit_encoding"},
        {"intBitsToFloat", "GL_ARB_shader_bit_encoding"}, {"uintBitsToFloat", "GL_ARB_shader_bit_encoding"},
        {"packHalf2x16", "GL_ARB_shading_language_packing"}, {"unpackHalf2x16", "GL_ARB_shading_language_packing"},
        {"packUnorm2x16", "GL_ARB_shading_language_packing"}, {"unpackUnorm2x16", "GL_ARB_shading_language_packing"},
        {"packSnorm2x16", "GL_ARB_shading_language_packing"}, {"unpackSnorm2x16", "GL_ARB_shading_language_packing"},
    };
    std::set<std::string> wanted;
    for (const auto& f : kNewerFunctions)
        if (std::find(code.words.begin(), code.words.end(), f.function) != code.words.end()) wanted.insert(f.extension);
    for (const std::string& e : wanted) s += "#extension " + e + " : enable\n";
    s += "// ";
    s += title;
    s += ": an image shader, imported. The lines up to \"shader\" below map the\n"
         "// names image shaders use onto what the player sets; the shader follows as\n"
         "// it was written, and the main at the end calls its mainImage.\n\n";
    s += "uniform float beat;        // demo time in beats\n"
         "uniform vec2 resolution;   // size of the picture being drawn\n";
    static const char* const kSamplerNames[4] = {"tex", "tex1", "tex2", "tex3"};
    for (int c = 0; c < 4; ++c) {
        const ChannelKind k = kinds[c].value_or(ChannelKind::texture_2d);
        s += "uniform ";
        s += sampler_type(k);
        s += " ";
        s += kSamplerNames[c];
        s += ";";
        if (k == ChannelKind::texture_2d)
            s += c == 0 ? "  // iChannel0: the node's \"tex\" input" : "";
        else
            s += "  // nothing of this kind is bound: it reads black";
        s += "\n";
    }
    if (wrap) s += "out vec4 qv_fragColor;\n";
    s += "\n// iTime counts seconds; the tempo is the project's when the shader was\n"
         "// imported (change this line when the tempo changes).\n";
    s += "const float qv_seconds_per_beat = " + number_text(seconds_per_beat) + ";\n";
    // A macro the shader defines itself is left to it: defining it twice
    // would not compile.
    auto define = [&](const std::string& name, const std::string& body) {
        if (!found.defined.count(name)) s += "#define " + name + " " + body + "\n";
    };
    define("iTime", "(beat * qv_seconds_per_beat)");
    define("iGlobalTime", "iTime");
    define("iTimeDelta", "(1.0 / 60.0)");
    define("iFrameRate", "60.0");
    define("iFrame", "int(iTime * 60.0)");
    define("iResolution", "vec3(resolution, 1.0)");
    define("iMouse", "vec4(0.0)  // no mouse in a demo");
    define("iDate", "vec4(2000.0, 0.0, 1.0, iTime)  // a fixed day; the clock runs with the demo");
    define("iSampleRate", "44100.0");
    for (int c = 0; c < 4; ++c) define("iChannel" + std::to_string(c), kSamplerNames[c]);
    define("iChannelTime", "float[4](iTime, iTime, iTime, iTime)");
    std::string sizes = "vec3[4](";
    for (int c = 0; c < 4; ++c) {
        const ChannelKind k = kinds[c].value_or(ChannelKind::texture_2d);
        if (c) sizes += ", ";
        sizes += k == ChannelKind::texture_3d ? "vec3(textureSize(" + std::string(kSamplerNames[c]) + ", 0))"
                                              : "vec3(textureSize(" + std::string(kSamplerNames[c]) + ", 0), 1.0)";
    }
    define("iChannelResolution", sizes + ")");
    // Older image shaders call the GLSL ES 1.00 lookups, which 1.50 dropped.
    define("texture2D", "texture");
    define("textureCube", "texture");
    define("texture3D", "texture");
    define("texture2DLod", "textureLod");
    define("textureCubeLod", "textureLod");
    if (has_common) {
        s += "\n// ---- common\n";
        s += common_part.result();
    }
    s += "\n// ---- shader\n";
    s += image_part.result();
    if (wrap) {
        s += "// ---- end of shader\n\n"
             "void main() {\n"
             "    vec4 qv_color;\n"
             "    mainImage(qv_color, gl_FragCoord.xy);\n"
             "    qv_fragColor = vec4(qv_color.rgb, 1.0);  // image shaders show opaque, whatever their alpha\n"
             "}\n";
    }
    out.source = std::move(s);
    return out;
}

std::string describe_unmapped(const ImageShader& shader) {
    std::string line;
    for (const std::string& u : shader.unmapped) {
        if (!line.empty()) line += "; ";
        line += u;
    }
    return line;
}
