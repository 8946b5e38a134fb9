#include "icode/writer_client_listing.h"

#include "icode/opcode_table.h"
#include "ir/node.h"
#include "ir/opcode.h"
#include "ir/symbol.h"
#include "ir/symbol_listing.h"
#include "ir/type.h"

namespace vx::icode {

namespace {

const char* scope_record_name(uint8_t kind) {
    switch (kind) {
    case KIND_FUNCTION_BEGIN:
        return "I_BF";
    case KIND_FUNCTION_END:
        return "I_EF";
    case KIND_BLOCK_BEGIN:
        return "I_BB";
    case KIND_BLOCK_END:
        return "I_EB";
    case KIND_PARAMS_END:
        return "I_EA";
    default:
        return "I_EL";
    }
}

std::string spelling(const ir::TYPE* type) {
    return type ? type->spelling() : std::string();
}

void print_payload(FILE* out, const TreeNode& n, const ir::NODE* source) {
    switch (payload_kind(n.opcode)) {
    case Payload::label:
        std::fprintf(out, "%ld\t", static_cast<long>(n.first));
        if (source->id != -1)
            std::fprintf(out, "#%u\t", static_cast<unsigned>(source->id));
        return;
    case Payload::symbol:
        std::fprintf(out, "%d\t%d\t", static_cast<int>(n.first), static_cast<int>(n.second));
        return;
    case Payload::integer:
    case Payload::decimal:
        std::fprintf(out, "%s\t", source->lcon_text().c_str());
        return;
    case Payload::hex_float:
        std::fprintf(out, "%s\t\t\t", std::string(n.text).c_str());
        return;
    case Payload::number:
        if (n.opcode == ir::SWITCH)
            std::fprintf(out, "%ld\t\t", static_cast<long>(n.first));
        else if (n.opcode == ir::EPVAL)
            std::fprintf(out, "#%u   \t", static_cast<unsigned>(n.first));
        else
            std::fprintf(out, "%ld\t", static_cast<long>(n.first));
        return;
    case Payload::intrinsic:
        std::fprintf(out, "%.31s\t", std::string(n.text).c_str());
        return;
    default:
        return;
    }
}

void print_comment(FILE* out, const TreeNode& n, const ir::NODE* source) {
    const char* name = ir::opcode_name(n.opcode);
    std::fprintf(out, "; %s", name ? name : "?");
    if (n.opcode == ir::NAME && source->op == ir::NAME && source->sym() != nullptr)
        std::fprintf(out, " %s", source->sym()->name.c_str());
}

} // namespace

void list_scope_record(FILE* out, uint8_t kind, const ir::SourcePosition& position) {
    const char* name = scope_record_name(kind);
    std::fprintf(out, "%s\t%d\t%ld\t\t\t;%s\n", name, kind,
                 position.known() ? static_cast<long>(position.line) : 0L, name);
    std::fflush(out);
}

void list_pragma(FILE* out, const PragmaItem& entry) {
    ir::print_file_pragma(out, entry.id, entry.strings);
    std::fflush(out);
}

void list_symbol(FILE* out, const ir::Symbol& symbol) {
    ir::print_symbol_line(out, symbol, symbol.declared_type);
    std::fflush(out);
}

void list_text(FILE* out, uint8_t kind, std::string_view text, const StatementPos& position) {
    const std::string copy(text);
    if (kind == KIND_ASM_TEXT)
        std::fprintf(out, "\n%c%5ld %s\n\n", '$',
                     position.known() ? static_cast<long>(position.line) : 0L, copy.c_str());
    else
        std::fprintf(out, "\n%c%s\n\n", '/', copy.c_str());
    std::fflush(out);
}

void list_leaf_mark(FILE* out, const std::string& function) {
    std::fprintf(out, "\n%c\t'L':\t%s is a leaf function.\n", '@', function.c_str());
    std::fflush(out);
}

void list_label(FILE* out, uint32_t label) {
    std::fprintf(out, "*%d\n", static_cast<int>(label));
    std::fflush(out);
}

void list_tree_nodes(FILE* out, std::span<const TreeNode> nodes,
                     std::span<const ir::NODE* const> sources) {
    for (size_t i = 0; i < nodes.size(); ++i) {
        const TreeNode& n = nodes[i];
        const ir::NODE* source = sources[i];
        const std::string type = spelling(source->type);
        if (n.opcode == ir::DDNODE) {
            std::fprintf(out, "%d\t%-28s\t   #%d\t; DDNODE    %s\n", n.opcode, type.c_str(),
                         static_cast<int>(n.first), type.c_str());
            continue;
        }
        std::fprintf(out, "%d\t%-28s", n.opcode, type.c_str());
        print_payload(out, n, source);
        print_comment(out, n, source);
        std::fputc('\n', out);
    }
    std::fflush(out);
}

} // namespace vx::icode
