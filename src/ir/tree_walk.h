// Walks over trees.  Each follows `left` by recursion and `right` by
// iteration: argument lists and COMMA lists lean right and may be very
// long, and must cost no stack depth.
#pragma once

#include "ir/node.h"

#include <cstddef>
#include <vector>

namespace vx::ir {

// Visits every node, a node before its operands: visit(node).  The walk
// reads `left` and `right` after the visit, so a visitor may replace them.
// NodePtr is NODE* or const NODE*.
template <typename NodePtr, typename Visit> void walk_tree(NodePtr root, Visit&& visit) {
    for (NodePtr node = root; node != nullptr; node = node->right) {
        visit(node);
        if (node->left != nullptr)
            walk_tree(NodePtr{node->left}, visit);
    }
}

// As walk_tree, with each node's depth: visit(node, depth), the root at
// `depth`, each operand one deeper than its operator.
template <typename NodePtr, typename Visit>
void walk_tree_with_depth(NodePtr root, Visit&& visit, std::size_t depth = 0) {
    for (NodePtr node = root; node != nullptr; node = node->right, ++depth) {
        visit(node, depth);
        if (node->left != nullptr)
            walk_tree_with_depth(NodePtr{node->left}, visit, depth + 1);
    }
}

// Rebuilds a tree bottom-up: rewrite(node) is called after both operands
// of the node have been rewritten and returns the node that takes its place
// (the node itself, another node, or nullptr).  Returns the new root.
template <typename Rewrite> NODE* rewrite_tree(NODE* root, Rewrite&& rewrite) {
    std::vector<NODE*> spine; // root, root->right, root->right->right, ...
    for (NODE* node = root; node != nullptr; node = node->right)
        spine.push_back(node);
    for (NODE* node : spine)
        if (node->left != nullptr)
            node->left = rewrite_tree(node->left, rewrite);
    NODE* rewritten_below = nullptr;
    for (auto node = spine.rbegin(); node != spine.rend(); ++node) {
        if (node != spine.rbegin())
            (*node)->right = rewritten_below;
        rewritten_below = rewrite(*node);
    }
    return rewritten_below;
}

inline std::size_t count_nodes(const NODE* root) {
    std::size_t count = 0;
    walk_tree(root, [&count](const NODE*) { ++count; });
    return count;
}

} // namespace vx::ir
