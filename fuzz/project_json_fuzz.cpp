// The JSON project reader (parse, then Demo::from_json) on arbitrary text. It
// runs in a fresh empty working directory, so that only names the input
// spells out (absolute paths, /dev/..., /proc/...) reach any file: those must
// never hang the reader or exhaust memory. A project that reads must write
// its binary content, and that content must read back and write the same bytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "fuzz/fuzz_support.h"

namespace {

bool read_project(const uint8_t* data, size_t size, std::string* written) {
    const nlohmann::json json = nlohmann::json::parse(data, data + size, nullptr, false);
    if (json.is_discarded()) return false;
    Demo demo;
    try {
        demo.from_json(json);
    } catch (const nlohmann::json::exception&) {
        return false;
    } catch (const std::runtime_error&) {  // ContentError, bad base64
        return false;
    }
    *written = fuzz_support::content_bytes(demo);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::enter_empty_directory("project_json");
    std::string first;
    const bool ok = read_project(data, size, &first);
    fuzz_support::reset_process_state();
    if (!ok) return 0;

    std::string second;
    {
        Demo demo;
        ContentReader in(reinterpret_cast<const uint8_t*>(first.data()), first.size());
        try {
            demo.read(in);
        } catch (const ContentError& e) {
            std::fprintf(stderr, "content packed from a project does not read back: %s\n", e.what());
            std::abort();
        }
        second = fuzz_support::content_bytes(demo);
    }
    fuzz_support::reset_process_state();
    if (second != first) {
        std::fprintf(stderr, "packed content does not write the same bytes after a round trip (%zu vs %zu bytes)\n",
                     first.size(), second.size());
        std::abort();
    }
    return 0;
}
