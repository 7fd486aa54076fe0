#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "render/effect.h"
#include "render/font.h"
#include "render/font_texture.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "scene3d/scene.h"
#include "serialization/content_error.h"
#include "serialization/content_reader.h"
#include "serialization/content_writer.h"
#include "tests/support/record_bytes.h"

namespace {

using Identities = record_bytes::Identities;
using record_bytes::written;

std::vector<uint8_t> to_bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

template <typename T>
T read_back(const std::vector<uint8_t>& bytes) {
    ContentReader in(bytes);
    T record;
    record.read(in);
    EXPECT_TRUE(in.at_end());
    return record;
}

// Every strict prefix of a record's binary form must be refused with a
// ContentError, never read as something else or crash.
template <typename T>
void expect_every_prefix_fails(const std::vector<uint8_t>& bytes) {
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        ContentReader in(bytes.data(), cut);
        T record;
        EXPECT_THROW(record.read(in), ContentError) << "prefix of " << cut << " of " << bytes.size() << " bytes";
    }
}

ShaderProgram make_program(const std::string& fragment_file, const std::string& fragment_source) {
    ShaderProgram p;
    p.fragment_shader_filename = fragment_file;
    p.fragment_shader_source = fragment_source;
    return p;
}

// Runs a test body inside a fresh working directory: the external-files form
// only writes relative paths.
class RecordFiles : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        dir_ = std::filesystem::temp_directory_path() /
               ("qv_render_records_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
    }
    static std::string slurp(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }

    std::filesystem::path previous_, dir_;
};

}  // namespace

// ---- shader programs ------------------------------------------------------

TEST(ShaderProgram_Binary, RoundTripsEveryFieldAndResetsLocations) {
    ShaderProgram p = make_program("shaders/plasma.frag", std::string("void main(){}\0tail", 18));
    p.vertex_shader_filename = "shaders/plasma.vert";
    p.vertex_shader_source = std::string(300, 'v');
    UniformDef a;
    a.name = "speed";
    a.min_val = -2.0f;
    a.max_val = 8.5f;
    a.default_val = 1.25f;
    a.location = 7;  // run-time only: must not survive the trip
    UniformDef b;
    b.name = "caption";
    b.is_string = true;
    p.uniform_defs = {a, b};

    const ShaderProgram q = read_back<ShaderProgram>(written(p));
    EXPECT_EQ(q.vertex_shader_filename, p.vertex_shader_filename);
    EXPECT_EQ(q.vertex_shader_source, p.vertex_shader_source);
    EXPECT_EQ(q.fragment_shader_filename, p.fragment_shader_filename);
    EXPECT_EQ(q.fragment_shader_source, p.fragment_shader_source);
    ASSERT_EQ(q.uniform_defs.size(), 2u);
    EXPECT_EQ(q.uniform_defs[0].name, "speed");
    EXPECT_FLOAT_EQ(q.uniform_defs[0].min_val, -2.0f);
    EXPECT_FLOAT_EQ(q.uniform_defs[0].max_val, 8.5f);
    EXPECT_FLOAT_EQ(q.uniform_defs[0].default_val, 1.25f);
    EXPECT_EQ(q.uniform_defs[0].location, -1);
    EXPECT_TRUE(q.uniform_defs[1].is_string);
    EXPECT_EQ(written(q), written(p));
}

TEST(ShaderProgram_Binary, DefaultsAndHostileInput) {
    ShaderProgram fresh;
    EXPECT_EQ(std::string(fresh.vertex_shader_source).size(), 72u);
    EXPECT_EQ(fresh.vertex_shader_filename, "resources/default.vert");
    EXPECT_EQ(fresh.fragment_shader_filename, "resources/untitled.frag");
    EXPECT_TRUE(fresh.fragment_shader_source.empty());

    expect_every_prefix_fails<ShaderProgram>(written(make_program("a.frag", "x")));

    // A forged definition count far beyond what the stream holds is refused
    // before anything is sized from it.
    ContentWriter out;
    for (int i = 0; i < 4; ++i) out.write_string("s");
    out.write_u64(1ull << 40);
    const auto bytes = to_bytes(out.bytes());
    ContentReader in(bytes);
    ShaderProgram p;
    EXPECT_THROW(p.read(in), ContentError);
}

