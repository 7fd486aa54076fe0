#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "scene3d/camera.h"
#include "scene3d/gltf_builder.h"
#include "scene3d/model.h"
#include "scene3d/model_features.h"
#include "scene3d/model_validation.h"
#include "scene3d/sparse_accessor.h"
#include "scene3d/node.h"
#include "scene3d/scene.h"
#include "serialization/content_error.h"
#include "serialization/content_reader.h"
#include "serialization/content_writer.h"
#include "tests/support/realworld.h"
#include "tests/support/record_bytes.h"

namespace {

using Identities = record_bytes::Identities;
using record_bytes::written;

template <typename T>
void read_into(T& record, const std::vector<uint8_t>& bytes) {
    ContentReader in(bytes);
    record.read(in);
    EXPECT_TRUE(in.at_end());
}

size_t string_bytes(const std::string& s) {
    ContentWriter out;
    out.write_string(s);
    return out.bytes().size();
}

void expect_mat_near(const glm::mat4& a, const glm::mat4& b, float eps = 1e-5f) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) EXPECT_NEAR(a[c][r], b[c][r], eps) << "[" << c << "][" << r << "]";
}

// Reads a model the way the content container does: stored form in, parse,
// validation and animation data out. Returns what it printed on stdout.
std::string load_glb(Model& model, const std::vector<uint8_t>& glb, const std::string& name = "m.glb") {
    Model source;
    source.filename = name;
    source.buffer.data = glb;
    const std::vector<uint8_t> bytes = written(source);
    testing::internal::CaptureStdout();
    read_into(model, bytes);
    return testing::internal::GetCapturedStdout();
}

// ---- cameras ------------------------------------------------------------

TEST(Camera_StoredForm, BinaryBodyIs53BytesAndRoundTrips) {
    Camera c;
    c.position = {1, 2, 3};
    c.direction = {4, 5, 6};
    c.up = {0, 0, 1};
    c.aspect = 1.5f;
    c.fov = 60;
    c.znear = 0.5f;
    c.zfar = 250;
    c.direction_mode = true;
    const std::vector<uint8_t> bytes = written(c);
    ASSERT_EQ(bytes.size(), Camera::kBodyBytes);
    EXPECT_EQ(bytes.back(), 1);

    Camera back;
    back.orthographic = true;
    back.ortho_half_size = 3;
    read_into(back, bytes);
    EXPECT_EQ(back.position, c.position);
    EXPECT_EQ(back.direction, c.direction);
    EXPECT_EQ(back.up, c.up);
    EXPECT_EQ(back.zfar, 250);
    EXPECT_TRUE(back.direction_mode);
    EXPECT_FALSE(back.orthographic);
    EXPECT_EQ(back.ortho_half_size, 100.0f);

    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        ContentReader in(bytes.data(), cut);
        Camera partial;
        EXPECT_THROW(partial.read(in), ContentError) << cut;
    }
}

TEST(Camera_StoredForm, JsonRoundTripAndOptionalDirectionMode) {
    Camera c;
    c.position = {1, -2, 3};
    c.direction_mode = true;
    Camera back;
    back.from_json(c.to_json(false));
    EXPECT_EQ(back.position, c.position);
    EXPECT_TRUE(back.direction_mode);

    nlohmann::json j = c.to_json(false);
    j.erase("direction_mode");
    back.from_json(j);
    EXPECT_FALSE(back.direction_mode);

    j["position"] = {1, 2};
    EXPECT_THROW(back.from_json(j), ContentError);
    j = c.to_json(false);
    j.erase("fov");
    EXPECT_THROW(back.from_json(j), ContentError);
}

TEST(Camera_Matrices, TargetAndDirectionModesGiveTheSameView) {
    Camera target;
    target.position = {0, 0, 5};
    target.direction = {0, 0, 0};
    Camera heading = target;
    heading.direction_mode = true;
    heading.direction = {0, 0, -2};
    expect_mat_near(target.view_matrix(), heading.view_matrix());
    expect_mat_near(target.view_matrix(), glm::translate(glm::mat4(1.0f), glm::vec3(0, 0, -5)));
    // The origin lands straight ahead, in front of the camera (negative z).
    const glm::vec4 origin = target.view_matrix() * glm::vec4(0, 0, 0, 1);
    EXPECT_NEAR(origin.x, 0, 1e-6);
    EXPECT_NEAR(origin.z, -5, 1e-6);
}

TEST(Camera_Matrices, PerspectiveAndOrthographicProjections) {
    Camera c;
    c.fov = 90;
    c.aspect = 2;
    c.znear = 1;
    c.zfar = 101;
    const glm::mat4 p = c.projection_matrix();
    EXPECT_NEAR(p[0][0], 0.5f, 1e-6);
    EXPECT_NEAR(p[1][1], 1.0f, 1e-6);
    EXPECT_NEAR(p[2][2], -102.0f / 100.0f, 1e-6);
    EXPECT_EQ(p[2][3], -1.0f);
    EXPECT_NEAR(p[3][2], -202.0f / 100.0f, 1e-6);
    EXPECT_EQ(p[3][3], 0.0f);
    expect_mat_near(p, glm::perspective(glm::radians(90.0f), 2.0f, 1.0f, 101.0f));

    const Camera light = Camera::light();
    EXPECT_TRUE(light.orthographic);
    expect_mat_near(light.projection_matrix(), glm::ortho(-100.0f, 100.0f, -100.0f, 100.0f, 1.0f, 1000.0f));
    // Looks from (300, 50, 0) at the origin.
    const glm::vec4 origin = light.view_matrix() * glm::vec4(0, 0, 0, 1);
    EXPECT_NEAR(origin.x, 0, 1e-4);
    EXPECT_NEAR(origin.y, 0, 1e-4);
    EXPECT_NEAR(-origin.z, std::sqrt(300.0f * 300.0f + 50.0f * 50.0f), 1e-3);
}

// ---- scenes -------------------------------------------------------------

