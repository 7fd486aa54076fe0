#include "preview/edit_history.h"

#include <cassert>

void EditHistory::push(EditStep step) {
    steps_.resize(position_);
    step.id = next_id_++;
    steps_.push_back(std::move(step));
    if (steps_.size() > kMaxSteps) {
        base_id_ = steps_.front().id;
        steps_.pop_front();
    }
    position_ = steps_.size();
}

const EditStep& EditHistory::undo() {
    assert(can_undo() && "nothing to undo");
    return steps_[--position_];
}

const EditStep& EditHistory::redo() {
    assert(can_redo() && "nothing to redo");
    return steps_[position_++];
}

void EditHistory::drop_last() {
    assert(can_undo() && "no step to drop");
    steps_.resize(position_ - 1);
    position_ = steps_.size();
}

void EditHistory::clear() {
    steps_.clear();
    position_ = 0;
    base_id_ = next_id_++;
}
