// The process-wide counter that numbers nodes, pins and connections. Ids only
// matter to the authoring side, but they must stay unique across everything
// loaded and created afterwards, so every stored id pushes the counter past it.
// Main thread only.
#pragma once

#include <cstdint>

namespace Nodes {

// Returns the counter and advances it. At INT32_MAX the counter stays there
// (content that stores that id has already used up the range).
int32_t take_fresh_id();
// Raises the counter to stored_id + 1 when it is below that.
void raise_next_id(int32_t stored_id);
// The id the next take_fresh_id() returns.
int32_t peek_next_id();
// Tests only: put the counter back to `value`.
void reset_next_id_for_tests(int32_t value = 0);

}  // namespace Nodes