TEST_F(RecordFiles, ShaderProgram_JsonEmbeddedAndExternalForms) {
    ShaderProgram p = make_program("shaders/a.frag", "frag text");
    p.vertex_shader_filename = "shaders/a.vert";
    p.vertex_shader_source = "vert text";
    UniformDef d;
    d.name = "k";
    p.uniform_defs = {d};

    const nlohmann::json embedded = p.to_json(false);
    EXPECT_EQ(embedded.at("fragment_shader_source"), "frag text");
    ShaderProgram e;
    e.from_json(embedded);
    EXPECT_EQ(e.vertex_shader_source, "vert text");
    EXPECT_EQ(e.fragment_shader_source, "frag text");
    ASSERT_EQ(e.uniform_defs.size(), 1u);
    EXPECT_EQ(e.uniform_defs[0].name, "k");

    const nlohmann::json external = p.to_json(true);
    EXPECT_FALSE(external.contains("fragment_shader_source"));
    EXPECT_FALSE(external.contains("vertex_shader_source"));
    EXPECT_EQ(slurp("shaders/a.frag"), "frag text");
    EXPECT_EQ(slurp("shaders/a.vert"), "vert text");

    testing::internal::CaptureStdout();
    ShaderProgram x;
    x.from_json(external);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "Loading file shaders/a.vert\nLoading file shaders/a.frag\n");
    EXPECT_EQ(x.vertex_shader_source, "vert text");
    EXPECT_EQ(x.fragment_shader_source, "frag text");
}

TEST_F(RecordFiles, ShaderProgram_JsonMissingSourceFilesGiveEmptySources) {
    const nlohmann::json j = {{"vertex_shader_filename", "nowhere.vert"},
                              {"fragment_shader_filename", "nowhere.frag"},
                              {"uniform_defs", nlohmann::json::array()}};
    testing::internal::CaptureStdout();
    ShaderProgram p;
    p.from_json(j);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed,
              "Loading file nowhere.vert\n"
              "File nowhere.vert not found! Returning empty string, with possibly bad outcomes...\n"
              "Loading file nowhere.frag\n"
              "File nowhere.frag not found! Returning empty string, with possibly bad outcomes...\n");
    EXPECT_TRUE(p.vertex_shader_source.empty());
    EXPECT_TRUE(p.fragment_shader_source.empty());

    ShaderProgram q;
    EXPECT_THROW(q.from_json(nlohmann::json{{"vertex_shader_filename", 3}}), ContentError);
}

// ---- include expansion ----------------------------------------------------

TEST(ExpandIncludes, ReplacesFirstOccurrenceOnlyAndLeavesOwnNameAlone) {
    ShaderList list;
    list.push_back(std::make_unique<ShaderProgram>(make_program("lib/noise.frag", "NOISE")));
    list.push_back(std::make_unique<ShaderProgram>(
        make_program("main.frag", "#include \"lib/noise.frag\"\nA\n#include \"lib/noise.frag\"\n#include \"main.frag\"\n"
                                  "#include \"other.frag\"\n#include \"lib/noise.frag\" \n")));
    EXPECT_EQ(expand_includes(*list[1], &list),
              "NOISE\nA\n#include \"lib/noise.frag\"\n#include \"main.frag\"\n#include \"other.frag\"\n"
              "#include \"lib/noise.frag\" \n");
    // Before the content exists nothing is expanded.
    EXPECT_EQ(expand_includes(*list[1], nullptr), list[1]->fragment_shader_source);
    // Only the exact directive form counts.
    list[1]->fragment_shader_source = "#include  \"lib/noise.frag\"\n#include \"lib/noise.frag \"\n#include lib/noise.frag\n";
    EXPECT_EQ(expand_includes(*list[1], &list), list[1]->fragment_shader_source);
}

