// Shared by the fuzz targets: every input must start from the same process
// state, or a finding would depend on the inputs run before it.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "nodes/next_id.h"
#include "nodes/node_registry.h"
#include "serialization/content_writer.h"
#include "serialization/demo.h"

namespace fuzz_support {

// Reading content registers node types for its programs, events and scenes
// and raises the id counter; drop both once the demo (and its graph) is gone,
// so the registry does not grow with every input.
inline void reset_process_state() {
    NodeRegistry& registry = NodeRegistry::instance();
    registry.set_current_demo(nullptr);
    registry.restore_builtins_for_tests();
    Nodes::reset_next_id_for_tests(0);
}

// Targets that read files named by their input (external URIs, project
// resources) resolve them against the working directory: the first call moves
// the process into a new, empty directory so that nothing outside is read.
inline void enter_empty_directory(const char* target) {
    static bool done = false;
    if (done) return;
    done = true;
    std::string pattern = std::string("/tmp/qv_") + target + "_fuzz_XXXXXX";
    const char* dir = ::mkdtemp(pattern.data());
    if (!dir || ::chdir(dir) != 0) {
        std::fprintf(stderr, "%s fuzz target: cannot enter an empty directory\n", target);
        std::abort();
    }
}

inline std::string content_bytes(const Demo& demo) {
    ContentWriter out;
    demo.write(out);
    return out.take();
}

}  // namespace fuzz_support
