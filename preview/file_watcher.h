// FileWatcher: tells when files of a project were saved, through inotify on
// their folders. Folders, not the files, because editors save by writing a
// temporary file and renaming it over the old one, which a watch on the old
// file would not see. Bursts (an editor's write, rename and attribute change)
// are taken together: changes are handed out once no event came for a quiet
// time.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class FileWatcher {
public:
    FileWatcher();
    ~FileWatcher();
    FileWatcher(const FileWatcher&) = delete;
    FileWatcher& operator=(const FileWatcher&) = delete;

    // Whether inotify could be had; without it nothing is ever reported.
    bool ok() const { return fd_ >= 0; }

    // Watches exactly these files (absolute, normalised paths) from now on.
    // Folders that do not exist are skipped.
    void watch(const std::vector<std::string>& files);

    // Reads the events waiting (never blocks). Returns the watched files
    // that changed, were made, renamed onto or deleted, once `quiet_ms` have
    // passed on the caller's clock since the last such event; else nothing.
    std::vector<std::string> poll(int64_t now_ms, int64_t quiet_ms);

    // Waits at most `timeout_ms` for an event to arrive (tests and idle loops).
    void wait(int timeout_ms) const;

private:
    int fd_ = -1;
    std::unordered_map<int, std::string> folders_;  // watch descriptor -> folder
    std::set<std::string> files_;
    std::set<std::string> changed_;
    int64_t last_event_ms_ = 0;
    bool saw_event_ = false;
};
