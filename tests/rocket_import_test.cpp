// Sync-tracker files into uniforms events: both saved forms, every key
// interpolation, steps on adjacent rows and empty tracks play the tracker's
// curve through the timeline's own evaluation; names become GLSL names;
// malformed files are refused with their line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "serialization/content_error.h"
#include "tools/rocket_import.h"
#include "tools/xml_document.h"

namespace {

struct Key {
    int row;
    double value;
    int interpolation;
};

// The tracker's value at ROW: the first value before the first key, the last
// after the last, 0 without keys; between keys the curve the earlier chose.
double tracker_value(const std::vector<Key>& keys, double row) {
    if (keys.empty()) return 0.0;
    if (row < keys.front().row) return keys.front().value;
    size_t i = 0;
    while (i + 1 < keys.size() && keys[i + 1].row <= row) ++i;
    if (i + 1 == keys.size()) return keys[i].value;
    const Key& a = keys[i];
    const Key& b = keys[i + 1];
    double t = (row - a.row) / (b.row - a.row);
    switch (a.interpolation) {
        case 0: t = 0.0; break;
        case 2: t = t * t * (3.0 - 2.0 * t); break;
        case 3: t = t * t; break;
        default: break;
    }
    return a.value + (b.value - a.value) * t;
}

struct Expected {
    std::string name;       // of the definition
    std::vector<Key> keys;  // in row order
};

// Evaluates every track of EVENT (after a trip through its JSON form, as it
// goes into a project) 32 times a row and just before every key, against the
// tracker's curve, within 1 % of the track's range.
void expect_tracker_curves(const Event& imported, int rows_per_beat, const std::vector<Expected>& tracks) {
    Event event;
    event.from_json(nlohmann::json::parse(rocket_event_json(imported).dump()));
    ASSERT_EQ(event.uniform_defs.size(), tracks.size());
    for (size_t i = 0; i < tracks.size(); ++i) {
        const Expected& t = tracks[i];
        SCOPED_TRACE(t.name);
        EXPECT_EQ(event.uniform_defs[i].name, t.name);
        double lo = 0.0, hi = 0.0;
        if (!t.keys.empty()) {
            const auto [min_key, max_key] = std::minmax_element(
                t.keys.begin(), t.keys.end(), [](const Key& a, const Key& b) { return a.value < b.value; });
            lo = min_key->value;
            hi = max_key->value;
            EXPECT_FLOAT_EQ(event.uniform_defs[i].min_val, lo);
            EXPECT_FLOAT_EQ(event.uniform_defs[i].default_val, t.keys.front().value);
        }
        const double tolerance = hi > lo ? 0.01 * (hi - lo) : 1e-6;
        std::vector<double> rows;
        const int last_row = static_cast<int>(std::floor(event.end_beat * rows_per_beat));
        for (int k = 0; k <= last_row * 32; ++k) rows.push_back(k / 32.0);
        for (const Key& k : t.keys)
            if (k.row > 0) rows.push_back(k.row - 1e-3);
        for (double row : rows) {
            const float beat = static_cast<float>(row / rows_per_beat);
            const double want = tracker_value(t.keys, static_cast<double>(beat) * rows_per_beat);
            const float got = event.evaluate_value(t.name, beat);
            ASSERT_NEAR(got, want, tolerance) << "at row " << row;
        }
    }
}

}  // namespace

