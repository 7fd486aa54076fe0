#include "preview/control_input.h"

#include <poll.h>
#include <unistd.h>

#include "preview/control_command.h"

bool ControlInput::read(std::vector<std::string>& lines) {
    if (ended_) return false;
    for (int rounds = 0; rounds < 8; ++rounds) {
        pollfd p{0, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) break;
        char buffer[4096];
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n <= 0) {
            ended_ = true;
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == '\n') {
                lines.push_back(too_long_ ? std::string(kMaxControlLineBytes + 1, 'x') : pending_);
                pending_.clear();
                too_long_ = false;
            } else if (pending_.size() < kMaxControlLineBytes + 1) {
                pending_ += buffer[i];
            } else {
                too_long_ = true;
            }
        }
    }
    if (ended_ && !pending_.empty()) {
        lines.push_back(pending_);
        pending_.clear();
    }
    return !ended_;
}
