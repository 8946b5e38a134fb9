#include "ir/tree_printer.h"

#include "ir/tree_walk.h"
#include "support/check.h"

#include <cstring>

namespace vx::ir {

namespace {

// Bytes of string constants and assembly text, in C escapes.
std::string quoted(std::string_view bytes) {
    std::string text = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            text += '\\';
            text += static_cast<char>(c);
        } else if (c == '\n') {
            text += "\\n";
        } else if (c < 0x20 || c >= 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\%03o", c);
            text += escape;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text + "\"";
}

std::string symbol_text(const Symbol* symbol) {
    if (symbol == nullptr)
        return "<no symbol>";
    auto name = node_environment().symbol_name;
    return name ? name(symbol) : "<symbol>";
}

std::string type_text(const TYPE* type) {
    auto spelling = node_environment().type_spelling;
    if (type == nullptr || spelling == nullptr)
        return "";
    return spelling(type);
}

std::string number(uint64_t value) {
    return std::to_string(value);
}

void trim_trailing_blanks(std::string& line) {
    line.erase(line.find_last_not_of(' ') + 1);
}

} // namespace

std::string node_payload_text(const NODE* node) {
    switch (node->op) {
    case ICON:
    case LCON:
        return " " + node->lcon_text();
    case NAME:
        return " " + symbol_text(node->sym());
    case FCON:
        return node->fcon() ? std::string(" ") + node->fcon_text() : " <no value>";
    case SCON:
        return " " +
               quoted({reinterpret_cast<const char*>(node->scon_bytes()), node->scon_length()});
    case ASM:
        return node->text() ? " " + quoted(node->text()) : "";
    case LABEL:
    case LABELDEF:
        return " L" + number(node->label_number());
    case SKIP:
    case SWITCH:
        return " " + node->value.to_decimal(true);
    case CALL:
        return " " + number(node->call_first_number()) + " call#" + number(node->call_number());
    case UCALL:
        return " call#" + number(node->call_number());
    case ICALL:
    case UICALL:
    case MCALL:
    case UMCALL:
        return std::string(" ") + (node->intrinsic_name() ? node->intrinsic_name() : "<no name>");
    case DDNODE:
        return node->dval() ? " dd#" + number(node->ddnode_number()) : " dd#?";
    case FIELD: {
        std::string container = type_text(node->container());
        return container.empty() ? "" : " of " + container;
    }
    default:
        return "";
    }
}

std::string node_line(const NODE* node) {
    std::string line = opcode_print_name(node->op);
    line += node_payload_text(node);
    if (std::string type = type_text(node->type); !type.empty())
        line += " : " + type;
    if (node->id != -1)
        line += " #" + std::to_string(node->id);
    trim_trailing_blanks(line);
    return line;
}

std::string tree_text(const NODE* root) {
    std::string text;
    walk_tree_with_depth(root, [&text](const NODE* node, std::size_t depth) {
        text.append(2 * std::min(depth, deepest_indented_level), ' ');
        if (depth > deepest_indented_level)
            text += "(" + std::to_string(depth) + ") ";
        text += node_line(node);
        text += '\n';
    });
    return text;
}

void print_tree(FILE* log, const NODE* root) {
    std::string text = tree_text(root);
    bool written = std::fwrite(text.data(), 1, text.size(), log) == text.size();
    VX_CHECK(written && std::fflush(log) == 0);
}

} // namespace vx::ir