TEST(Scene_StoredForm, BodyWithoutCameraOrRootIsThreeMarkersAndAFlag) {
    Scene s;
    s.name = "empty";
    const std::vector<uint8_t> bytes = written(s);
    EXPECT_EQ(bytes.size(), string_bytes("empty") + 8 + 8 + 8 + 1);
    Scene back;
    read_into(back, bytes);
    EXPECT_EQ(back.name, "empty");
    EXPECT_FALSE(back.camera);
    EXPECT_FALSE(back.root_node);
    EXPECT_EQ(back.active_camera(), nullptr);
}

TEST(Scene_StoredForm, BinaryRoundTripResolvesAndReportsReferences) {
    Model model;
    model.filename = "ship.glb";
    Scene other;
    other.name = "other";
    Scene s;
    s.name = "main";
    s.camera = std::make_unique<Camera>();
    s.camera->fov = 33;
    s.root_node = std::make_unique<Node>();
    s.root_node->name = "root";
    s.root_node->model = &model;
    s.camera_scene = &other;
    s.camera_scene_only_direction = true;
    const Identities ids = {{&model, 7}, {&other, 9}};
    const std::vector<uint8_t> bytes = written(s, &ids);
    EXPECT_EQ(bytes.size(), string_bytes("main") + 8 + Camera::kBodyBytes + 8 + string_bytes("root") + 8 + 8 + 1);

    Scene back;
    read_into(back, bytes);
    ASSERT_TRUE(back.camera && back.root_node);
    EXPECT_EQ(back.camera->fov, 33);
    EXPECT_EQ(back.root_node->model_identity, 7u);
    EXPECT_EQ(back.camera_scene_identity, 9u);
    EXPECT_TRUE(back.camera_scene_only_direction);
    EXPECT_TRUE(back.light_camera.orthographic);

    back.resolve_references(IdentityMap{{7, &model}, {9, &other}});
    EXPECT_EQ(back.root_node->model, &model);
    EXPECT_EQ(back.camera_scene, &other);
    EXPECT_TRUE(back.unresolved().empty());

    // Unknown identities, and an identity naming the wrong kind of record.
    back.resolve_references(IdentityMap{{7, &other}});
    EXPECT_EQ(back.root_node->model, nullptr);
    EXPECT_EQ(back.camera_scene, nullptr);
    EXPECT_EQ(back.unresolved().size(), 2u);
}

TEST(Scene_StoredForm, JsonRoundTripResolvesNames) {
    Model model;
    model.filename = "ship.glb";
    Scene other;
    other.name = "other";
    Scene s;
    s.name = "main";
    s.camera = std::make_unique<Camera>();
    s.root_node = std::make_unique<Node>();
    s.root_node->name = "root";
    s.root_node->model = &model;
    s.camera_scene = &other;
    const nlohmann::json j = s.to_json(false);
    EXPECT_EQ(j.at("root_node").at("model"), "ship.glb");
    EXPECT_EQ(j.at("camera_scene"), "other");

    Scene back;
    back.from_json(j);
    NameMaps names;
    names.models["ship.glb"] = &model;
    names.scenes["other"] = &other;
    back.resolve_names(names);
    EXPECT_EQ(back.root_node->model, &model);
    EXPECT_EQ(back.camera_scene, &other);
    EXPECT_FALSE(back.camera_scene_only_direction);

    back.resolve_names(NameMaps{});
    const std::vector<std::string> lines = back.unresolved();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("ship.glb"), std::string::npos);
    EXPECT_NE(lines[1].find("other"), std::string::npos);

    // Optional keys absent: nothing to resolve, nothing reported.
    Scene bare;
    bare.from_json({{"name", "bare"}});
    bare.resolve_names(names);
    EXPECT_TRUE(bare.unresolved().empty());
    EXPECT_FALSE(bare.to_json(false).contains("camera_scene"));
}

TEST(Scene_ActiveCamera, FollowsTheBorrowingRules) {
    Scene b;
    b.camera = std::make_unique<Camera>();
    b.camera->position = {1, 0, 0};
    b.camera->direction = {1, 0, -1};
    Scene a;
    a.camera = std::make_unique<Camera>();
    a.camera->direction_mode = true;
    a.camera->direction = {5, 5, 5};

    EXPECT_EQ(a.active_camera(), a.camera.get());
    a.camera_scene = &b;
    EXPECT_EQ(a.active_camera(), b.camera.get());

    a.camera_scene_only_direction = true;
    EXPECT_EQ(a.active_camera(), a.camera.get());
    EXPECT_EQ(a.camera->direction, glm::vec3(0, 0, -1));
    b.camera->direction_mode = true;
    b.camera->direction = {0, 2, 0};
    a.active_camera();
    EXPECT_EQ(a.camera->direction, glm::vec3(0, 2, 0));

    a.shadow_pass = true;
    EXPECT_EQ(a.active_camera(), &a.light_camera);
    a.shadow_pass = false;

    // No usable camera: null, not a crash.
    b.camera.reset();
    a.camera_scene_only_direction = false;
    EXPECT_EQ(a.active_camera(), nullptr);
    a.camera_scene_only_direction = true;
    EXPECT_EQ(a.active_camera(), a.camera.get());
    a.camera.reset();
    EXPECT_EQ(a.active_camera(), nullptr);
}

// ---- models -------------------------------------------------------------

GltfBuilder cube_builder() {
    GltfBuilder b;
    const int material = b.add_material({1.0, 0.5, 0.25, 1.0}, 0.0, 0.01);
    b.set_scene({b.add_node(b.add_cube_mesh(0.5f, material))});
    return b;
}