TEST(RocketImport, FirstFormEveryInterpolationAndAdjacentStepsFollowTheTracker) {
    const char* xml = R"(<?xml version="1.0" encoding="utf-8"?>
<!-- written by hand: attributes in any order, keys out of order, bookmarks -->
<sync rows="128">
	<tracks>
		<track name="cam:pos.x">
			<key row="0" value="0.000000" interpolation="1"/>
			<key interpolation="2" value="4.5" row="8"/>
			<key value="-2" row="20" interpolation="3" />
			<key row="21" value="1.25" interpolation="0"/>
			<key row="22" value="3" interpolation="0"/>
			<key row="23" value="-1" interpolation="1"/>
			<key row="40" value="2" interpolation="2"/>
		</track>
		<track name="flash &amp; fade">
			<key row="4" value="1" interpolation="0"/>
			<key row="5" value="0" interpolation="0"/>
			<key row="6" value="1" interpolation="0"/>
			<key row="24" value="0.5" interpolation="1"/>
		</track>
		<track name="empty"/>
		<track name="unsorted">
			<key row="30" value="10" interpolation="0"/>
			<key row="2" value="5" interpolation="3"/>
		</track>
	</tracks>
	<bookmarks><bookmark row="16"/></bookmarks>
</sync>
)";
    const RocketFile file = read_rocket(xml);
    EXPECT_EQ(file.rows_per_beat, 0);
    const Event event = rocket_event(file, kDefaultRowsPerBeat, "camera");
    EXPECT_EQ(event.type, EventType::uniforms);
    EXPECT_EQ(event.start_beat, 0.0f);
    EXPECT_EQ(event.end_beat, 16.0f);  // 128 rows
    // Steps up to the last key (whose own choice leads nowhere): one mode.
    EXPECT_EQ(event.control_points.at("flash_fade").mode, InterpolationMode::last_value);
    EXPECT_EQ(event.control_points.at("cam_pos_x").mode, InterpolationMode::linear);
    EXPECT_EQ(event.control_points.at("unsorted").mode, InterpolationMode::linear);
    EXPECT_TRUE(event.control_points.at("empty").points.empty());
    expect_tracker_curves(event, kDefaultRowsPerBeat,
                          {{"cam_pos_x", {{0, 0, 1}, {8, 4.5, 2}, {20, -2, 3}, {21, 1.25, 0}, {22, 3, 0}, {23, -1, 1},
                                          {40, 2, 2}}},
                           {"flash_fade", {{4, 1, 0}, {5, 0, 0}, {6, 1, 0}, {24, 0.5, 1}}},
                           {"empty", {}},
                           {"unsorted", {{2, 5, 3}, {30, 10, 0}}}});
}

TEST(RocketImport, SecondFormTakesRowsPerBeatFromTheFileAndStepOnlyTracksHoldTheirValue) {
    const char* xml = R"(<?xml version='1.0' encoding='UTF-8'?>
<rootElement>
  <tracks rows='64' rowsPerBeat='4' beatsPerMin='140'>
    <track name='fade' folded='0' muteKeyCount='0' color='ff8080'>
      <key row='0' value='1' interpolation='2'/>
      <key row='1' value='0' interpolation='2'/>
      <key row='2' value='1' interpolation='3'/>
      <key row='3' value='0' interpolation='1'/>
      <key row='12' value='0.5' interpolation='0'/>
      <key row='13' value='1' interpolation='0'/>
      <key row='80' value='0' interpolation='2'/>
    </track>
    <track name='2nd'>
    </track>
    <track name='strobe'><key row='3' value='1' interpolation='0'/><key row='4' value='0' interpolation='0'/><key row='5' value='1' interpolation='2'/></track>
  </tracks>
</rootElement>
)";
    const RocketFile file = read_rocket(xml);
    ASSERT_EQ(file.rows_per_beat, 4);
    EXPECT_EQ(file.beats_per_minute, 140.0);
    const Event event = rocket_event(file, file.rows_per_beat, "intro");
    EXPECT_EQ(event.end_beat, 20.0f);  // the last key lies past the file's 64 rows
    EXPECT_EQ(event.control_points.at("strobe").mode, InterpolationMode::last_value);
    expect_tracker_curves(event, 4,
                          {{"fade", {{0, 1, 2}, {1, 0, 2}, {2, 1, 3}, {3, 0, 1}, {12, 0.5, 0}, {13, 1, 0}, {80, 0, 2}}},
                           {"_2nd", {}},
                           {"strobe", {{3, 1, 0}, {4, 0, 0}, {5, 1, 2}}}});
}

TEST(RocketImport, NamesBecomeDistinctGlslNames) {
    EXPECT_EQ(glsl_name("cam:pos.x"), "cam_pos_x");
    EXPECT_EQ(glsl_name("a::b"), "a_b");  // "__" is GLSL's own
    EXPECT_EQ(glsl_name("3d"), "_3d");
    EXPECT_EQ(glsl_name("gl_Position"), "_gl_Position");
    EXPECT_EQ(glsl_name("float"), "float_");
    EXPECT_EQ(glsl_name(""), "track");
    EXPECT_EQ(glsl_name("caf\xC3\xA9"), "caf_");
    EXPECT_EQ(glsl_name(std::string(100, 'x')).size(), 63u);

    RocketFile file;
    for (const char* name : {"a.b", "a:b", "a_b_2", "", "#"}) file.tracks.push_back({name, {}});
    file.tracks.push_back({std::string(70, 'y'), {}});
    file.tracks.push_back({std::string(80, 'y'), {}});
    const Event event = rocket_event(file, 8, "names");
    std::vector<std::string> names;
    for (const UniformDef& d : event.uniform_defs) names.push_back(d.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a_b", "a_b_2", "a_b_2_2", "track", "_", std::string(63, 'y'),
                                               std::string(61, 'y') + "_2"}));
    EXPECT_EQ(event.control_points.size(), names.size());
}

