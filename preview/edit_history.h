// EditHistory: the undo and redo stack of the timeline editor. A step is the
// list of text patches one edit made to the project document (a drag, a
// paste or a command is one step), with the event it touched so that undoing
// it refreshes only that event, or -1 when the demo must be read again.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "preview/json_document.h"

struct EditStep {
    std::string label;
    std::vector<TextPatch> patches;  // in the order they were applied
    int event = -1;                  // the event touched; -1: read the demo again
    uint64_t id = 0;                 // set by the history
};

class EditHistory {
public:
    // Steps kept; the oldest go first beyond this.
    static constexpr size_t kMaxSteps = 1000;

    // Adds a step after the current one, dropping whatever could be redone.
    void push(EditStep step);
    bool can_undo() const { return position_ > 0; }
    bool can_redo() const { return position_ < steps_.size(); }
    // The step to undo (moves back) or to redo (moves on). Callers check first.
    const EditStep& undo();
    const EditStep& redo();
    // Forgets the last step without it being redoable (an edit that failed
    // after it was applied).
    void drop_last();
    void clear();

    size_t undo_steps() const { return position_; }
    size_t redo_steps() const { return steps_.size() - position_; }
    // Names the state reached: equal ids mean the same text.
    uint64_t state_id() const { return position_ == 0 ? base_id_ : steps_[position_ - 1].id; }

private:
    std::deque<EditStep> steps_;
    size_t position_ = 0;
    uint64_t next_id_ = 1;
    uint64_t base_id_ = 0;  // the state before the oldest step kept
};