// Meshes of three and two primitives; array draws whose attribute maps hold
// a name ordered before "POSITION".
GltfBuilder two_mesh_builder() {
    GltfBuilder b;
    const int tri = b.add_vec3({0, 0, 0, 1, 0, 0, 0, 1, 0});
    const int quad = b.add_vec3({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
    tinygltf::Primitive p1 = b.primitive(quad);
    p1.attributes["NORMAL"] = quad;
    const int m0 = b.add_mesh({b.primitive(tri), p1, b.primitive(quad)});
    const int m1 = b.add_mesh({b.primitive(tri), b.primitive(tri)});
    b.set_scene({b.add_node(m0), b.add_node(m1)});
    return b;
}

TEST(Model_Load, CubeParsesAndPreparesDrawData) {
    Model model;
    const std::string out = load_glb(model, cube_builder().glb());
    EXPECT_EQ(out, "");
    ASSERT_TRUE(model.parsed && model.valid);
    EXPECT_FALSE(model.ready);  // GPU side not run
    ASSERT_EQ(model.primitive_draws.size(), 1u);
    const PrimitiveDraw& d = model.primitive_draws[0];
    EXPECT_TRUE(d.indexed);
    EXPECT_EQ(d.count, 36);
    EXPECT_EQ(d.index_type, 0x1403u);  // GL_UNSIGNED_SHORT
    EXPECT_EQ(d.index_offset, 96u);    // behind the 8 float3 corners
    EXPECT_EQ(d.mode, 4u);
    EXPECT_EQ(model.root_nodes, std::vector<int32_t>{0});
    EXPECT_EQ(model.render_passes, std::vector<int32_t>{1});
    ASSERT_EQ(model.material_draws.size(), 1u);
    // Metallic 0 is sent as 1; roughness 0.01 is raised to 0.04.
    EXPECT_EQ(model.material_draws[0].metallic, 1.0f);
    EXPECT_EQ(model.material_draws[0].roughness, 0.04f);
    EXPECT_EQ(model.material_draws[0].base_color, glm::vec4(1, 0.5f, 0.25f, 1));
    EXPECT_FALSE(model.material_draws[0].has_base_color_texture);
    EXPECT_TRUE(model.animations && model.animations->animations.empty());
    EXPECT_FALSE(model.skeleton);
    EXPECT_EQ(model.animated_nodes.size(), 1u);
}

TEST(Model_Load, TwoMeshesGetConsecutiveRangesAndArrayCounts) {
    Model model;
    load_glb(model, two_mesh_builder().glb());
    ASSERT_TRUE(model.valid);
    ASSERT_EQ(model.mesh_ranges.size(), 2u);
    EXPECT_EQ(model.mesh_ranges[0].first, 0);
    EXPECT_EQ(model.mesh_ranges[0].count, 3);
    EXPECT_EQ(model.mesh_ranges[1].first, 3);
    EXPECT_EQ(model.mesh_ranges[1].count, 2);
    ASSERT_EQ(model.primitive_draws.size(), 5u);
    EXPECT_FALSE(model.primitive_draws[0].indexed);
    EXPECT_EQ(model.primitive_draws[0].count, 3);
    EXPECT_EQ(model.primitive_draws[1].count, 6);
    EXPECT_EQ(model.primitive_draws[4].count, 3);
}

TEST(Model_Load, NodeExtrasAndTransforms) {
    GltfBuilder b;
    const int mesh = b.add_cube_mesh();
    const int child = b.add_node(mesh);
    const int pass3 = b.add_node(mesh, {child});
    const int root = b.add_node(-1, {pass3});
    b.doc.nodes[pass3].extras = tinygltf::Value(tinygltf::Value::Object{
        {"render_pass", tinygltf::Value(3)}, {"ignore_shadow", tinygltf::Value(true)}, {"tag", tinygltf::Value(7)}});
    b.doc.nodes[child].extras = tinygltf::Value(tinygltf::Value::Object{{"tag", tinygltf::Value(2.0)}});
    b.doc.nodes[pass3].translation = {1, 2, 3};
    b.doc.nodes[pass3].scale = {2, 2, 2};
    b.doc.nodes[pass3].rotation = {0, 0, 0.70710678, 0.70710678};  // 90 degrees about z
    b.doc.nodes[child].matrix = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    b.set_scene({root});

    Model model;
    load_glb(model, b.glb());
    ASSERT_TRUE(model.valid);
    const NodeDraw& n = model.node_draws[pass3];
    EXPECT_TRUE(n.ignore_shadow);
    EXPECT_EQ(n.render_pass, 3);
    EXPECT_EQ(n.tag, 7);
    EXPECT_EQ(model.node_draws[child].tag, 2);
    EXPECT_EQ(model.node_draws[child].render_pass, 1);
    EXPECT_FALSE(model.node_draws[root].ignore_shadow);
    EXPECT_EQ(model.render_pass_count, 3);
    EXPECT_EQ(model.render_passes, (std::vector<int32_t>{1, 3}));

    // T x R x S: the point (1, 0, 0) is scaled to 2, turned onto +y, moved.
    const glm::vec4 p = n.local * glm::vec4(1, 0, 0, 1);
    EXPECT_NEAR(p.x, 1, 1e-5);
    EXPECT_NEAR(p.y, 4, 1e-5);
    EXPECT_NEAR(p.z, 3, 1e-5);
    expect_mat_near(model.node_draws[child].local, glm::translate(glm::mat4(1.0f), glm::vec3(5, 6, 7)));
}

TEST(Model_Load, RenderPassExtraOfHugeValueCostsOnePass) {
    GltfBuilder b;
    const int node = b.add_node(b.add_cube_mesh());
    b.doc.nodes[node].extras =
        tinygltf::Value(tinygltf::Value::Object{{"render_pass", tinygltf::Value(2147483647)}});
    b.set_scene({node});
    Model model;
    load_glb(model, b.glb());
    EXPECT_EQ(model.render_pass_count, 2147483647);
    EXPECT_EQ(model.render_passes, std::vector<int32_t>{2147483647});
}

TEST(Model_Load, DocumentWithoutDefaultSceneHasNothingToDraw) {
    GltfBuilder b = cube_builder();
    b.doc.defaultScene = -1;
    Model model;
    load_glb(model, b.glb());
    ASSERT_TRUE(model.valid);
    EXPECT_TRUE(model.root_nodes.empty());
    EXPECT_TRUE(model.render_passes.empty());
}

// Sparse accessors used to be drawn with their base values only, losing
// every substituted vertex.
TEST(Model_SparseAccessor, SubstitutionsReplaceBaseElementsAndForgedOnesAreRefused) {
    GltfBuilder b;
    // Four vec3 in a view of stride 16 (a padding float after each).
    const int base = b.add_accessor(std::vector<float>{0, 0, 0, -1, 1, 1, 1, -1, 2, 2, 2, -1, 3, 3, 3, -1},
                                    TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, 4);
    b.doc.bufferViews[b.doc.accessors[base].bufferView].byteStride = 16;
    b.make_sparse(base, {3, 1, 3}, {30, 31, 32, 10, 11, 12, 33, 34, 35});
    auto floats = [](const std::vector<uint8_t>& bytes) {
        std::vector<float> f(bytes.size() / 4);
        std::memcpy(f.data(), bytes.data(), f.size() * 4);
        return f;
    };
    EXPECT_EQ(check_sparse(b.doc, b.doc.accessors[base]), "");
    EXPECT_EQ(floats(dense_accessor_bytes(b.doc, b.doc.accessors[base])),
              (std::vector<float>{0, 0, 0, 10, 11, 12, 2, 2, 2, 33, 34, 35}))
        << "the last substitution of an element wins";

    // Without a buffer view the base is zeros, and the attribute still loads.
    tinygltf::Accessor zeros = b.doc.accessors[base];
    zeros.bufferView = -1;
    EXPECT_EQ(floats(dense_accessor_bytes(b.doc, zeros)), (std::vector<float>{0, 0, 0, 10, 11, 12, 0, 0, 0, 33, 34, 35}));
    b.doc.accessors[base].bufferView = -1;
    b.doc.bufferViews[0].byteStride = 0;
    b.set_scene({b.add_node(b.add_mesh({b.primitive(base)}))});
    Model model;
    load_glb(model, b.glb());
    EXPECT_TRUE(model.valid) << model.rejection;

    auto problem = [&](auto change) {
        tinygltf::Model d = b.doc;
        change(d.accessors[base]);
        return validate_gltf(d);
    };
    EXPECT_NE(problem([](tinygltf::Accessor& a) { a.count = 3; }).find("substitutes element 3 of 3"), std::string::npos);
    EXPECT_NE(problem([](tinygltf::Accessor& a) { a.count = 2; }), "") << "more substitutions than elements";
    EXPECT_NE(problem([](tinygltf::Accessor& a) { a.sparse.values.byteOffset = 8; }).find("values outside"),
              std::string::npos);
    EXPECT_NE(problem([](tinygltf::Accessor& a) { a.sparse.indices.bufferView = 99; }).find("indices outside"),
              std::string::npos);
    EXPECT_NE(problem([](tinygltf::Accessor& a) { a.sparse.indices.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT; }),
              "");
    EXPECT_NE(problem([](tinygltf::Accessor& a) { a.count = 1u << 30; }).find("too large"), std::string::npos)
        << "a forged count without data allocates nothing";
}

// Draco and meshopt files loaded inert with at most "Failed to parse glTF",
// quantized ones drew nothing; the tools name what they need instead.
TEST(Model_UndrawableFeatures, RequiredExtensionsAndQuantizedAttributesAreNamed) {
    GltfBuilder b;
    const int position = b.add_accessor(std::vector<uint16_t>{0, 0, 0, 1, 1, 1}, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT,
                                        TINYGLTF_TYPE_VEC3, 2);
    b.set_scene({b.add_node(b.add_mesh({b.primitive(position)}))});
    b.doc.extensionsRequired = {"KHR_mesh_quantization"};
    const std::vector<std::string> lines = undrawable_gltf_features(b.glb());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "needs the glTF extension KHR_mesh_quantization, which this player cannot draw");
    EXPECT_EQ(lines[1], "stores POSITION of mesh 0 as unsigned short (quantized), which this player cannot draw");
    EXPECT_EQ(undrawable_gltf_features(b.gltf_text()), lines) << "the text form says the same";

    EXPECT_TRUE(undrawable_gltf_features(cube_builder().glb()).empty());
    std::vector<uint8_t> cut = b.glb();
    cut.resize(40);
    EXPECT_TRUE(undrawable_gltf_features(cut).empty()) << "a truncated file is left to the parser's messages";
    EXPECT_TRUE(undrawable_gltf_features({}).empty());

    const std::filesystem::path set = test_support::realworld_folder();
    if (set.empty()) return;
    const auto draco = undrawable_gltf_features(test_support::read_bytes(set / "models/DuckDraco.glb"));
    ASSERT_FALSE(draco.empty());
    EXPECT_NE(draco[0].find("KHR_draco_mesh_compression"), std::string::npos);
    EXPECT_TRUE(undrawable_gltf_features(test_support::read_bytes(set / "models/TextureTransformTest.glb")).empty())
        << "an extension that is only used is no problem";
}

TEST(Model_StoredForm, GlbModelRoundTripsByteForByte) {
    Model model;
    model.filename = "cube.glb";
    model.buffer.data = cube_builder().glb();
    const std::vector<uint8_t> bytes = written(model);
    Model back;
    testing::internal::CaptureStdout();
    read_into(back, bytes);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(back.filename, "cube.glb");
    EXPECT_EQ(back.buffer.data, model.buffer.data);
    EXPECT_TRUE(back.valid);

    const nlohmann::json j = model.to_json(false);
    Model from_json;
    testing::internal::CaptureStdout();
    from_json.from_json(j);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(from_json.buffer.data, model.buffer.data);
    EXPECT_TRUE(from_json.valid);
}

TEST(Model_StoredForm, GltfTextIsStoredAsGlbWithSuffixedName) {
    for (const std::string name : {"a.GLTF", "ship.gltf", "odd.Gltf"}) {
        const std::vector<uint8_t> text = two_mesh_builder().gltf_text();
        ASSERT_EQ(text.front(), '{');
        Model model;
        testing::internal::CaptureStdout();
        model.from_json({{"filename", name}, {"buffer", ByteBuffer(text).to_json(false)}});
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        ASSERT_TRUE(model.valid) << name;

        Model back;
        testing::internal::CaptureStdout();
        read_into(back, written(model));
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(back.filename, name + ".glb");
        EXPECT_EQ(std::string(back.buffer.data.begin(), back.buffer.data.begin() + 4), "glTF");
        ASSERT_TRUE(back.valid) << name;
        EXPECT_EQ(back.mesh_ranges.size(), 2u);
        EXPECT_EQ(back.primitive_draws.size(), 5u);
    }
}

// Regression: the GLB writer turned a bare node into null and the stored
// model no longer parsed.
TEST(Model_StoredForm, GltfTextWithEmptyObjectsSurvivesConversion) {
    const std::string text =
        R"({"asset":{"version":"2.0"},"nodes":[{},{"children":[0]}],"materials":[{}],"samplers":[{}],)"
        R"("scenes":[{"nodes":[1]}],"scene":0,"extras":{"keep":[null]}})";
    Model model;
    testing::internal::CaptureStdout();
    model.from_json({{"filename", "bare.gltf"},
                     {"buffer", ByteBuffer(std::vector<uint8_t>(text.begin(), text.end())).to_json(false)}});
    const std::string parsed = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(model.valid) << parsed;
    Model back;
    testing::internal::CaptureStdout();
    read_into(back, written(model));
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(back.valid) << out;
    EXPECT_EQ(back.document.nodes.size(), 2u);
    EXPECT_EQ(back.document.materials.size(), 1u);
    EXPECT_EQ(back.node_draws[1].children, std::vector<int32_t>{0});
}

TEST(Model_StoredForm, GltfTextThatFailsToParseIsStoredUnchanged) {
    const std::vector<uint8_t> junk = {'{', 'n', 'o'};
    Model model;
    testing::internal::CaptureStdout();
    model.from_json({{"filename", "broken.gltf"}, {"buffer", ByteBuffer(junk).to_json(false)}});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Failed to parse glTF\n"), std::string::npos);
    EXPECT_NE(out.find("Err: "), std::string::npos);
    EXPECT_FALSE(model.parsed);

    Model back;
    testing::internal::CaptureStdout();
    read_into(back, written(model));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(back.filename, "broken.gltf");
    EXPECT_EQ(back.buffer.data, junk);
}

TEST(Model_StoredForm, JsonExtensionRuleAndExternalFile) {
    Model model;
    testing::internal::CaptureStdout();
    model.from_json({{"filename", "noextension"}, {"buffer", ByteBuffer(cube_builder().glb()).to_json(false)}});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Expected a file extension in name noextension\n");
    EXPECT_FALSE(model.parsed);

    // ".GLB" selects the binary parser; anything else the text parser, which
    // refuses GLB bytes.
    testing::internal::CaptureStdout();
    model.from_json({{"filename", "x.GLB"}, {"buffer", ByteBuffer(cube_builder().glb()).to_json(false)}});
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(model.valid);
    testing::internal::CaptureStdout();
    model.from_json({{"filename", "x.bin"}, {"buffer", ByteBuffer(cube_builder().glb()).to_json(false)}});
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Failed to parse glTF"), std::string::npos);

    // Without "buffer" the file named by filename is read.
    const std::filesystem::path dir = std::filesystem::path(QV_BINARY_DIR) / "scene3d_test_files";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "cube.glb").string();
    Model source;
    source.filename = path;
    source.buffer.data = cube_builder().glb();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(source.buffer.data.data()), source.buffer.data.size());
    testing::internal::CaptureStdout();
    model.from_json({{"filename", path}});
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(model.buffer.data, source.buffer.data);
    EXPECT_TRUE(model.valid);
    EXPECT_THROW(model.from_json({{"filename", (dir / "missing.glb").string()}}), ContentError);
}

