#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "preview/control_command.h"
#include "preview/file_watcher.h"
#include "preview/playhead.h"
#include "preview/reload_plan.h"
#include "preview/source_map.h"
#include "render/shader_program.h"

namespace fs = std::filesystem;

namespace {

// 120 bpm, no offset: one beat is half a second, 22050 frames.
void at_120_bpm(Playhead& p) { p.set_tempo(120.0f, 0.0f); }

std::vector<int16_t> ramp(int frames) {
    std::vector<int16_t> pcm;
    for (int i = 0; i < frames; ++i) {
        pcm.push_back(static_cast<int16_t>(i % 30000));
        pcm.push_back(static_cast<int16_t>(-(i % 30000)));
    }
    return pcm;
}

TEST(Playhead_Feed, CopiesTheMusicAtTheSeekedBeatAndWrapsAtTheLoopEnd) {
    Playhead p;
    at_120_bpm(p);
    const std::vector<int16_t> pcm = ramp(100000);
    std::vector<int16_t> out(2 * 1024);

    p.seek_beat(1.0);
    ASSERT_EQ(p.frame(), 22050);
    p.play_into(pcm.data(), 50000, out.data(), 1024, 0);
    EXPECT_EQ(out[0], 22050);
    EXPECT_EQ(out[1], -22050);
    EXPECT_EQ(out[2 * 1023], 22050 + 1023);
    EXPECT_EQ(p.frame(), 22050 + 1024);

    // A loop over frames 22050 .. 22550: the chunk jumps back mid-way, as heard.
    ASSERT_TRUE(p.set_loop(1.0, 1.0 + 500.0 / 22050.0));
    p.seek_beat(1.0 + 400.0 / 22050.0);
    p.play_into(pcm.data(), 50000, out.data(), 1024, 0);
    EXPECT_EQ(out[2 * 99], 22050 + 499);
    EXPECT_EQ(out[2 * 100], 22050);
    EXPECT_GE(p.frame(), 22050);
    EXPECT_LT(p.frame(), 22550);

    // Paused: silence, and the position stands still.
    const int64_t at = p.frame();
    p.set_paused(true);
    p.play_into(pcm.data(), 50000, out.data(), 1024, 0);
    EXPECT_EQ(p.frame(), at);
    for (int16_t s : out) ASSERT_EQ(s, 0);
    p.set_paused(false);

    // Before the music and past its end: silence, the playhead still moves.
    p.clear_loop();
    p.seek_beat(-1.0);
    p.play_into(pcm.data(), 50000, out.data(), 1024, 0);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(p.frame(), -22050 + 1024);
    p.seek_beat(10.0);
    p.play_into(pcm.data(), 50000, out.data(), 1024, 0);
    EXPECT_EQ(out[2 * 1023 + 1], 0);
}

TEST(Playhead_Time, BeatBetweenChunksRunsOnAtMostOneChunkAndStopsWhenPaused) {
    Playhead p;
    at_120_bpm(p);
    p.advance(1024, 1'000'000);
    // 10 ms later: 441 frames further on.
    EXPECT_NEAR(p.beat_at(1'010'000), (1024.0 + 441.0) / 22050.0, 1e-9);
    // A late audio thread does not let the picture run ahead of the sound.
    EXPECT_NEAR(p.beat_at(9'000'000), 2048.0 / 22050.0, 1e-9);
    // Times before the last advance do not go backwards.
    EXPECT_NEAR(p.beat_at(0), 1024.0 / 22050.0, 1e-9);
    p.set_paused(true);
    EXPECT_NEAR(p.beat_at(1'010'000), 1024.0 / 22050.0, 1e-9);

    // A tempo of zero or NaN would make every beat NaN; the default stands in.
    Playhead q;
    q.set_tempo(0.0f, std::numeric_limits<float>::quiet_NaN());
    q.seek_beat(2.0);
    EXPECT_NEAR(q.beat(), 2.0, 1e-4);
    q.seek_beat(std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isfinite(q.beat()));
}

TEST(Playhead_Loop, BracketsMakeALoopOnlyWhenItsStartComesFirst) {
    Playhead p;
    at_120_bpm(p);
    p.seek_beat(4.0);
    p.set_loop_end_here();  // `]` alone: no loop yet
    EXPECT_FALSE(p.has_loop());
    p.seek_beat(2.0);
    p.set_loop_start_here();  // `[` before the kept end: loop 2 .. 4
    ASSERT_TRUE(p.has_loop());
    EXPECT_NEAR(p.loop_start_beat(), 2.0, 1e-9);
    EXPECT_NEAR(p.loop_end_beat(), 4.0, 1e-9);
    p.seek_beat(5.0);
    p.set_loop_start_here();  // past the end: the end is dropped
    EXPECT_FALSE(p.has_loop());
    p.seek_beat(6.0);
    p.set_loop_end_here();
    ASSERT_TRUE(p.has_loop());
    EXPECT_NEAR(p.loop_start_beat(), 5.0, 1e-9);
    EXPECT_FALSE(p.set_loop(3.0, 3.0));
    EXPECT_NEAR(p.loop_start_beat(), 5.0, 1e-9);  // a refused loop changes nothing
    p.clear_loop();
    EXPECT_FALSE(p.has_loop());
    p.seek_beat(7.0);
    p.set_loop_end_here();  // the cleared start is not remembered
    EXPECT_FALSE(p.has_loop());
}

TEST(ControlCommand_Parse, TakesEveryCommandAndRefusesMalformedLines) {
    using Kind = ControlCommand::Kind;
    ControlCommand c = parse_control_command("  seek   -0.5\r");
    EXPECT_EQ(c.kind, Kind::Seek);
    EXPECT_DOUBLE_EQ(c.a, -0.5);
    c = parse_control_command("loop 4 8");
    EXPECT_EQ(c.kind, Kind::Loop);
    EXPECT_DOUBLE_EQ(c.b, 8);
    EXPECT_EQ(parse_control_command("loop off").kind, Kind::LoopOff);
    EXPECT_EQ(parse_control_command("overlay off").a, 0);
    EXPECT_EQ(parse_control_command("overlay on").a, 1);
    c = parse_control_command("size 640x360");
    EXPECT_EQ(c.kind, Kind::Size);
    EXPECT_EQ(c.width, 640);
    EXPECT_EQ(c.height, 360);
    c = parse_control_command("screenshot /tmp/my shots/a.png ");
    EXPECT_EQ(c.kind, Kind::Screenshot);
    EXPECT_EQ(c.path, "/tmp/my shots/a.png");
    for (const char* verb : {"pause", "play", "status", "quit"}) EXPECT_NE(parse_control_command(verb).kind, Kind::None);
    EXPECT_EQ(parse_control_command("   ").kind, Kind::None);
    EXPECT_TRUE(parse_control_command("   ").error.empty());  // blank: nothing to answer

    for (const std::string& bad : std::vector<std::string>{"seek", "seek 1 2", "seek nan", "seek inf", "seek 1e300", "seek 4x", "loop 8 4", "loop 4", "loop on",
          "size 640", "size 8x8", "size 99999x10", "size -640x360", "size 640x360x2", "screenshot", "screenshot a.jpg",
          "pause now", "SEEK 4", "overlay", "overlay maybe", "frobnicate", std::string(kMaxControlLineBytes + 1, 'a')}) {
        c = parse_control_command(bad);
        EXPECT_EQ(c.kind, Kind::None) << bad;
        EXPECT_FALSE(c.error.empty()) << bad;
    }
}

std::unique_ptr<ShaderProgram> program(const std::string& file, const std::string& source) {
    auto p = std::make_unique<ShaderProgram>();
    p->fragment_shader_filename = file;
    p->fragment_shader_source = source;
    return p;
}

TEST(SourceMap_Includes, ExpandsAsTheBuildDoesAndMapsEveryLineToItsFile) {
    ShaderList list;
    list.push_back(program("main.frag", "#version 150\n#include \"a.frag\"\nvoid main() {}\n#include \"a.frag\"\n"));
    list.push_back(program("a.frag", "float a1;\n#include \"b.frag\"\nfloat a3;\n"));
    list.push_back(program("b.frag", "float b1;\nfloat b2;"));  // no final line break
    const MappedSource m = expand_includes_mapped(*list[0], list);
    ASSERT_EQ(m.text, expand_includes(*list[0], &list));
    // version / a1 / b1 / b2 / a3 / the rest of the directive's line / main /
    // the second include (left alone) / "".
    const std::vector<std::pair<std::string, int>> want = {
        {"main.frag", 1}, {"a.frag", 1}, {"b.frag", 1}, {"b.frag", 2}, {"a.frag", 3},
        {"main.frag", 2}, {"main.frag", 3}, {"main.frag", 4}, {"main.frag", 5}};
    ASSERT_EQ(m.lines.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(m.lines[i].file, want[i].first) << "line " << i + 1;
        EXPECT_EQ(m.lines[i].line, want[i].second) << "line " << i + 1;
    }

    // Compiler lines in the formats drivers write come back to their file.
    const std::string log =
        "0:4(3): error: `b2' redeclared\n0:5(1): warning: unused\n0(7) : error C1008: undefined variable\n"
        "ERROR: 0:2: 'a1' : syntax error\nsomething without a place\n0:99999999999(1): error: huge\n"
        "\nLINKER ERROR: linking with uncompiled shader";
    const std::vector<SourceError> errors = compile_errors(log, m, "main.frag");
    ASSERT_EQ(errors.size(), 5u);
    EXPECT_EQ(errors[0].text(), "b.frag:2:3: error: `b2' redeclared");
    EXPECT_EQ(errors[1].text(), "main.frag:3: error C1008: undefined variable");
    EXPECT_EQ(errors[2].text(), "a.frag:1: 'a1' : syntax error");
    EXPECT_EQ(errors[3].text(), "main.frag: something without a place");
    EXPECT_EQ(errors[4].file, "main.frag");  // a line number past any int is no place
    EXPECT_TRUE(compile_errors("0:3(1): warning: x\n", m, "main.frag").empty());

    int line = 0, column = 0;
    parse_error_location("[json.exception.parse_error.101] parse error at line 3, column 17: syntax error", line, column);
    EXPECT_EQ(line, 3);
    EXPECT_EQ(column, 17);
}

TEST(ReloadPlan_Decide, ShaderSavesRebuildTheirIncludersAndOtherFilesReadTheProject) {
    ShaderList list;
    list.push_back(program("res/top.frag", "#include \"res/mid.frag\"\n"));
    list.push_back(program("res/mid.frag", "#include \"res/leaf.frag\"\n"));
    list.push_back(program("res/leaf.frag", "float x;\n"));
    list.push_back(program("res/other.frag", "float y;\n"));
    for (auto& p : list) p->vertex_shader_filename = "res/default.vert";

    ReloadPlan plan = plan_reload({"/p/res/leaf.frag"}, list, "/p");
    EXPECT_FALSE(plan.full);
    EXPECT_EQ(plan.programs, (std::vector<size_t>{0, 1, 2}));
    plan = plan_reload({"/p/res/other.frag"}, list, "/p");
    EXPECT_EQ(plan.programs, (std::vector<size_t>{3}));
    plan = plan_reload({"/p/res/default.vert"}, list, "/p");
    EXPECT_EQ(plan.programs.size(), 4u);
    EXPECT_TRUE(plan_reload({"/p/res/leaf.frag", "/p/project.json"}, list, "/p").full);
    EXPECT_TRUE(plan_reload({"/p/res/noise.png"}, list, "/p").full);
    EXPECT_TRUE(plan_reload({"/elsewhere/res/leaf.frag"}, list, "/p").full);
    EXPECT_FALSE(plan_reload({}, list, "/p").full);
}

TEST(FileWatcher_Saves, SeesInPlaceAndRenamedSavesOnceTheyAreQuiet) {
    const fs::path dir = fs::temp_directory_path() / ("qv_watch_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string watched = (dir / "a.frag").string(), other = (dir / "b.txt").string();
    std::ofstream(watched) << "one";
    FileWatcher w;
    ASSERT_TRUE(w.ok());
    w.watch({watched});

    // Collects what poll hands out, waiting for events at most `cap` times.
    auto drain = [&](int64_t& now, int cap) {
        std::vector<std::string> got;
        for (int i = 0; i < cap && got.empty(); ++i) {
            w.wait(50);
            now += 50;
            got = w.poll(now, 40);
        }
        return got;
    };
    int64_t now = 0;
    std::ofstream(other) << "not watched";
    EXPECT_TRUE(drain(now, 4).empty());

    std::ofstream(watched) << "two";
    EXPECT_TRUE(w.poll(now, 1000).empty());  // not yet quiet
    std::vector<std::string> got = drain(now, 40);
    ASSERT_EQ(got, std::vector<std::string>{watched});
    EXPECT_TRUE(w.poll(now + 1000, 40).empty());  // handed out once

    // An editor's save: a new file renamed over the old one.
    const std::string temporary = (dir / ".a.frag.swp").string();
    std::ofstream(temporary) << "three";
    fs::rename(temporary, watched);
    got = drain(now, 40);
    ASSERT_EQ(got, std::vector<std::string>{watched});

    fs::remove(watched);  // deleted: a change too
    EXPECT_EQ(drain(now, 40), std::vector<std::string>{watched});
    fs::remove_all(dir);
}

}  // namespace