TEST(ExpandIncludes, SinglePassInListOrderInsertsStoredText) {
    // c includes b, b includes a. In list order a, b, c: expanding c inserts
    // b's stored text, whose directive for a is not expanded since a came first.
    ShaderList list;
    list.push_back(std::make_unique<ShaderProgram>(make_program("a.frag", "AAA")));
    list.push_back(std::make_unique<ShaderProgram>(make_program("b.frag", "B[#include \"a.frag\"]")));
    list.push_back(std::make_unique<ShaderProgram>(make_program("c.frag", "C[#include \"b.frag\"]")));
    EXPECT_EQ(expand_includes(*list[2], &list), "C[B[#include \"a.frag\"]]");

    // In the order b, c, a the nested directive comes in before a is visited.
    ShaderList reordered;
    reordered.push_back(std::move(list[1]));
    reordered.push_back(std::move(list[2]));
    reordered.push_back(std::move(list[0]));
    reordered[0]->expanded_fragment_source = "B-EXPANDED";  // must not be what gets inserted
    EXPECT_EQ(expand_includes(*reordered[1], &reordered), "C[B[AAA]]");
}

// ---- textures and fonts ---------------------------------------------------

TEST(Texture_Binary, RoundTripsAndEmptyImageKeepsStreamAligned) {
    Texture full("images/logo.png", ByteBuffer(std::vector<uint8_t>{1, 2, 3, 0, 255}));
    const Texture back = read_back<Texture>(written(full));
    EXPECT_EQ(back.name, "images/logo.png");
    EXPECT_EQ(back.image.data, full.image.data);

    // A texture with no bytes followed by another record: the second must
    // still read correctly.
    Texture empty;
    empty.name = "placeholder";
    ContentWriter out;
    empty.write(out);
    full.write(out);
    const auto bytes = to_bytes(out.bytes());
    ContentReader in(bytes);
    Texture first, second;
    first.read(in);
    second.read(in);
    EXPECT_TRUE(in.at_end());
    EXPECT_EQ(first.name, "placeholder");
    EXPECT_TRUE(first.image.empty());
    EXPECT_EQ(second.name, "images/logo.png");
    EXPECT_EQ(second.image.data, full.image.data);

    expect_every_prefix_fails<Texture>(written(full));
}

TEST_F(RecordFiles, Texture_JsonEmbeddedAndExternal) {
    Texture t("img/t.png", ByteBuffer(std::vector<uint8_t>{9, 8, 7}));
    Texture e;
    e.from_json(t.to_json(false));
    EXPECT_EQ(e.image.data, t.image.data);

    const nlohmann::json external = t.to_json(true);
    EXPECT_EQ(external, (nlohmann::json{{"name", "img/t.png"}}));
    EXPECT_EQ(slurp("img/t.png"), std::string("\x09\x08\x07"));
    Texture x;
    x.from_json(external);
    EXPECT_EQ(x.image.data, t.image.data);

    Texture missing;
    EXPECT_THROW(missing.from_json(nlohmann::json{{"name", "absent.png"}}), ContentError);
}

TEST_F(RecordFiles, Font_RoundTripsBothForms) {
    Font f;
    f.name = "Body";
    f.filename = "fonts/body.ttf";
    f.ptsize = 28;
    f.font_data.data = {0, 1, 0, 0, 42};

    const Font b = read_back<Font>(written(f));
    EXPECT_EQ(b.name, "Body");
    EXPECT_EQ(b.filename, "fonts/body.ttf");
    EXPECT_EQ(b.ptsize, 28);
    EXPECT_EQ(b.font_data.data, f.font_data.data);
    expect_every_prefix_fails<Font>(written(f));

    const nlohmann::json external = f.to_json(true);
    EXPECT_FALSE(external.contains("font_buffer"));
    EXPECT_EQ(external.at("ptsize"), 28);
    Font x;
    x.from_json(external);
    EXPECT_EQ(x.font_data.data, f.font_data.data);
    Font e;
    e.from_json(f.to_json(false));
    EXPECT_EQ(e.font_data.data, f.font_data.data);
}