TEST(Model_StoredForm, GarbageBytesPrintTheParseMessages) {
    Model model;
    const std::string out = load_glb(model, {'g', 'l', 'T', 'F', 2, 0, 0, 0, 255, 255, 0, 0});
    EXPECT_NE(out.find("Err: "), std::string::npos);
    EXPECT_TRUE(out.size() >= 21 && out.substr(out.size() - 21) == "Failed to parse glTF\n") << out;
    EXPECT_FALSE(model.parsed);
    EXPECT_TRUE(model.primitive_draws.empty());
    EXPECT_TRUE(model.document.meshes.empty());
}

// A GLB holding only a JSON chunk.
std::vector<uint8_t> glb_of_json(std::string json) {
    while (json.size() % 4) json.push_back(' ');
    std::vector<uint8_t> out;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    out.insert(out.end(), {'g', 'l', 'T', 'F'});
    u32(2);
    u32(static_cast<uint32_t>(12 + 8 + json.size()));
    u32(static_cast<uint32_t>(json.size()));
    out.insert(out.end(), {'J', 'S', 'O', 'N'});
    out.insert(out.end(), json.begin(), json.end());
    return out;
}

TEST(Model_HostileInput, ContentGlbReadsExternalFilesOnlyBelowResources) {
    // Relative to the working directory, as the player resolves them.
    std::filesystem::create_directories("resources");
    const std::vector<uint8_t> four = {1, 2, 3, 4};
    for (const char* path : {"resources/scene3d_inside.bin", "scene3d_outside.bin"})
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(four.data()), 4);
    auto with_uri = [](const std::string& uri) {
        return glb_of_json("{\"asset\":{\"version\":\"2.0\"},\"buffers\":[{\"byteLength\":4,\"uri\":\"" + uri +
                           "\"}]}");
    };

    Model inside;
    load_glb(inside, with_uri("scene3d_inside.bin"));
    EXPECT_TRUE(inside.valid);
    ASSERT_EQ(inside.document.buffers.size(), 1u);
    EXPECT_EQ(inside.document.buffers[0].data, four);

    const std::string outside_uris[] = {"../scene3d_outside.bin",
                                        std::filesystem::absolute("scene3d_outside.bin").string()};
    for (const std::string& uri : outside_uris) {
        Model outside;
        const std::string out = load_glb(outside, with_uri(uri));
        EXPECT_FALSE(outside.parsed) << uri;
        EXPECT_NE(out.find("Failed to parse glTF"), std::string::npos) << out;
    }
    std::filesystem::remove("resources/scene3d_inside.bin");
    std::filesystem::remove("scene3d_outside.bin");
    std::error_code ignored;
    std::filesystem::remove("resources", ignored);  // only if nothing else is there
}

