// TimelinePanel: the timeline editor's window in the overlay (toggled with T;
// it takes the place of the strip). A beat ruler with bars (click or drag to
// seek), zoom and scroll (mouse wheel, Ctrl+wheel zooms, "fit"), the music's
// waveform, one named lane per event coloured by kind (event groups as
// collapsible lane sets, hidden events faint or left out), the playhead and
// the loop. The selected uniforms event shows its tracks in definition order
// as curves sampled from the event's own evaluation, scaled to each
// definition's range, with the keys as handles: click, Shift-click and box
// select; drag to move (snapped to 1/N beat, Alt for none); double-click
// adds a key. Edits go through the TimelineEditor; while a key is dragged
// the live track follows the mouse and the drop is one undo step.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "preview/timeline_editor.h"

class Demo;

struct PanelView {
    double beat = 0;
    bool has_loop = false;
    double loop_start = 0, loop_end = 0;
    float end_beat = 0;
    float bpm = 120, beat_offset = 0;
    const std::vector<int16_t>* pcm = nullptr;  // interleaved stereo, 44.1 kHz
    bool unsaved = false;
};

struct PanelRequests {
    std::optional<double> seek;
    std::optional<EditOutcome> edit;  // an edit the panel made, for the caller to carry out
};

// Where the last frame put things, in window pixels (for scripts and tests
// that drive the panel with the mouse).
struct PanelGeometry {
    float x0 = 0, px_per_beat = 0;  // beat b is at x0 + (b - first_beat) * px_per_beat
    double first_beat = 0;
    std::vector<std::pair<float, float>> tracks;  // per definition: top and bottom of its curve
    std::vector<std::pair<size_t, float>> lanes;  // event index and the middle of its lane
    float ruler_y = 0;
};

class TimelinePanel {
public:
    PanelGeometry geometry;
    bool visible = false;
    int grid = 4;           // snap to 1/grid beat
    bool show_hidden = true;

    // Inside an ImGui frame: draws the panel and takes its mouse input.
    void draw(Demo& demo, TimelineEditor& editor, const PanelView& view, PanelRequests& out);

    // Keys the session passes on (the selection is the panel's).
    void delete_selection(Demo& demo, TimelineEditor& editor, PanelRequests& out);
    void copy_selection(Demo& demo);
    void paste(Demo& demo, TimelineEditor& editor, double at_beat, PanelRequests& out);
    // Adds a key to the selected track at the playhead, with the value it
    // has there.
    void key_at_playhead(Demo& demo, TimelineEditor& editor, double beat, PanelRequests& out);

    // Forgets selections that name things of an older demo.
    void forget_selection();

private:
    void draw_lanes(Demo& demo, TimelineEditor& editor, const PanelView& view, PanelRequests& out);
    void draw_curves(Demo& demo, TimelineEditor& editor, const PanelView& view, PanelRequests& out);

    double first_beat_ = 0;      // left edge of the view
    double beats_shown_ = 0;     // 0: fit on the next frame
    int selected_event_ = -1;
    int selected_track_ = -1;    // index into the event's definitions
    std::vector<size_t> selected_keys_;  // of the selected track, stored order
    std::vector<std::pair<float, KeyValue>> clipboard_;  // beats relative to the first key copied
    std::vector<std::string> collapsed_groups_;
    // Key drag in progress.
    bool dragging_ = false;
    size_t drag_key_ = 0;
    float drag_beat_ = 0, drag_value_ = 0;   // where the key was
    float drag_to_beat_ = 0, drag_to_value_ = 0;
    // Box selection.
    bool boxing_ = false;
    float box_x0_ = 0, box_y0_ = 0;
    // Waveform cache: min/max per column for the current view.
    std::vector<float> wave_min_, wave_max_;
    const std::vector<int16_t>* wave_pcm_ = nullptr;
    double wave_first_ = -1, wave_shown_ = -1;
};