TEST(FontTexture_Records, BinaryRoundTripAndIdentityResolution) {
    Font font;
    font.name = "Body";
    FontTexture t;
    t.name = "caption";
    t.width = 200;
    t.height = 40;
    t.font = &font;
    t.center = true;
    t.chars_per_beat = 12;
    const Identities ids = {{&font, 77}};

    FontTexture b = read_back<FontTexture>(written(t, &ids));
    EXPECT_EQ(b.name, "caption");
    EXPECT_EQ(b.width, 200);
    EXPECT_EQ(b.height, 40);
    EXPECT_TRUE(b.center);
    EXPECT_EQ(b.chars_per_beat, 12);
    EXPECT_EQ(b.font_id, 77u);
    EXPECT_EQ(b.font, nullptr);
    expect_every_prefix_fails<FontTexture>(written(t, &ids));

    b.resolve_references(IdentityMap{{77, &font}});
    EXPECT_EQ(b.font, &font);
    EXPECT_TRUE(b.unresolved().empty());

    // An identity naming a record of another kind does not bind.
    Texture not_a_font;
    b.resolve_references(IdentityMap{{77, &not_a_font}});
    EXPECT_EQ(b.font, nullptr);
    ASSERT_EQ(b.unresolved().size(), 1u);
    EXPECT_NE(b.unresolved()[0].find("77"), std::string::npos);
}

TEST(FontTexture_Records, JsonDefaultsAndNameResolution) {
    FontTexture t;
    t.from_json(nlohmann::json{{"name", "n"}, {"width", 64}, {"height", 32}, {"font", "Body"}});
    EXPECT_FALSE(t.center);
    EXPECT_EQ(t.chars_per_beat, -1);
    NameMaps names;
    t.resolve_names(names);
    ASSERT_EQ(t.unresolved().size(), 1u);
    EXPECT_NE(t.unresolved()[0].find("'Body'"), std::string::npos);
    Font font;
    font.name = "Body";
    names.fonts["Body"] = &font;
    t.resolve_names(names);
    EXPECT_EQ(t.font, &font);
    EXPECT_EQ(t.to_json(false).at("font"), "Body");
}

// ---- effects --------------------------------------------------------------

namespace {

struct EffectWorld {
    Texture tex_a, tex_b;
    FontTexture caption;
    ShaderProgram program = make_program("fx/glow.frag", "");
    Effect input;
    Scene scene;
    Identities ids;
    IdentityMap map;

    EffectWorld() {
        tex_a.name = "a.png";
        tex_b.name = "b.png";
        caption.name = "caption";
        input.name = "input";
        scene.name = "stage";
        ids = {{&tex_a, 11}, {&tex_b, 12}, {&caption, 13}, {&program, 14}, {&input, 15}, {&scene, 16}};
        map = {{11, &tex_a}, {12, &tex_b}, {13, &caption}, {14, &program}, {15, &input}, {16, &scene}};
    }

    Effect make() {
        Effect e;
        e.name = "glow";
        e.textures = {&tex_a, &tex_b};
        e.effects = {&input};
        e.font_textures = {&caption};
        e.program = &program;
        e.feedback = true;
        e.screen_texture = true;
        e.scene = &scene;
        return e;
    }

    NameMaps names() {
        NameMaps n;
        n.textures = {{"a.png", &tex_a}, {"b.png", &tex_b}};
        n.font_textures = {{"caption", &caption}};
        n.shaders = {{"fx/glow.frag", &program}};
        n.effects = {{"input", &input}};
        n.scenes = {{"stage", &scene}};
        return n;
    }
};

}  // namespace

