// NodeRegistry: the process-wide, ordered list of node types. The twenty-one
// built-in types come first, registered once on first access; the types made
// from the content's programs, events and scenes follow in the order they are
// added. Types are never removed and never move, so nodes may keep pointers.
//
// The GL-free library registers the built-ins with the run functions of the
// logic and value types; the rendering types start with a null run (running
// them does nothing) until the device library installs theirs with set_run()
// and fills resource_runs() before content is read. Main thread only.
#pragma once

#include <cstddef>
#include <deque>
#include <string_view>

#include "nodes/node_type.h"

class Demo;

// Run functions that the content registration passes give to the types they
// create for shader programs and scenes (they draw, so they live on the device side).
struct ResourceRuns {
    RunFunction program_node = nullptr;
    RunFunction scene_node = nullptr;
};

inline constexpr size_t kBuiltinNodeTypeCount = 21;

class NodeRegistry {
public:
    static NodeRegistry& instance();

    // First registered type whose name equals `name` (same length and bytes).
    const NodeType* find(std::string_view name) const;
    NodeType* find_mutable(std::string_view name);

    // Appends a type; the returned reference stays valid for the process.
    NodeType& add(NodeType type);

    // Installs `run` into the first type named `name`; false when there is none.
    bool set_run(std::string_view name, RunFunction run);

    ResourceRuns& resource_runs() { return resource_runs_; }

    size_t size() const { return types_.size(); }
    const NodeType& at(size_t index) const { return types_.at(index); }
    NodeType& at_mutable(size_t index) { return types_.at(index); }
    const std::deque<NodeType>& types() const { return types_; }

    // The demo whose lists the "shader", "textureID" and "font_texture"
    // choices enumerate; null lists nothing. Set by register_content_node_types.
    void set_current_demo(const Demo* demo) { current_demo_ = demo; }
    const Demo* current_demo() const { return current_demo_; }
    // For the demo's destructor: stops enumerating `demo` if it is current.
    void forget_demo(const Demo* demo) {
        if (current_demo_ == demo) current_demo_ = nullptr;
    }

    // Tests only: drops every content type, rebuilds the built-ins in place
    // (same addresses, run functions kept) and forgets the current demo. Nodes
    // of dropped types must be gone.
    void restore_builtins_for_tests();

private:
    NodeRegistry();

    std::deque<NodeType> types_;
    ResourceRuns resource_runs_;
    const Demo* current_demo_ = nullptr;
};

// The label tables behind the "op" and "compare" choices.
inline constexpr int kOperatorCount = 18;
inline constexpr int kComparisonCount = 8;
extern const char* const kOperatorLabels[kOperatorCount];
extern const char* const kComparisonLabels[kComparisonCount];
