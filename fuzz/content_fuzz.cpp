// The whole content reader, graph included, on arbitrary bytes. It must end
// with a ContentError (or a decoded Demo), never a crash, hang or huge
// allocation. What it reads must write back, and the bytes written must read
// again into a demo that writes the very same bytes: a record whose writer and
// reader disagree loses data on every pack.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"

namespace {

// Far above what the inputs hold, far below the reader's own bound: decoding
// and re-encoding hundreds of megabytes of forged text would only slow every
// run down (the bound itself has its own tests).
constexpr uint64_t kStringBytesPerRun = 16u << 20;

bool read_content(const uint8_t* data, size_t size, std::string* written) {
    Demo demo;
    ContentReader in(data, size);
    in.limit_string_bytes(kStringBytesPerRun);
    try {
        demo.read(in);
    } catch (const ContentError&) {
        return false;
    }
    *written = fuzz_support::content_bytes(demo);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string first;
    const bool ok = read_content(data, size, &first);
    fuzz_support::reset_process_state();
    if (!ok) return 0;

    std::string second;
    if (!read_content(reinterpret_cast<const uint8_t*>(first.data()), first.size(), &second)) {
        std::fprintf(stderr, "content written from a demo that was read does not read back\n");
        std::abort();
    }
    fuzz_support::reset_process_state();
    if (second != first) {
        std::fprintf(stderr, "content does not write the same bytes after a round trip (%zu vs %zu bytes)\n",
                     first.size(), second.size());
        std::abort();
    }
    return 0;
}
