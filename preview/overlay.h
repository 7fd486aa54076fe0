// Overlay: the preview's Dear ImGui panels over the picture. A transport
// bar, a timeline strip of the demo's events with the playhead and the loop
// (click or drag to seek), the current errors, and the outputs of the event
// nodes that ran this frame. Drawn after the graph; it saves and restores
// the GL state it touches, so the graph's next frame (and every screen copy
// it makes) is the same with it or without it.
#pragma once

#include <SDL.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct OverlayEvent {
    std::string name;
    int kind = 0;  // EventType
    float start_beat = 0, end_beat = 0;
};

struct OverlayView {
    double beat = 0, seconds = 0, fps = 0, frame_ms = 0;
    bool paused = false;
    bool has_loop = false;
    double loop_start = 0, loop_end = 0;
    float end_beat = 0;
    const std::vector<OverlayEvent>* events = nullptr;
    const std::vector<std::string>* errors = nullptr;
    const std::vector<std::string>* outputs = nullptr;  // "node: name = value"
    std::string reload;  // what the last reload did
    std::string mark;    // after the reload line: unsaved edits, no sound
    bool strip = true;   // the events strip (off while the timeline panel stands in)
    // Drawn inside the same frame, after the bars (the timeline panel, dialogs).
    std::function<void()> more;
};

class Overlay {
public:
    // Needs the window's current context; false when ImGui could not start.
    bool open(SDL_Window* window, SDL_GLContext context);
    ~Overlay();

    // Feeds an event; true when the overlay took it (a click on a panel).
    bool handle(const SDL_Event& event);

    // Draws one frame of panels over the window; returns a beat to seek to
    // when the timeline was clicked or dragged.
    std::optional<double> draw(const OverlayView& view);

    bool visible = true;

private:
    bool open_ = false;
};
