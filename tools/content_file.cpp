#include "tools/content_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "serialization/content_trailer.h"
#include "serialization/file_io.h"

namespace fs = std::filesystem;

std::vector<uint8_t> read_whole_file(const std::string& path) {
    auto bytes = try_read_file(path);
    if (!bytes) throw ContentError("cannot read " + path);
    return std::move(*bytes);
}

void write_whole_file(const std::string& path, const void* bytes, size_t size, bool executable) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw ContentError("cannot write " + path);
    const bool ok = size == 0 || std::fwrite(bytes, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok) throw ContentError("cannot write " + path);
    if (executable) ::chmod(path.c_str(), 0755);
}

std::unique_ptr<Demo> load_content_file(const std::string& path, size_t* content_size) {
    const std::vector<uint8_t> file = read_whole_file(path);
    const ContentSpan span = content_span(file.data(), file.size());
    if (content_size) *content_size = span.size;
    ContentReader in(file.data() + span.offset, span.size);
    auto demo = std::make_unique<Demo>();
    demo->read(in);
    return demo;
}

std::unique_ptr<Demo> load_project(const std::string& project_path) {
    const std::vector<uint8_t> text = read_whole_file(project_path);
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::exception& e) {
        throw ContentError(project_path + ": " + e.what());
    }
    fs::path folder = fs::absolute(project_path).parent_path();
    WorkingDirectory guard(folder);
    auto demo = std::make_unique<Demo>();
    try {
        demo->from_json(json);
    } catch (const nlohmann::json::exception& e) {
        throw ContentError(project_path + ": " + e.what());
    }
    return demo;
}

std::unique_ptr<Demo> load_project_or_content(const std::string& path) {
    const bool project = path.size() >= 5 && path.compare(path.size() - 5, 5, ".json") == 0;
    return project ? load_project(path) : load_content_file(path);
}

StdoutToStderr::StdoutToStderr() {
    std::fflush(stdout);
    saved_ = ::dup(1);
    if (saved_ >= 0) ::dup2(2, 1);
}

StdoutToStderr::~StdoutToStderr() {
    std::fflush(stdout);
    if (saved_ >= 0) {
        ::dup2(saved_, 1);
        ::close(saved_);
    }
}

std::string content_bytes(const Demo& demo) {
    ContentWriter out;
    demo.write(out);
    return out.take();
}
