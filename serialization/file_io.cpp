#include "serialization/file_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/platform.h"
#include "serialization/content_error.h"

namespace {
struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

FileReadObserver g_observer = nullptr;
void* g_observer_user = nullptr;

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { ::close(fd_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

private:
    int fd_;
};
}  // namespace

void set_file_read_observer(FileReadObserver observer, void* user) {
    g_observer = observer;
    g_observer_user = user;
}

std::optional<std::vector<uint8_t>> try_read_file(const std::string& path) {
    if (g_observer) g_observer(path, g_observer_user);
    // Never blocks on a named pipe without a writer, never takes a terminal.
    const int fd = open_for_reading(path);
    if (fd < 0) return std::nullopt;
    const Descriptor guard(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) return std::nullopt;
    // A folder is a name that holds no file, as it always was; anything else
    // that is not a regular file is refused by name.
    if (S_ISDIR(info.st_mode)) return std::nullopt;
    if (!S_ISREG(info.st_mode)) throw ContentError("not a regular file: " + path);
    const uint64_t stated = static_cast<uint64_t>(info.st_size);
    if (stated > kMaxReadFileBytes)
        throw ContentError("file too large: " + path + " (" + std::to_string(stated) + " bytes)");

    // A regular file is read up to the size it had when opened. One that
    // reports no size is read in whole chunks (some pseudo-files accept no
    // other reads) until it ends or passes the bound.
    constexpr size_t kChunk = size_t{1} << 16;
    const bool sizeless = stated == 0;
    std::vector<uint8_t> bytes(sizeless ? kChunk : static_cast<size_t>(stated));
    size_t got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (!sizeless) break;
            if (got > kMaxSizelessFileBytes)
                throw ContentError("file too large: " + path + " (more than " +
                                   std::to_string(kMaxSizelessFileBytes) + " bytes from a file that reports no size)");
            bytes.resize(got + kChunk);
        }
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

std::vector<uint8_t> read_file_or_throw(const std::string& path) {
    auto bytes = try_read_file(path);
    if (!bytes) throw ContentError("File not found: " + path);
    return std::move(*bytes);
}

void write_file(const std::string& path, const void* bytes, size_t size) {
    // Names come from content of unknown origin: never let one escape the
    // folder the project is written into.
    const std::filesystem::path target(path);
    if (path.empty() || target.is_absolute()) throw ContentError("refusing to write file with unsafe name: " + path);
    for (const auto& part : target)
        if (part == "..") throw ContentError("refusing to write file with unsafe name: " + path);
    const std::filesystem::path parent = target.parent_path();
    std::error_code ec;
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    File f(open_file(path, "wb"));
    if (!f) throw ContentError("cannot write file: " + path);
    if (size > 0 && std::fwrite(bytes, 1, size, f.get()) != size) throw ContentError("cannot write file: " + path);
}

WorkingDirectory::WorkingDirectory(const std::filesystem::path& dir) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
}

WorkingDirectory::~WorkingDirectory() {
    std::error_code ec;
    std::filesystem::current_path(saved_, ec);
}