TEST(RocketImport, MalformedFilesAreRefusedWithTheirLine) {
    const std::string keys = "<sync><tracks><track name='t'>\n";
    const std::string end = "</track></tracks></sync>";
    std::string deep;
    for (int i = 0; i < 65; ++i) deep += "<a>";
    struct Case {
        std::string xml;
        std::string message;  // part of the error
    };
    const std::vector<Case> cases = {
        {"", "line 1: no root element"},
        {"<sync><tracks>\n<track name='t'>\n</tracks></sync>", "line 3: </tracks> closes <track> of line 2"},
        {"<sync><tracks>\n", "<tracks> of line 1 is not closed"},
        {"<sync rows=8/>", "without quotes"},
        {"<sync rows='8' rows='9'/>", "given twice"},
        {"<sync a='&bogus;'/>", "unknown entity &bogus;"},
        {"<sync a='&#0;'/>", "bad character reference"},
        {"<sync a='x<y'/>", "'<' inside an attribute value"},
        {"<sync a='unterminated/>", "unterminated attribute value"},
        {"<!DOCTYPE sync [<!ENTITY a 'aaaa'>]><sync/>", "DOCTYPE"},
        {"<sync/><sync/>", "content after the root element"},
        {"<sync><!-- open", "unterminated comment"},
        {"<sync/>\n<?xml version='1.0'?>", "line 2: XML declaration after the start"},
        {deep, "nested deeper than 64"},
        {"<project><tracks/></project>", "not a sync tracker's file"},
        {"<sync rows='8'/>", "holds no <tracks>"},
        {keys + "<key row='1' value='2'/>" + end, "line 2: <key> has no interpolation"},
        {keys + "<key row='-1' value='2' interpolation='0'/>" + end, "row \"-1\" is not a whole number"},
        {keys + "<key row='1.5' value='2' interpolation='0'/>" + end, "row \"1.5\""},
        {keys + "<key row='1' value='1e39' interpolation='0'/>" + end, "value \"1e39\" is not a number"},
        {keys + "<key row='1' value='nan' interpolation='0'/>" + end, "is not a number"},
        {keys + "<key row='1' value='2' interpolation='4'/>" + end, "interpolation \"4\""},
        {keys + "<key row='3' value='2' interpolation='0'/>\n<key row='3' value='1' interpolation='0'/>" + end,
         "line 1: track \"t\" has two keys on row 3"},
        {"<rootElement><tracks rowsPerBeat='0'/></rootElement>", "rowsPerBeat \"0\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        try {
            read_rocket(c.xml);
            ADD_FAILURE() << "accepted";
        } catch (const ContentError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }

    // Smooth keys a whole long file apart would be sampled into hundreds of
    // millions of points: refused before any is made.
    RocketFile far;
    far.tracks.push_back({"far", {{0, 0.0, 2}, {kMaxRocketRow, 1.0, 0}}});
    EXPECT_THROW(rocket_event(far, 1, "far"), ContentError);
}

TEST(XmlDocument, ReadsReferencesCommentsAndCdataAroundElements) {
    const XmlElement root = parse_xml(
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- c --><?pi x?>\n<r a = \"&lt;&#x41;&#66;&quot;&apos;&gt;\" b='\"'>"
        "text &amp; more<![CDATA[<not an element>]]><c/><!-- <d/> --><e x='1'></e></r>\n");
    EXPECT_EQ(root.name, "r");
    EXPECT_EQ(*root.attribute("a"), "<AB\"'>");
    EXPECT_EQ(*root.attribute("b"), "\"");
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.children[0].name, "c");
    EXPECT_EQ(root.children[1].line, 3);
}
