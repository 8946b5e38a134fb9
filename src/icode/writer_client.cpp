#include "icode/writer_client.h"

#include "icode/opcode_table.h"
#include "icode/writer_client_listing.h"
#include "icode/writer_client_trees.h"
#include "ir/symbol_table.h"
#include "support/check.h"

#include <algorithm>

namespace vx::icode {

namespace {

using ir::NODE;

constexpr uint8_t kLeafMark = 76; // "L"
// An entry kind that is kept even when nothing refers to it: it closes the
// cleanup region that an earlier entry opened.
constexpr uint32_t EHK_CLEANUP_END = 3;

class FunctionWriter {
public:
    FunctionWriter(IcodeWriter& writer, ir::FUNINFO& function, FunctionBody& body)
        : w_(writer), f_(function), body_(body), encoder_(writer, function.symbol->name),
          listing_(writer.listing() != nullptr) {}

    void write();

private:
    void scope_record(uint8_t kind, const ir::SourcePosition& position);
    void declarations();
    void leaf_mark();
    void texts();
    void statements();
    void statement(NODE* tree, const StatementPos& position);
    void tree_statement(NODE*& tree, const StatementPos& position);
    void label(uint32_t number);
    void lowered_if(NODE* tree, const StatementPos& position);
    void exception_table();

