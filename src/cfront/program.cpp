#include "cfront/program.h"

namespace vx::cfront {

Node* Program::node(std::string op, CType* type) {
    node_store.push_back(std::make_unique<Node>());
    Node* made = node_store.back().get();
    made->op = std::move(op);
    made->type = type;
    return made;
}

Symbol* Program::symbol() {
    symbol_store.push_back(std::make_unique<Symbol>());
    return symbol_store.back().get();
}

Block* Program::block() {
    block_store.push_back(std::make_unique<Block>());
    return block_store.back().get();
}

} // namespace vx::cfront