// ---- animation data -----------------------------------------------------

GltfBuilder skinned_builder() {
    GltfBuilder b;
    const int mesh = b.add_cube_mesh();
    const int tip = b.add_node();
    const int hip = b.add_node(-1, {tip});
    const int body = b.add_node(mesh, {hip});
    b.doc.nodes[hip].name = "hip";
    b.doc.nodes[tip].name = "tip";
    b.doc.nodes[hip].translation = {0, 1, 0};
    b.doc.nodes[tip].rotation = {0, 0, 0, 2};  // normalised on load
    b.doc.nodes[body].skin = 0;
    std::vector<float> inverse_binds(32, 0.0f);
    for (int i = 0; i < 4; ++i) inverse_binds[i * 5] = inverse_binds[16 + i * 5] = 1.0f;
    inverse_binds[16 + 13] = -1.0f;  // second joint: translate y by -1
    tinygltf::Skin skin;
    skin.name = "rig";
    skin.joints = {hip, tip};
    skin.inverseBindMatrices = b.add_accessor(inverse_binds, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_MAT4, 2);
    b.doc.skins.push_back(skin);
    b.set_scene({body});
    return b;
}

TEST(Animation_Build, SkinBecomesALinkedSkeleton) {
    Model model;
    const std::string out = load_glb(model, skinned_builder().glb());
    EXPECT_EQ(out, "name of skeleton: rig\n");
    ASSERT_TRUE(model.skeleton);
    const Animation::Skeleton& s = *model.skeleton;
    ASSERT_EQ(s.joints.size(), 2u);
    EXPECT_EQ(s.joints[0].name, "hip");
    EXPECT_EQ(s.joints[0].parent, -1);
    EXPECT_EQ(s.joints[0].children, std::vector<int32_t>{1});
    EXPECT_EQ(s.joints[1].parent, 0);
    EXPECT_TRUE(s.joints[0].has_translation);
    EXPECT_EQ(s.joints[0].translation, glm::vec3(0, 1, 0));
    EXPECT_NEAR(s.joints[1].rotation.w, 1.0f, 1e-6);
    EXPECT_EQ(s.joints[1].inverse_bind_matrix[3][1], -1.0f);
    EXPECT_EQ(s.node_to_joint.at(0), 1);
    ASSERT_EQ(s.joint_matrices.size(), 2u);
    EXPECT_EQ(s.joint_matrices[1], glm::mat4(0.0f));
    EXPECT_TRUE(model.base_poses.empty());
}

