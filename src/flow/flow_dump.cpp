// The block dump of the debug log: one paragraph per block in layout order
// with its numbers, labels, neighbours (by DFN) and loop depth.
#include "flow/flow_graph.h"

#include <cstdio>

namespace vx::flow {

namespace {

void append(std::string& text, const char* format, int value) {
    char line[96];
    std::snprintf(line, sizeof line, format, value);
    text += line;
}

void append_neighbours(std::string& text, const char* heading, const EdgeList& edges) {
    text += heading;
    for (const Edge& e : edges)
        append(text, "%d ", static_cast<int>(e.block->dfn));
    text += ")\n";
}

} // namespace

std::string flow_graph_text(const FlowGraph& graph) {
    std::string text;
    for (const BBLK* b = graph.first; b != nullptr; b = b->next) {
        char line[96];
        std::snprintf(line, sizeof line, "\n++++(WRBBLOCKS): START NEXT BB, UON=%d, DFN=%d\n",
                      static_cast<int>(b->uon), static_cast<int>(b->dfn));
        text += line;
        for (const LABEL_REC* label : b->labels) {
            std::snprintf(line, sizeof line, "\tLABEL, INDEX=%d, REFCOUNT=%d, NAME=<NONE>\n",
                          static_cast<int>(label->index), static_cast<int>(label->reference_count));
            text += line;
        }
        append_neighbours(text, "\tPREDECESSORS = ( ", b->preds);
        append_neighbours(text, "\tSUCCESSORS =   ( ", b->succs);
        if (b->loop_depth != 0)
            append(text, "\tLOOP DEPTH = %d\n", b->loop_depth);
    }
    return text;
}

void dump_flow_graph(const FlowGraph& graph, FILE* out) {
    const std::string text = flow_graph_text(graph);
    std::fputs(text.c_str(), out);
    std::fflush(out);
}

} // namespace vx::flow
