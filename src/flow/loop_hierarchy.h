// The loop hierarchy: natural loops of the flow graph nested under a root
// record that stands for the whole function, each with a preheader and a
// depth.  Every block points to the innermost loop that contains it.
//
// A loop's `blocks` holds the blocks whose innermost loop it is and the
// header of each directly nested loop; a listed block whose own loop is
// not this loop is such a header, which is how children are found.
#pragma once

#include "flow/flow_graph.h"

#include <memory>
#include <vector>

namespace vx::flow {

struct Loop {
    Loop* parent = nullptr;
    std::vector<BBLK*> blocks;
    BBLK* preheader = nullptr;
    BBLK* header = nullptr;
    BBLK* latch = nullptr; // for the root: the last block directly in it
    uint16_t number = 0;
    int16_t depth = 42; // set by the depth numbering
    uint32_t first_line = 0;
    uint32_t last_line = 0;

    // Child loops in the order of the blocks list.
    std::vector<Loop*> children() const;
    // The child loop that `block` (one of `blocks`) heads, or nullptr.
    Loop* child_headed_by(const BBLK* block) const {
        Loop* inner = block->loop;
        return inner != this && inner != nullptr && inner->header == block && inner->parent == this
                   ? inner
                   : nullptr;
    }
    bool contains(const BBLK* block) const;
};

struct LoopHierarchy {
    std::vector<Loop*> loops; // every record, the root last
    ChunkPool<Loop> pool;     // where the records live
    Loop* root = nullptr;
    bool abandoned = false; // the graph holds a loop that cannot be represented
    uint32_t loops_found = 0;
};

struct LoopHierarchyFlags {
    bool transform_loops = false;
    bool keep_dependence_data = false;
    bool recompute = false;
    bool loops_only = false;
};

// Finds the loops, nests them, gives every loop a preheader and numbers the
// depths.  Returns the hierarchy (also kept in graph.loops), or nullptr
// when none was built: the first block has predecessors, another block has
// none, or there is no back edge and `loops_only` is set.
LoopHierarchy* build_loop_hierarchy(FlowGraph& graph, const LoopHierarchyFlags& flags);

// The loop's preheader, made when its header has no single suitable
// predecessor outside it.  Nothing for the root.
BBLK* make_preheader(FlowGraph& graph, Loop& loop);

// Gives every loop of the hierarchy its depth from the loop records alone:
// a loop comes after the loops inside it in the hierarchy's list (inner
// loops are found first, the root last).
void number_loop_depths(LoopHierarchy& hierarchy);
// Once the blocks are numbered: lists each loop's blocks in layout order
// (they are found backwards) and widens each loop's source span by its
// children's.
void finish_loop_lists(LoopHierarchy& hierarchy);
// Gives the block the depth of its innermost loop.
void take_loop_depth(BBLK* block);

// Applies `visit` to the loop and then to each descendant, children in the
// order of the blocks lists.
template <typename Visit> void walk_loops(Loop& loop, Visit&& visit) {
    std::vector<Loop*> stack{&loop};
    while (!stack.empty()) {
        Loop* current = stack.back();
        stack.pop_back();
        visit(*current);
        for (auto at = current->blocks.rbegin(); at != current->blocks.rend(); ++at)
            if (Loop* child = current->child_headed_by(*at))
                stack.push_back(child);
    }
}

// Drops the hierarchy and every block's loop pointer and depth.
void clear_loop_hierarchy(FlowGraph& graph);

} // namespace vx::flow
