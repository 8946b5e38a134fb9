#include "icode/reader_client.h"

#include "icode/writer.h"
#include "ir/node_build.h"
#include "ir/symbol_attributes.h"
#include "ir/symbol_type_queries.h"
#include "ir/type_package.h"
#include "support/check.h"

namespace vx::icode {

ir::TYPE_PKG& run_type_package() {
    ir::type_world();
    static ir::TYPE_PKG package;
    return package;
}

void install_reading_environment() {
    ir::install_type_package_queries();
    ir::NodeEnvironment& env = ir::node_environment();
    env.arena = &ir::symbol_state().arena;
    env.integer_shape = [](const ir::TYPE* type) {
        return ir::IntegerShape{type->size(), type->is_signed()};
    };
    env.field_companion_type = [](ir::TYPE* type) {
        return type->package() ? type->package()->companion(type) : type;
    };
    env.call_read = [] {
        if (ir::FUNINFO* function = ir::function_being_read())
            function->leaf = false;
    };
    env.type_spelling = [](const ir::TYPE* type) { return type->spelling(); };
    env.symbol_name = [](const ir::Symbol* symbol) { return symbol->name; };
}

OptimizerReaderClient::OptimizerReaderClient(ir::TYPE_PKG& package, IcodeWriter& output,
                                             FunctionSink sink)
    : package_(package), output_(output), sink_(std::move(sink)), converter_(package) {}

OptimizerReaderClient::~OptimizerReaderClient() = default;

void OptimizerReaderClient::pragma(const PragmaItem& entry) {
    output_.add_pragma(entry);
}

// ---- Functions and scopes --------------------------------------------------------------

// A function's record holds one body: a second definition of the function
// would take the first one's local symbols.
bool OptimizerReaderClient::begin_function(ir::Symbol& function,
                                           const ir::SourcePosition& position) {
    ir::FUNINFO* record = ir::function_record_of(function);
    if (record != nullptr && functions_read_.count(record) != 0)
        return false;
    function_ = &function;
    info_ = &ir::begin_function(function, position);
    functions_read_.insert(info_);
    body_.clear();
    ir::node_environment().arena = &info_->arena;
    converter_.set_function(info_, body_.stamp);
    scope_ = -1;
    open_scope(1);
    return true;
}

// The function's record is made now, as a read body would make it; what only
// the body tells (locals, whether it calls) arrives when the body is read.
bool OptimizerReaderClient::deferred_function_begins(ir::Symbol& function,
                                                     const ir::SourcePosition& position,
                                                     size_t offset) {
    ir::FUNINFO* record = ir::function_record_of(function);
    if (record != nullptr && functions_read_.count(record) != 0)
        return false;
    function_ = &function;
    info_ = &ir::begin_function(function, position);
    functions_read_.insert(info_);
    deferred_offset_ = offset;
    return true;
}

void OptimizerReaderClient::deferred_function_ends(const ir::SourcePosition& position) {
    ir::end_function(position);
    FunctionRead read{function_, info_, {}, deferred_offset_};
    function_ = nullptr;
    info_ = nullptr;
    sink_(std::move(read));
}

void OptimizerReaderClient::end_function(const ir::SourcePosition& position) {
    ir::end_function(position);
    ir::node_environment().arena = &ir::symbol_state().arena;
    converter_.set_function(nullptr, 0);
    FunctionRead read{function_, info_, std::move(body_), std::nullopt};
    body_.clear();
    function_ = nullptr;
    info_ = nullptr;
    sink_(std::move(read));
}

void OptimizerReaderClient::open_scope(int level) {
    LexicalScope& scope = body_.scopes.emplace_back();
    scope.level = level;
    scope.parent = scope_;
    scope_ = static_cast<int>(body_.scopes.size() - 1);
}

void OptimizerReaderClient::begin_block(const ir::SourcePosition&) {
    open_scope(body_.scopes[static_cast<size_t>(scope_)].level + 1);
}

void OptimizerReaderClient::end_block(const ir::SourcePosition&) {
    scope_ = body_.scopes[static_cast<size_t>(scope_)].parent;
}

void OptimizerReaderClient::end_parameters(const ir::SourcePosition& position) {
    info_->parameters_end = position;
    info_->locals_end = position;
    open_scope(2);
}

// The output has one I_EL, the function body's: those of nested blocks go
// with their blocks.
void OptimizerReaderClient::end_locals(const ir::SourcePosition& position, int nesting) {
    if (nesting == 2)
        info_->locals_end = position;
}

// ---- Declarations and initializers -------------------------------------------------------

ir::Symbol* OptimizerReaderClient::declare_symbol(const ir::SymbolDeclaration& declaration) {
    return ir::declare_symbol(declaration);
}

// A list that belongs to no declaration has no symbol to go to.
void OptimizerReaderClient::attribute_list(ir::Symbol* symbol, uint32_t id,
                                           std::vector<std::string> arguments) {
    if (symbol != nullptr)
        ir::attach_attribute_list(*symbol, static_cast<uint8_t>(id), std::move(arguments));
}

void OptimizerReaderClient::initializer(ir::Symbol& symbol, std::vector<ir::NODE*> values) {
    symbol.initializer = std::move(values);
    symbol.flag_byte |= ir::SYMB_INITIALIZED;
}

bool OptimizerReaderClient::exception_table(ExceptionTableItem&& table) {
    if (function_ == nullptr)
        return false;
    body_.exception_table = std::move(table);
    return true;
}

// ---- Statements ------------------------------------------------------------------------------

ir::NODE* OptimizerReaderClient::make_node(ir::Opcode op, ir::TYPE* type) {
    return converter_.make_node(op, type);
}

ir::NODE* OptimizerReaderClient::finish_node(ir::NODE* node) {
    return converter_.convert(node);
}

// A LOOP statement stands for the label of the loop's head.
void OptimizerReaderClient::statement(const StatementPos& position, ir::NODE* tree) {
    if (tree->op == ir::LOOP) {
        const uint32_t head = tree->right != nullptr ? tree->right->value.low32() : 0;
        tree = ir::make_label_def(head);
        tree->stamp = body_.stamp;
    }
    append(tree, position);
}

void OptimizerReaderClient::append(ir::NODE* tree, const StatementPos& position) {
    body_.statements.push_back({tree, position});
    ConversionNotes& notes = converter_.notes();
    if (!notes.has_nasserts && notes.restrict_globals.empty() && notes.restrict_members.empty())
        return;
    LexicalScope& scope = body_.scopes[static_cast<size_t>(scope_)];
    for (ir::Symbol* symbol : notes.restrict_globals)
        if (std::find(scope.restrict_globals.begin(), scope.restrict_globals.end(), symbol) ==
            scope.restrict_globals.end())
            scope.restrict_globals.push_back(symbol);
    for (ir::FieldRecord* member : notes.restrict_members)
        if (std::find(scope.restrict_members.begin(), scope.restrict_members.end(), member) ==
            scope.restrict_members.end())
            scope.restrict_members.push_back(member);
    body_.has_nasserts = body_.has_nasserts || notes.has_nasserts;
    notes = ConversionNotes{};
}

bool OptimizerReaderClient::branches_to(uint32_t label) const {
    if (body_.statements.size() != 1)
        return false;
    const ir::NODE* tree = body_.statements.front().tree;
    return tree->op == ir::BRANCH && tree->left != nullptr && tree->left->op == ir::LABEL &&
           tree->left->label_number() == label;
}

// A function that opens with a branch to the label right after it carries
// profile data; the branch and the label are not statements.
void OptimizerReaderClient::label(uint32_t number) {
    if (branches_to(number)) {
        body_.profile_branch = body_.statements.front().tree;
        body_.profile_branch_pos = body_.statements.front().pos;
        body_.statements.clear();
        return;
    }
    ir::NODE* definition = ir::make_label_def(number);
    definition->stamp = body_.stamp;
    append(definition, {});
}

void OptimizerReaderClient::text(uint8_t kind, std::string_view text,
                                 const StatementPos& position) {
    if (function_ == nullptr) {
        output_.write_text(kind, text, position);
        return;
    }
    if (kind == KIND_TEXT && text.starts_with('*'))
        return;
    ir::NODE* node = ir::make_node(ir::ASM, nullptr);
    node->value = ir::Int96::from_unsigned(kind);
    node->set_text(text);
    node->stamp = body_.stamp;
    append(node, position);
}

} // namespace vx::icode