// The parser insists on inverse binds, so these skins are built directly from
// documents that pass validation.
TEST(Animation_Build, SkinWithoutInverseBindsOrJointsStaysEmpty) {
    GltfBuilder b = skinned_builder();
    b.doc.skins[0].inverseBindMatrices = -1;
    ASSERT_EQ(validate_gltf(b.doc), "");
    testing::internal::CaptureStdout();
    Animation::Built built = Animation::build(b.doc);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_TRUE(built.skeleton);
    EXPECT_TRUE(built.skeleton->joints.empty());
    EXPECT_TRUE(built.skeleton->joint_matrices.empty());

    // Inverse binds but no joints: nothing to link from.
    b = skinned_builder();
    b.doc.skins[0].joints.clear();
    ASSERT_EQ(validate_gltf(b.doc), "");
    testing::internal::CaptureStdout();
    built = Animation::build(b.doc);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "name of skeleton: rig\n");
    ASSERT_TRUE(built.skeleton);
    EXPECT_TRUE(built.skeleton->joints.empty());
}

TEST(Animation_Build, SamplersChannelsAndTheirMessages) {
    GltfBuilder b;
    const int node = b.add_node(b.add_cube_mesh());
    b.doc.nodes[node].translation = {4, 5, 6};
    b.set_scene({node});
    const int times = b.add_accessor(std::vector<float>{0.5f, 1.0f, 2.5f}, TINYGLTF_COMPONENT_TYPE_FLOAT,
                                     TINYGLTF_TYPE_SCALAR, 3);
    const int moves = b.add_vec3({1, 2, 3, 4, 5, 6, 7, 8, 9});
    const int turns = b.add_accessor(std::vector<float>(12, 0.5f), TINYGLTF_COMPONENT_TYPE_FLOAT,
                                     TINYGLTF_TYPE_VEC4, 3);
    const int weights = b.add_accessor(std::vector<float>{1, 0, 1}, TINYGLTF_COMPONENT_TYPE_FLOAT,
                                       TINYGLTF_TYPE_SCALAR, 3);
    tinygltf::Animation walk;
    walk.name = "walk";
    walk.samplers.resize(3);
    walk.samplers[0].input = times;
    walk.samplers[0].output = moves;
    walk.samplers[0].interpolation = "STEP";
    walk.samplers[1].input = times;
    walk.samplers[1].output = turns;
    walk.samplers[1].interpolation = "CUBICSPLINE";
    walk.samplers[2].input = times;
    walk.samplers[2].output = weights;
    walk.samplers[2].interpolation = "LINEAR";
    auto channel = [&](int sampler, const char* path) {
        tinygltf::AnimationChannel c;
        c.sampler = sampler;
        c.target_node = node;
        c.target_path = path;
        return c;
    };
    walk.channels = {channel(0, "translation"), channel(1, "rotation"), channel(0, "scale"), channel(2, "weights")};
    b.doc.animations.push_back(walk);
    tinygltf::Animation again = walk;
    again.channels = {channel(0, "translation")};
    b.doc.animations.push_back(again);

    Model model;
    testing::internal::CaptureStderr();
    const std::string out = load_glb(model, b.glb());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "name of animation: walk\nname of animation: walk\n");
    EXPECT_EQ(err, "Kapot\nBoem kapot: path not supported\nKapot\n");
    ASSERT_EQ(model.animations->animations.size(), 2u);
    const Animation::ModelAnimation& a = *model.animations->animations[0];
    EXPECT_EQ(a.samplers[0].interpolation, Animation::step);
    EXPECT_EQ(a.samplers[1].interpolation, Animation::cubic_spline);
    EXPECT_EQ(a.samplers[2].interpolation, Animation::linear);
    EXPECT_EQ(a.samplers[0].times, (std::vector<float>{0.5f, 1.0f, 2.5f}));
    EXPECT_EQ(a.samplers[0].values[1], glm::vec4(4, 5, 6, 0));
    EXPECT_EQ(a.samplers[1].values[2], glm::vec4(0.5f));
    EXPECT_TRUE(a.samplers[2].values.empty());
    EXPECT_EQ(a.start_time, 0.5f);
    EXPECT_EQ(a.end_time, 2.5f);
    EXPECT_EQ(a.channels[1].path, Animation::rotation);
    EXPECT_EQ(a.channels[3].path, Animation::unsupported);
    // The later animation of the same name owns the map entries.
    EXPECT_EQ(model.animations->index_by_name.at("walk"), 1);
    EXPECT_EQ(model.animations->by_name.at("walk"), model.animations->animations[1]);
    // Without skin: one base pose per (animation, node).
    ASSERT_EQ(model.base_poses.size(), 2u);
    EXPECT_EQ(model.base_poses[0].translation, glm::vec3(4, 5, 6));
    EXPECT_EQ(model.base_poses[1].animation, 1);
}

