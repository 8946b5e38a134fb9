#include "flow/reaching_definitions.h"

#include "ir/tree_printer.h"

namespace vx::flow {

uint32_t ReachingDefinitions::add_definition(NODE* statement) {
    auto [at, inserted] =
        number_of.try_emplace(statement, static_cast<uint32_t>(definitions.size()));
    if (inserted)
        definitions.push_back(statement);
    return at->second;
}

void ReachingDefinitions::size_sets(uint32_t block_count) {
    const uint32_t n = static_cast<uint32_t>(definitions.size());
    for (std::vector<BITVEC>* sets : {&gen, &kill, &in, &out})
        sets->assign(block_count + 1, BITVEC(n));
}

ReachingDefinitions& reaching_definitions(FlowGraph& graph) {
    if (graph.reaching == nullptr)
        graph.reaching = std::make_unique<ReachingDefinitions>();
    return *graph.reaching;
}

void free_reaching_definitions(FlowGraph& graph) {
    graph.reaching.reset();
}

namespace {

std::string one_line(const NODE* tree) {
    std::string text = ir::tree_text(tree);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

void append_set(std::string& text, const char* heading, const ReachingDefinitions& rd,
                const std::vector<BITVEC>& sets, uint32_t dfn) {
    if (dfn >= sets.size())
        return;
    const BITVEC& set = sets[dfn];
    for (uint32_t d = set.next_member(0); d < set.size(); d = set.next_member(d + 1))
        if (d < rd.definitions.size())
            text += std::string(heading) + one_line(rd.definitions[d]) + "\n";
}

} // namespace

std::string reaching_definitions_text(const FlowGraph& graph, long debug_level) {
    std::string text;
    const ReachingDefinitions* rd = graph.reaching.get();
    if (debug_level < 2 || rd == nullptr || rd->definitions.empty())
        return text;
    for (const BBLK* b : graph.layout_order()) {
        text += "\n\nReaching definitions for BB->DFN " + std::to_string(b->dfn) + ":\n\n";
        for (const LABEL_REC* label : b->labels)
            text += "L" + std::to_string(label->index) + "\n";
        for (const StatementEntry& s : b->statements)
            text += "\t" + one_line(s.tree) + "\n";
        text += "\n";
        append_set(text, " GEN:\t", *rd, rd->gen, b->dfn);
        append_set(text, " KILL:\t", *rd, rd->kill, b->dfn);
        append_set(text, " IN:\t", *rd, rd->in, b->dfn);
        append_set(text, " OUT:\t", *rd, rd->out, b->dfn);
    }
    return text;
}

void dump_reaching_definitions(const FlowGraph& graph, long debug_level, FILE* out) {
    const std::string text = reaching_definitions_text(graph, debug_level);
    std::fputs(text.c_str(), out);
    std::fflush(out);
}

} // namespace vx::flow
