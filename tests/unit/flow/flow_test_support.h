// A fixture for the flow tests: reads functions written in the I-code text
// form through the optimizer's reader and builds their flow graphs.
#pragma once

#include "flow/flow_graph.h"
#include "icode/reader.h"
#include "icode/reader_client.h"
#include "icode/writer.h"
#include "ir/type_package.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vx::flow::testing {

// Function f (global 0, returning int) with parameters x (1,0) and n (1,1)
// and locals y (2,2), z (2,3), v volatile (2,4), a[4] (2,5), around `body`.
// Types: 1 int, 4 int(), 5 pointer to it, 7 volatile int, 8 int[4],
// 9 pointer to int.  Global "g" (int) is global symbol 1.
std::string function_text(const std::string& body);

class FlowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Reads the text; the functions read are kept.
    void read(const std::string& text);
    // Reads a function around `body` and builds its graph.
    FlowGraph& build(const std::string& body, BuildOptions options = {});
    // The same with the parts of the build one after the other, the
    // numbering reading the successor lists from the records.
    FlowGraph& build_in_steps(const std::string& body);

    // Each block in layout order as "DFN:[ops of its statements]->succ DFNs".
    std::string picture() const;
    // The statement list's opcodes after flattening, one per statement.
    std::vector<std::string> flattened_ops();
    ir::Symbol* local(const char* name) const;

    FlowGraph& graph() const { return *current_flow_graph(); }

    std::unique_ptr<ir::TYPE_PKG> package_;
    std::unique_ptr<icode::IcodeReader> reader_;
    std::unique_ptr<icode::IcodeWriter> writer_;
    std::vector<icode::FunctionRead> functions_;
};

// The block that carries the label read from the file as `number` (labels
// are renumbered with the blocks), or nullptr.
BBLK* block_read_as(const FlowGraph& graph, uint32_t number);
// Every block's first label has the block's DFN as its number, no two
// labels share a number, and every LABELREF shows its label's number.
// Returns the first mismatch, or "".
std::string label_numbering_problem(const FlowGraph& graph);

// A random function body of `labels` labelled pieces that jump about:
// loops of every nesting, loops entered from several places, switches,
// several exits and unreachable pieces.
std::string random_jumps(uint32_t seed, int labels);
// What the numbering leaves in the graph: the layout with DFNs, every
// block's edge lists in order, its UON, and the label numbers.
std::string numbering_state(const FlowGraph& g);

// The opcode names of a tree, in prefix form: "(ASG (NAME y) (ICON 5))".
std::string shape(const ir::NODE* node);

} // namespace vx::flow::testing