TEST(Effect_Records, BinaryRoundTripResolvesEveryReference) {
    EffectWorld w;
    const Effect e = w.make();
    const auto bytes = written(e, &w.ids);
    Effect b = read_back<Effect>(bytes);
    EXPECT_EQ(b.name, "glow");
    EXPECT_TRUE(b.feedback);
    EXPECT_TRUE(b.screen_texture);
    EXPECT_EQ(b.texture_ids, (std::vector<uint64_t>{11, 12}));
    EXPECT_EQ(b.program_id, 14u);
    EXPECT_EQ(b.scene_id, 16u);

    b.resolve_references(w.map);
    EXPECT_EQ(b.textures, (std::vector<Texture*>{&w.tex_a, &w.tex_b}));
    EXPECT_EQ(b.effects, (std::vector<Effect*>{&w.input}));
    EXPECT_EQ(b.font_textures, (std::vector<FontTexture*>{&w.caption}));
    EXPECT_EQ(b.program, &w.program);
    EXPECT_EQ(b.scene, &w.scene);
    EXPECT_TRUE(b.unresolved().empty());
    EXPECT_EQ(written(b, &w.ids), bytes);
    expect_every_prefix_fails<Effect>(bytes);
}

TEST(Effect_Records, MissingTargetsStayInPlaceAndAreReported) {
    EffectWorld w;
    const auto bytes = written(w.make(), &w.ids);
    Effect b = read_back<Effect>(bytes);
    IdentityMap partial = w.map;
    partial.erase(11);        // first texture gone
    partial[14] = &w.tex_a;   // program identity now names a texture
    b.resolve_references(partial);
    // The missing texture keeps its slot so the second stays on unit 1.
    EXPECT_EQ(b.textures, (std::vector<Texture*>{nullptr, &w.tex_b}));
    EXPECT_EQ(b.program, nullptr);
    const auto lines = b.unresolved();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("texture #11"), std::string::npos);
    EXPECT_NE(lines[1].find("program #14"), std::string::npos);

    // No scene stored: identity 0 is not a missing reference.
    Effect plain = w.make();
    plain.scene = nullptr;
    Effect c = read_back<Effect>(written(plain, &w.ids));
    EXPECT_EQ(c.scene_id, 0u);
    c.resolve_references(w.map);
    EXPECT_EQ(c.scene, nullptr);
    EXPECT_TRUE(c.unresolved().empty());
}

TEST(Effect_Records, JsonFormRefersByNameAndResolves) {
    EffectWorld w;
    const nlohmann::json j = w.make().to_json(false);
    EXPECT_EQ(j.at("textures"), (nlohmann::json{"a.png", "b.png"}));
    EXPECT_EQ(j.at("program"), "fx/glow.frag");
    EXPECT_EQ(j.at("scene"), "stage");

    Effect back;
    back.from_json(j);
    back.resolve_names(w.names());
    EXPECT_EQ(back.textures, (std::vector<Texture*>{&w.tex_a, &w.tex_b}));
    EXPECT_EQ(back.program, &w.program);
    EXPECT_EQ(back.scene, &w.scene);
    EXPECT_EQ(back.effects, (std::vector<Effect*>{&w.input}));
    EXPECT_TRUE(back.feedback);
    EXPECT_EQ(back.to_json(false), j);

    // Optional keys, no scene key when there is none, and a name that does
    // not resolve survives the next to_json.
    Effect sparse;
    sparse.from_json(nlohmann::json{{"name", "s"}, {"feedback", false}, {"textures", {"gone.png"}}});
    EXPECT_FALSE(sparse.screen_texture);
    sparse.resolve_names(w.names());
    EXPECT_EQ(sparse.textures, (std::vector<Texture*>{nullptr}));
    const nlohmann::json again = sparse.to_json(false);
    EXPECT_FALSE(again.contains("scene"));
    EXPECT_EQ(again.at("textures"), (nlohmann::json{"gone.png"}));
    ASSERT_EQ(sparse.unresolved().size(), 1u);
    EXPECT_NE(sparse.unresolved()[0].find("'gone.png'"), std::string::npos);

    Effect bad;
    EXPECT_THROW(bad.from_json(nlohmann::json{{"name", "b"}, {"textures", {1, 2}}}), ContentError);
}

TEST(Effect_Records, ForgedListCountIsRefused) {
    ContentWriter out;
    out.write_u64(1ull << 61);
    const auto bytes = to_bytes(out.bytes());
    ContentReader in(bytes);
    Effect e;
    EXPECT_THROW(e.read(in), ContentError);
}