// Sparse times and outputs used to be read from their base views (or, with
// none, refused): they are written out first, and a sparse output too narrow
// for the floats read from it is refused rather than read past its end.
TEST(Animation_Build, SparseSamplerDataIsWrittenOutAndNarrowOnesRefused) {
    GltfBuilder b;
    b.set_scene({b.add_node(b.add_cube_mesh())});
    const int times = b.add_accessor(std::vector<float>{0, 1, 2}, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR, 3);
    b.make_sparse(times, {2}, {5});
    const int moves = b.add_vec3({1, 1, 1, 2, 2, 2, 3, 3, 3});
    b.make_sparse(moves, {0}, {7, 8, 9});
    b.doc.accessors[moves].bufferView = -1;  // zeros, then the substitution
    tinygltf::Animation a;
    a.name = "sparse";
    a.samplers.resize(1);
    a.samplers[0].input = times;
    a.samplers[0].output = moves;
    b.doc.animations.push_back(a);
    ASSERT_EQ(validate_gltf(b.doc), "");
    testing::internal::CaptureStdout();
    const Animation::Built built = Animation::build(b.doc);
    testing::internal::GetCapturedStdout();
    const Animation::Sampler& s = built.animations->animations.at(0)->samplers.at(0);
    EXPECT_EQ(s.times, (std::vector<float>{0, 1, 5}));
    EXPECT_EQ(s.values, (std::vector<glm::vec4>{{7, 8, 9, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}));

    b.doc.accessors[moves].componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;  // 6 bytes an element
    b.doc.accessors[moves].normalized = true;
    EXPECT_NE(validate_gltf(b.doc), "");
}

// Regression: an empty input accessor was copied through a null pointer.
TEST(Animation_Build, EmptySamplerGivesNoTimesAndZeroRange) {
    GltfBuilder b;
    b.set_scene({b.add_node(b.add_cube_mesh())});
    const int none = b.add_accessor(std::vector<float>{}, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR, 0);
    const int one = b.add_accessor(std::vector<float>{3.0f}, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR, 1);
    tinygltf::Animation a;
    a.name = "still";
    a.samplers.resize(2);
    a.samplers[0].input = none;
    a.samplers[0].output = b.add_vec3({});
    a.samplers[1].input = one;
    a.samplers[1].output = b.add_vec3({1, 2, 3});
    b.doc.animations.push_back(a);
    ASSERT_EQ(validate_gltf(b.doc), "");
    testing::internal::CaptureStdout();
    const Animation::Built built = Animation::build(b.doc);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "name of animation: still\n");
    const Animation::ModelAnimation& anim = *built.animations->animations.at(0);
    EXPECT_TRUE(anim.samplers[0].times.empty());
    EXPECT_TRUE(anim.samplers[0].values.empty());
    EXPECT_EQ(anim.start_time, 0.0f);
    EXPECT_EQ(anim.end_time, 0.0f);
    EXPECT_EQ(anim.samplers[1].values, (std::vector<glm::vec4>{{1, 2, 3, 0}}));
}

// ---- hostile models -----------------------------------------------------

// Each case breaks one reference of an otherwise valid model. Loading must
// neither crash nor read outside a buffer (run under the sanitizer build),
// and the model must come out inert with a message naming the problem.
struct Hostile {
    const char* what;
    void (*spoil)(GltfBuilder&);
};

