#include "preview/file_watcher.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace fs = std::filesystem;

namespace {
constexpr uint32_t kFolderEvents =
    IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ATTRIB;
}

FileWatcher::FileWatcher() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

FileWatcher::~FileWatcher() {
    if (fd_ >= 0) ::close(fd_);
}

void FileWatcher::watch(const std::vector<std::string>& files) {
    if (fd_ < 0) return;
    for (const auto& [wd, folder] : folders_) inotify_rm_watch(fd_, wd);
    folders_.clear();
    files_.clear();
    std::set<std::string> folders;
    for (const std::string& file : files) {
        files_.insert(file);
        folders.insert(fs::path(file).parent_path().string());
    }
    for (const std::string& folder : folders) {
        const int wd = inotify_add_watch(fd_, folder.c_str(), kFolderEvents);
        if (wd >= 0) folders_[wd] = folder;
    }
}

std::vector<std::string> FileWatcher::poll(int64_t now_ms, int64_t quiet_ms) {
    if (fd_ < 0) return {};
    alignas(inotify_event) char buffer[16384];
    // Bounded: a flood of events is taken a few buffers per frame.
    for (int reads = 0; reads < 16; ++reads) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->len == 0) continue;
            auto folder = folders_.find(event->wd);
            if (folder == folders_.end()) continue;
            const std::string path = folder->second + "/" + event->name;
            if (!files_.count(path)) continue;
            changed_.insert(path);
            last_event_ms_ = now_ms;
            saw_event_ = true;
        }
    }
    if (!saw_event_ || now_ms - last_event_ms_ < quiet_ms) return {};
    saw_event_ = false;
    std::vector<std::string> out(changed_.begin(), changed_.end());
    changed_.clear();
    return out;
}

void FileWatcher::wait(int timeout_ms) const {
    if (fd_ < 0) return;
    pollfd p{fd_, POLLIN, 0};
    ::poll(&p, 1, timeout_ms);
}
