// PreviewSession: one run of the preview in an open window: the playhead and
// its music, the watcher and reloads, keys, control commands and the overlay.
// Split by concern over preview_session_sdl.cpp (load, reload, frame loop)
// and preview_commands_sdl.cpp (keys, control commands, status).
#pragma once

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "preview/control_command.h"
#include "preview/cost_panel.h"
#include "preview/file_watcher.h"
#include "preview/music_feed.h"
#include "preview/overlay.h"
#include "preview/playhead.h"
#include "preview/preview.h"
#include "preview/preview_load.h"
#include "preview/timeline_editor.h"
#include "preview/timeline_panel.h"

struct ReloadRecord {
    std::string kind = "none";  // none, shaders, project
    bool ok = true;
    double ms = 0;               // the reload itself
    double save_to_frame_ms = 0; // newest save of the changed files to the swap of the first frame after
    int count = 0;
};

// Microseconds on the preview's clock.
int64_t preview_now_us();

// One JSON answer line on standard output.
void answer(const nlohmann::json& j);
nlohmann::json error_answer(const std::string& why);

class PreviewSession {
public:
    // `silent_why`: why no sound device could be had ("" when one is open).
    PreviewSession(const PreviewOptions& options, std::string silent_why)
        : o_(options), feed_(playhead_, !silent_why.empty()), silent_why_(std::move(silent_why)) {}

    int run(SDL_Window* window, SDL_GLContext context);

private:
    void load_first();
    void reload(const std::vector<std::string>& changed);
    void take(PreviewLoad& load);
    // A re-read swapped in: the playhead, pause and loop are the preview's,
    // not the demo's, so they stay (only a tempo change moves the beat under them).
    void take_keeping_playhead(PreviewLoad& load);
    void report(const std::vector<SourceError>& errors);
    void report_portability();
    void handle_key(const SDL_Keysym& key);
    void handle_command(const ControlCommand& c);
    nlohmann::json status() const;
    void draw_frame(double beat);
    void collect_outputs();
    void write_screenshot();
    // ---- Editing (preview_edits_sdl.cpp) ----
    void handle_edit(const ControlCommand& c);
    // Reads the demo again from the editor's text, keeping playhead and
    // loop; returns why it failed, or "".
    std::string reread_from_text();
    // Carries an edit's outcome out: a re-read when it asks for one (an
    // edit whose re-read fails is taken back when `drop_on_failure`).
    std::string apply_outcome(const EditOutcome& outcome, bool drop_on_failure);
    std::string save();
    // The project file changed on disk: returns whether it must be re-read
    // (false for the preview's own save, and while unsaved edits hold).
    bool take_outside_change();
    void request_quit();
    void refresh_overlay_events();
    void run_panel();
    // Pausing stops at the beat on screen, not at the last chunk boundary
    // behind it, so the picture does not step back.
    void set_paused(bool paused) {
        if (paused == playhead_.paused()) return;
        if (paused) playhead_.seek_beat(feed_.drives_playhead() ? playhead_.beat_at(preview_now_us()) : playhead_.beat());
        else playhead_.restamp(preview_now_us());
        playhead_.set_paused(paused);
        seeked_ = true;
    }
    void seek(double beat) {
        playhead_.seek_beat(beat);
        seeked_ = true;
    }

    const PreviewOptions& o_;
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    Playhead playhead_;
    MusicFeed feed_;
    FileWatcher watcher_;
    Overlay overlay_;
    CostPanel cost_;
    bool overlay_ok_ = false;
    DemoHandle demo_;
    std::vector<std::string> files_;
    std::vector<std::string> errors_;
    std::vector<OverlayEvent> events_;
    std::vector<std::string> outputs_;
    ReloadRecord last_reload_;
    bool project_ = false;
    bool stale_ = false;  // the last re-read failed: the files are newer than the demo
    std::string folder_;
    bool quit_ = false;
    bool quit_requested_ = false;  // by command: after the frame, so a screenshot asked before is written
    bool seeked_ = false;
    std::vector<std::string> pending_screenshots_;
    double fps_ = 0, frame_ms_ = 0;
    int windowed_width_ = 0, windowed_height_ = 0;  // before going fullscreen
    uint64_t frames_ = 0;
    int64_t saved_at_ns_ = 0;  // of the reload whose first frame is not shown yet
    float current_beat_ = 0;
    std::string silent_why_;
    TimelineEditor editor_;
    TimelinePanel panel_;
    bool conflict_ = false;  // project.json changed on disk while edits were unsaved
    bool asking_quit_ = false;  // the window's quit dialog is up
    bool events_dirty_ = false;
    std::string project_path_;
    std::vector<std::string> shown_errors_;
    // The text of the preview's own last save, until the watcher reports it:
    // that change is not read again (an outside write of the same bytes is).
    std::optional<std::string> own_save_;
};

// The whole file as bytes in a string, or nothing when it cannot be read.
std::optional<std::string> read_text_file(const std::string& path);