    IcodeWriter& w_;
    ir::FUNINFO& f_;
    FunctionBody& body_;
    TreeEncoder encoder_;
    // Whether the writer lists what it writes, asked once per function as
    // the encoder asks it: the listing does not change while a function
    // is written.
    bool listing_;
};

void FunctionWriter::write() {
    ir::Symbol& symbol = *f_.symbol;
    symbol.file_offset = static_cast<uint32_t>(w_.offset());
    w_.write(FunctionBegin{w_.position(f_.begin_position), symbol.table_index});
    scope_record(KIND_FUNCTION_BEGIN, f_.begin_position);
    declarations();
    leaf_mark();
    texts();
    statements();
    exception_table();
    w_.write(FunctionEnd{w_.position(f_.end_position)});
    scope_record(KIND_FUNCTION_END, f_.end_position);
    f_.set(ir::FUN_is_processed);
    if (w_.listing() != nullptr)
        w_.flush();
}

void FunctionWriter::scope_record(uint8_t kind, const ir::SourcePosition& position) {
    if (FILE* log = w_.listing())
        list_scope_record(log, kind, position);
}

// Parameters and locals are numbered in the order they are written; NAME
// nodes then refer to them by these numbers.
void FunctionWriter::declarations() {
    uint32_t index = 0;
    for (ir::Symbol* parameter : ir::parameters_for_output(f_)) {
        ir::set_table_position(*parameter, 1, index++);
        w_.write_symbol(*parameter);
    }
    w_.write(ParamsEnd{w_.position(f_.parameters_end)});
    scope_record(KIND_PARAMS_END, f_.parameters_end);
    for (ir::SymbolListKind kind : ir::symbol_lists_in_output_order) {
        for (ir::Symbol* local : f_.list(kind)) {
            if (local->level < 2)
                continue;
            ir::set_table_position(*local, 2, index++);
            w_.write_symbol(*local);
        }
    }
    w_.write(LocalsEnd{w_.position(f_.locals_end)});
    scope_record(KIND_LOCALS_END, f_.locals_end);
}

void FunctionWriter::leaf_mark() {
    if (!f_.leaf)
        return;
    w_.write(ByteMark{kLeafMark});
    if (FILE* log = w_.listing())
        list_leaf_mark(log, f_.symbol->name);
}

void FunctionWriter::texts() {
    std::vector<std::string>& pending = pending_texts();
    if (pending.empty())
        return;
    w_.write_text(KIND_TEXT, "*", {});
    for (const std::string& text : pending)
        w_.write_text(KIND_TEXT, text, {});
    w_.write_text(KIND_TEXT, "*", {});
    pending.clear();
}

void FunctionWriter::statements() {
    if (NODE* branch = body_.profile_branch) {
        const uint32_t target = branch->left->label_number();
        statement(branch, body_.profile_branch_pos);
        label(target);
    }
    for (StatementEntry& entry : body_.statements)
        statement(entry.tree, entry.pos);
}

void FunctionWriter::statement(NODE* tree, const StatementPos& position) {
    switch (tree->op) {
    case ir::LABELDEF:
        label(tree->label_number());
        return;
    case ir::ASM:
        w_.write_text(static_cast<uint8_t>(tree->value.low32()), tree->text(), position);
        return;
    case ir::IF:
        lowered_if(tree, position);
        return;
    default:
        tree_statement(tree, position);
        return;
    }
}

void FunctionWriter::label(uint32_t number) {
    w_.write(LabelDef{number});
    if (FILE* log = w_.listing())
        list_label(log, number);
}

// Each case of a SWITCH is a value and a label reference.
void check_switch_cases(const NODE* cases) {
    for (const NODE* item = cases; item != nullptr;) {
        const NODE* ncase = item->op == ir::COMMA ? item->left : item;
        if (ncase->op == ir::CASE)
            VX_CHECK(ncase->op == ir::CASE && ncase->left->op == ir::ICON &&
                     ncase->right->op == ir::LABELREF);
        item = item->op == ir::COMMA ? item->right : nullptr;
    }
}

void FunctionWriter::tree_statement(NODE*& tree, const StatementPos& position) {
    if (tree->op == ir::SWITCH)
        check_switch_cases(tree->right);
    if (!listing_) {
        encoder_.write_statement(tree, w_.position(position));
        return;
    }
    encoder_.reset();
    const size_t number = encoder_.encode(tree, true);
    w_.write(Statement{w_.position(position), encoder_.tree(number)});
    if (FILE* log = w_.listing())
        list_tree_nodes(log, encoder_.tree(number), encoder_.sources(number));
}

// IF(cond, COLON(L, Lnext)) goes out as CBRANCH(cond, L) and BRANCH(Lnext):
// with no block layout yet, the fall-through label is never the next one.
void FunctionWriter::lowered_if(NODE* tree, const StatementPos& position) {
    NODE* targets = tree->right;
    VX_CHECK(targets != nullptr && targets->op == ir::COLON);
    NODE* next = targets->right;
    tree->op = ir::CBRANCH;
    tree->right = targets->left;
    tree_statement(tree, position);
    targets->op = ir::BRANCH;
    targets->left = next;
    targets->right = nullptr;
    tree_statement(targets, position);
}

void FunctionWriter::exception_table() {
    if (!body_.exception_table)
        return;
    ExceptionTableItem& table = *body_.exception_table;
    // Until the passes that delete code say which entries their statements
    // still use, every entry counts as used.
    renumber_exception_table(table, std::vector<bool>(table.entries.size(), true));
    encoder_.reset();
    std::vector<std::vector<EhtName>> names;
    std::vector<EhtEntry> entries;
    std::vector<size_t> cleanup_trees;
    for (size_t i = 1; i < table.entries.size(); ++i) {
        EhtItem& item = table.entries[i];
        cleanup_trees.push_back(item.cleanup ? encoder_.encode(item.cleanup, true) : 0);
        std::vector<EhtName>& list = names.emplace_back();
        for (const EhtNameItem& name : item.names)
            list.push_back({name.name, 0u - name.negated_number, name.byte});
    }
    for (size_t i = 1; i < table.entries.size(); ++i) {
        const EhtItem& item = table.entries[i];
        EhtEntry& entry = entries.emplace_back();
        entry.id = item.id;
        entry.kind = item.kind;
        entry.number = item.number;
        entry.count = item.count;
        entry.cleanup_pos = w_.position(item.cleanup_pos);
        if (item.cleanup)
            entry.cleanup = encoder_.tree(cleanup_trees[i - 1]);
        entry.names = names[i - 1];
    }
    w_.write(ExceptionTable{entries});
}

} // namespace

void write_global_symbols(IcodeWriter& writer) {
    const ir::SymbolList& globals = ir::global_symbols();
    writer.set_symbol_section(std::vector<ir::Symbol*>(globals.begin(), globals.end()));
}

void write_function(IcodeWriter& writer, ir::FUNINFO& function, FunctionBody& body) {
    if (function.is_suppressed())
        return;
    FunctionWriter(writer, function, body).write();
}

namespace {

bool ends_with_endinit(Tree tree) {
    return tree.size() == 1 && tree.front().opcode == kEndInitOpcode;
}

void write_initializer(IcodeWriter& writer, TreeEncoder& encoder, ir::Symbol& symbol) {
    writer.begin_initializers();
    symbol.file_offset = static_cast<uint32_t>(writer.offset());
    encoder.reset();
    std::vector<size_t> numbers;
    for (NODE*& value : symbol.initializer)
        numbers.push_back(encoder.encode(value, true));
    std::vector<Tree> values;
    for (size_t number : numbers)
        values.push_back(encoder.tree(number));
    static const TreeNode end_of_values = [] {
        TreeNode node;
        node.opcode = kEndInitOpcode;
        return node;
    }();
    if (values.empty() || !ends_with_endinit(values.back()))
        values.push_back(Tree(&end_of_values, 1));
    writer.write(Initializer{symbol.table_index, values});
    if (FILE* log = writer.listing())
        for (size_t number : numbers)
            list_tree_nodes(log, encoder.tree(number), encoder.sources(number));
}

} // namespace

void write_initializers(IcodeWriter& writer) {
    TreeEncoder encoder(writer, "");
    for (ir::Symbol* symbol : writer.symbol_section())
        if ((symbol->flag_byte & ir::SYMB_INITIALIZED) != 0 && !symbol->initializer.empty())
            write_initializer(writer, encoder, *symbol);
}

std::vector<std::string>& pending_texts() {
    static std::vector<std::string> texts;
    return texts;
}

void renumber_exception_table(ExceptionTableItem& table, const std::vector<bool>& used) {
    std::vector<EhtItem>& entries = table.entries;
    std::vector<bool> kept(entries.size(), true);
    for (size_t i = 1; i < entries.size(); ++i)
        kept[i] = (i < used.size() && used[i]) || entries[i].kind == EHK_CLEANUP_END;
    if (std::find(kept.begin(), kept.end(), false) == kept.end())
        return; // nothing dropped: the ids stay those the statements use
    std::vector<EhtItem> renumbered;
    renumbered.push_back(std::move(entries[0]));
    for (size_t i = 1; i < entries.size(); ++i) {
        if (!kept[i])
            continue;
        renumbered.push_back(std::move(entries[i]));
        renumbered.back().id = static_cast<uint32_t>(renumbered.size() - 1);
    }
    for (size_t i = 1; i < renumbered.size(); ++i)
        VX_CHECK(renumbered[i].id != 0);
    entries = std::move(renumbered);
}

} // namespace vx::icode