const Hostile kHostile[] = {
    {"accessor past buffer end", [](GltfBuilder& b) { b.doc.accessors[0].count = 1000; }},
    {"accessor offset past view", [](GltfBuilder& b) { b.doc.accessors[0].byteOffset = 1u << 30; }},
    {"view past buffer end", [](GltfBuilder& b) { b.doc.bufferViews[1].byteLength = 4096; }},
    {"view names missing buffer", [](GltfBuilder& b) { b.doc.bufferViews[0].buffer = 3; }},
    {"accessor names missing view", [](GltfBuilder& b) { b.doc.accessors[1].bufferView = 9; }},
    {"index beyond vertices",
     [](GltfBuilder& b) {
         uint8_t* first_index = b.doc.buffers[0].data.data() + b.doc.bufferViews[1].byteOffset;
         first_index[0] = 100;
     }},
    {"too few vertices for indices", [](GltfBuilder& b) { b.doc.accessors[0].count = 4; }},
    {"float indices", [](GltfBuilder& b) { b.doc.accessors[1].componentType = TINYGLTF_COMPONENT_TYPE_FLOAT; }},
    {"strided indices", [](GltfBuilder& b) { b.doc.bufferViews[1].byteStride = 4; }},
    {"stride narrower than element", [](GltfBuilder& b) { b.doc.bufferViews[0].byteStride = 4; }},
    {"missing index accessor", [](GltfBuilder& b) { b.doc.meshes[0].primitives[0].indices = 44; }},
    {"missing attribute accessor", [](GltfBuilder& b) { b.doc.meshes[0].primitives[0].attributes["NORMAL"] = 44; }},
    {"matrix attribute",
     [](GltfBuilder& b) { b.doc.accessors[0].type = TINYGLTF_TYPE_MAT4, b.doc.accessors[0].count = 1; }},
    {"bad mode", [](GltfBuilder& b) { b.doc.meshes[0].primitives[0].mode = 9; }},
    {"missing material", [](GltfBuilder& b) { b.doc.meshes[0].primitives[0].material = 5; }},
    {"missing mesh", [](GltfBuilder& b) { b.doc.nodes[0].mesh = 2; }},
    {"missing child", [](GltfBuilder& b) { b.doc.nodes[0].children = {8}; }},
    {"own child", [](GltfBuilder& b) { b.doc.nodes[0].children = {0}; }},
    {"cycle",
     [](GltfBuilder& b) {
         b.add_node(-1, {0});
         b.doc.nodes[0].children = {1};
     }},
    {"shared child",
     [](GltfBuilder& b) {
         const int leaf = b.add_node(0);
         b.doc.nodes[0].children = {leaf};
         b.add_node(-1, {leaf});
     }},
    {"deep chain",
     [](GltfBuilder& b) {
         for (int i = 0; i < 1100; ++i) b.add_node(-1, {static_cast<int>(b.doc.nodes.size()) - 1});
     }},
    {"missing scene node", [](GltfBuilder& b) { b.doc.scenes[0].nodes = {0, 12}; }},
    {"missing default scene", [](GltfBuilder& b) { b.doc.defaultScene = 3; }},
    {"texture names missing image",
     [](GltfBuilder& b) {
         tinygltf::Texture t;
         t.source = 2;
         b.doc.textures.push_back(t);
     }},
    {"material names missing texture",
     [](GltfBuilder& b) { b.doc.materials[0].pbrMetallicRoughness.baseColorTexture.index = 1; }},
    {"short inverse binds",
     [](GltfBuilder& b) {
         tinygltf::Skin skin;
         skin.joints = {0, 0, 0};
         skin.inverseBindMatrices =
             b.add_accessor(std::vector<float>(16, 1.0f), TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_MAT4, 1);
         b.doc.skins.push_back(skin);
     }},
    {"skin names missing joint",
     [](GltfBuilder& b) {
         tinygltf::Skin skin;
         skin.joints = {0, 77};
         b.doc.skins.push_back(skin);
     }},
    {"animation output read as floats past its view",
     [](GltfBuilder& b) {
         const int in = b.add_accessor(std::vector<float>{0, 1}, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR, 2);
         const int out = b.add_accessor(std::vector<uint8_t>{1, 2, 3, 4, 5, 6}, TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE,
                                        TINYGLTF_TYPE_VEC3, 2);
         tinygltf::Animation a;
         a.samplers.resize(1);
         a.samplers[0].input = in;
         a.samplers[0].output = out;
         tinygltf::AnimationChannel c;
         c.sampler = 0;
         c.target_node = 0;
         c.target_path = "translation";
         a.channels = {c};
         b.doc.animations.push_back(a);
     }},
    {"channel names missing node and sampler",
     [](GltfBuilder& b) {
         tinygltf::Animation a;
         tinygltf::AnimationChannel c;
         c.sampler = 4;
         c.target_node = 40;
         a.channels = {c};
         b.doc.animations.push_back(a);
     }},
};

TEST(Model_HostileInput, BrokenReferencesLeaveTheModelInert) {
    for (const Hostile& h : kHostile) {
        GltfBuilder b = cube_builder();
        h.spoil(b);
        Model model;
        testing::internal::CaptureStderr();
        const std::string out = load_glb(model, b.glb());
        testing::internal::GetCapturedStderr();
        EXPECT_FALSE(model.valid) << h.what;
        EXPECT_TRUE(model.primitive_draws.empty() && model.node_draws.empty() && model.root_nodes.empty()) << h.what;
        EXPECT_FALSE(model.skeleton) << h.what;
        // Either the parser or the validation said why.
        const bool said = out.find("Failed to parse glTF") != std::string::npos ||
                          out.find("is unusable and will not be drawn") != std::string::npos;
        EXPECT_TRUE(said) << h.what << ": " << out;
        if (model.parsed) {
            EXPECT_FALSE(model.rejection.empty()) << h.what;
        }
    }
}

TEST(Model_HostileInput, ValidationMessageNamesFileAndProblem) {
    GltfBuilder b = cube_builder();
    uint8_t* first_index = b.doc.buffers[0].data.data() + b.doc.bufferViews[1].byteOffset;
    first_index[0] = 8;  // one past the last corner
    Model model;
    const std::string out = load_glb(model, b.glb(), "evil.glb");
    EXPECT_EQ(out, "Model evil.glb is unusable and will not be drawn: mesh 0 primitive 0 has index 8 but only 8 "
                   "vertices\n");
    // The document is kept, so the model can still be written back as it came.
    EXPECT_TRUE(model.parsed);
    EXPECT_EQ(model.document.meshes.size(), 1u);
}

TEST(Model_HostileInput, EveryTruncationOfAStoredModelIsAContentError) {
    Model model;
    model.filename = "cube.glb";
    model.buffer.data = cube_builder().glb();
    const std::vector<uint8_t> bytes = written(model);
    for (size_t cut = 0; cut < bytes.size(); cut += 7) {
        ContentReader in(bytes.data(), cut);
        Model partial;
        EXPECT_THROW(partial.read(in), ContentError) << cut;
    }
}

TEST(Model_HostileInput, EveryTruncationOfTheGlbIsRefusedWithoutCrash) {
    const std::vector<uint8_t> glb = skinned_builder().glb();
    for (size_t cut = 0; cut < glb.size(); cut += 5) {
        Model model;
        testing::internal::CaptureStderr();
        load_glb(model, std::vector<uint8_t>(glb.begin(), glb.begin() + cut));
        testing::internal::GetCapturedStderr();
        EXPECT_FALSE(model.valid) << cut;
    }
}

}  // namespace
