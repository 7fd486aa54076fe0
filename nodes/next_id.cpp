#include "nodes/next_id.h"

#include <limits>

namespace Nodes {
namespace {
int32_t g_next_id = 0;
}

int32_t take_fresh_id() {
    const int32_t id = g_next_id;
    if (g_next_id < std::numeric_limits<int32_t>::max()) ++g_next_id;
    return id;
}

void raise_next_id(int32_t stored_id) {
    // A stored INT32_MAX would overflow stored_id + 1.
    if (stored_id == std::numeric_limits<int32_t>::max()) {
        g_next_id = stored_id;
        return;
    }
    if (g_next_id < stored_id + 1) g_next_id = stored_id + 1;
}

int32_t peek_next_id() { return g_next_id; }

void reset_next_id_for_tests(int32_t value) { g_next_id = value; }

}  // namespace Nodes
