// Storage and dump of reaching definitions.
#include "unit/flow/flow_test_support.h"

#include "flow/reaching_definitions.h"

namespace vx::flow::testing {
namespace {

using Reaching = FlowTest;

TEST_F(Reaching, DumpListsEachBlockAndTheDefinitionsOfItsSets) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    EXPECT_EQ(reaching_definitions_text(g, 2), ""); // no definitions yet
    ReachingDefinitions& rd = reaching_definitions(g);
    NODE* definition = g.first->statements.front().tree;
    EXPECT_EQ(rd.add_definition(definition), 0u);
    EXPECT_EQ(rd.add_definition(definition), 0u);
    rd.size_sets(g.block_count);
    rd.gen[1].add(0);
    rd.out[1].add(0);
    EXPECT_EQ(reaching_definitions_text(g, 1), "");
    const std::string text = reaching_definitions_text(g, 2);
    EXPECT_EQ(text.rfind("\n\nReaching definitions for BB->DFN 1:\n\n\t", 0), 0u);
    EXPECT_NE(text.find(" GEN:\t"), std::string::npos);
    EXPECT_NE(text.find(" OUT:\t"), std::string::npos);
    EXPECT_EQ(text.find(" KILL:\t"), std::string::npos);
    free_reaching_definitions(g);
    EXPECT_EQ(g.reaching, nullptr);
}

} // namespace
} // namespace vx::flow::testing
