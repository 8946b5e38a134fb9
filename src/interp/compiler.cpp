#include "interp/compiler.h"

#include "interp/machine.h"
#include "ir/function_info.h"
#include "ir/symbol_table.h"
#include "ir/type.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <set>
#include <unordered_map>

namespace vx::interp {

namespace {

using ir::NODE;

uint32_t words_of_bits(uint64_t bits) {
    return static_cast<uint32_t>((bits + 15) / 16);
}

constexpr Shape kPointerShape{Cls::integer, 32, false, 2};
constexpr Shape kWideShape{Cls::integer, 64, true, 4};

bool is_external(const ir::Symbol& symbol) {
    return symbol.storage_class != ir::SC_STATIC;
}

// A local that lives in the frame (function-local statics do not).
bool lives_in_frame(const ir::Symbol& symbol) {
    return symbol.level > 0 && symbol.storage_class != ir::SC_STATIC &&
           symbol.storage_class != ir::SC_EXTERN_REF && symbol.storage_class != ir::SC_EXTERN_DEF;
}

FunctionKind intrinsic_kind(const std::string& name) {
    if (name == "printf")
        return FunctionKind::printf;
    if (name == "putchar")
        return FunctionKind::putchar;
    if (name == "puts")
        return FunctionKind::puts;
    return FunctionKind::unknown;
}

// The items of a right-leaning COMMA list, first item first.
std::vector<NODE*> list_items(NODE* list) {
    std::vector<NODE*> items;
    while (list != nullptr && list->op == ir::COMMA) {
        items.push_back(list->left);
        list = list->right;
    }
    if (list != nullptr)
        items.push_back(list);
    return items;
}

} // namespace

Shape shape_of(const ir::TYPE* type) {
    if (type == nullptr)
        return kWideShape;
    const ir::TYPE* real = type->real();
    const uint32_t size = real->size();
    switch (real->kind()) {
    case ir::TYPE::tpk_int:
    case ir::TYPE::tpk_enum:
    case ir::TYPE::tpk_fixed:
        if (size == 0 || size > 64)
            return Shape{};
        return Shape{Cls::integer, static_cast<uint8_t>(size), real->is_signed(),
                     words_of_bits(size)};
    case ir::TYPE::tpk_fltpt:
        if (size != 32 && size != 64)
            return Shape{};
        return Shape{Cls::floating, static_cast<uint8_t>(size), true, words_of_bits(size)};
    case ir::TYPE::tpk_pointer:
    case ir::TYPE::tpk_reference:
    case ir::TYPE::tpk_ptr_to_member:
        return Shape{Cls::integer, static_cast<uint8_t>(size ? std::min(size, 64u) : 32), false,
                     words_of_bits(size ? size : 32)};
    case ir::TYPE::tpk_array:
    case ir::TYPE::tpk_class:
    case ir::TYPE::tpk_struct:
    case ir::TYPE::tpk_union:
        return Shape{Cls::block, 0, false, words_of_bits(size)};
    case ir::TYPE::tpk_function:
        return Shape{Cls::function, 32, false, 0};
    default:
        return Shape{};
    }
}

// ---- Building the whole program --------------------------------------------------------

struct ProgramBuilder {
    Program& program;
    ProgramState& state;
    std::unordered_map<std::string, uint32_t> global_by_name;
    std::unordered_map<const ir::Symbol*, uint32_t> global_by_symbol;
    uint32_t return_words = 1;

    void build();
    void create_functions();
    Function& function_named(const std::string& name);
    void lay_out_globals();
    uint32_t global_address(const ir::Symbol& symbol);
    uint32_t string_address(const NODE* scon);
    void initialize_globals();
    void initialize(const ir::Symbol& symbol, uint32_t address, uint32_t words, Machine& machine);

    Code* new_code() { return &state.codes.emplace_back(); }
    const std::string* text(std::string message) {
        return &state.texts.emplace_back(std::move(message));
    }
};

// Compiles the trees of one function (or, with no function, of
// initializers).
class TreeCompiler {
public:
    TreeCompiler(ProgramBuilder& builder, Function* function) : b_(builder), function_(function) {}

    void compile_function(const ir::FUNINFO& info, const std::vector<NODE*>& statements);
    Code* value(NODE* node);

private:
    struct Access {
        Code* address = nullptr;
        uint8_t bit_pos = 0;
        uint8_t bit_width = 0;
    };

    // Frame
    uint32_t add_to_frame(const ir::Symbol& symbol);
    uint32_t add_frame_object(uint32_t words, uint32_t align);
    uint32_t frame_offset(const ir::Symbol& symbol);

    // Statements
    void resolve_labels(const std::vector<NODE*>& statements);
    Stmt statement(NODE* tree, uint32_t index);
    bool label_target(const NODE* label, uint32_t& target);
    Stmt switch_statement(NODE* tree);
    Stmt fault_statement(Status status, std::string message);

    // Expressions
    Code* make(Op op, const Shape& shape, uint16_t weight, Code* a = nullptr, Code* b = nullptr);
    Code* fault(Status status, std::string message);
    Code* unsupported(const NODE* node);
    Code* constant(const NODE* node);
    Code* name_value(NODE* node);
    Code* lvalue_value(NODE* node);
    Code* load(const Access& access, const Shape& shape);
    Access address(NODE* node);
    Access member_address(NODE* node);
    Code* add_offset(Code* base, int64_t words);
    Code* binary(NODE* node);
    Code* compare(NODE* node);
    Code* unary(NODE* node);
    Code* assignment(NODE* node);
    Code* update(NODE* node);
    Code* post_update(NODE* node);
    Code* conversion(NODE* node);
    Code* convert_to(Code* code, const Shape& shape);
    Code* call(NODE* node);
    Code* block_copy(NODE* node);
    Op arithmetic(ir::Opcode op, const Shape& shape, bool& ok);

    ProgramBuilder& b_;
    Function* function_;
    std::unordered_map<const ir::Symbol*, uint32_t> frame_;
    std::unordered_map<uint32_t, uint32_t> labels_;
    uint32_t frame_end_ = 0;
};

void ProgramBuilder::build() {
    state.image.clear();
    create_functions();
    lay_out_globals();
    for (auto& [name, definition] : program.definitions_) {
        Function& function = function_named(name);
        function.kind = FunctionKind::defined;
        TreeCompiler compiler(*this, &function);
        compiler.compile_function(*definition.info, definition.statements);
        if (function.result.cls == Cls::block)
            return_words = std::max(return_words, function.result.words);
    }
    initialize_globals();
    state.return_buffer = state.image.allocate(return_words);
    state.return_words = return_words;
}

// Every function symbol of the file becomes a function; those without a
// body are intrinsics or unknown.
void ProgramBuilder::create_functions() {
    for (ir::Symbol* symbol : ir::global_symbols())
        if (ir::is_function(*symbol)) {
            Function& function = function_named(symbol->name);
            const ir::TYPE* type = symbol->type->real();
            if (type->is_func())
                function.result = shape_of(type->return_type());
        }
    for (auto& [name, definition] : program.definitions_) {
        Function& function = function_named(name);
        const ir::TYPE* type = definition.symbol->type ? definition.symbol->type->real() : nullptr;
        if (type != nullptr && type->is_func())
            function.result = shape_of(type->return_type());
    }
}

Function& ProgramBuilder::function_named(const std::string& name) {
    auto found = state.by_name.find(name);
    if (found != state.by_name.end())
        return *found->second;
    Function& function = state.functions.emplace_back();
    function.name = name;
    function.index = static_cast<uint32_t>(state.functions.size() - 1);
    function.kind = intrinsic_kind(name);
    function.result = Shape{Cls::integer, 16, true, 1};
    state.by_name.emplace(name, &function);
    return function;
}

// External variables are placed by name, so that a declaration and the
// definition of the same name share their words; the largest size wins.
void ProgramBuilder::lay_out_globals() {
    std::unordered_map<std::string, uint32_t> words_by_name;
    std::vector<const ir::Symbol*> order;
    for (ir::Symbol* symbol : ir::global_symbols()) {
        if (ir::is_function(*symbol) || !is_external(*symbol))
            continue;
        auto [entry, first] = words_by_name.emplace(symbol->name, 0);
        if (first)
            order.push_back(symbol);
        entry->second = std::max(entry->second, words_of_bits(symbol->size));
    }
    for (const ir::Symbol* symbol : order)
        if (!global_by_name.count(symbol->name))
            global_by_name[symbol->name] =
                state.image.allocate(std::max(1u, words_by_name[symbol->name]), 2);
    for (ir::Symbol* symbol : ir::global_symbols())
        if (!ir::is_function(*symbol))
            global_address(*symbol);
}

uint32_t ProgramBuilder::global_address(const ir::Symbol& symbol) {
    if (is_external(symbol) && symbol.level == 0) {
        auto found = global_by_name.find(symbol.name);
        if (found != global_by_name.end())
            return found->second;
        return global_by_name[symbol.name] =
                   state.image.allocate(std::max(1u, words_of_bits(symbol.size)), 2);
    }
    auto found = global_by_symbol.find(&symbol);
    if (found != global_by_symbol.end())
        return found->second;
    return global_by_symbol[&symbol] =
               state.image.allocate(std::max(1u, words_of_bits(symbol.size)), 2);
}

// Each byte of a string constant is one word; a zero word follows.
uint32_t ProgramBuilder::string_address(const NODE* scon) {
    const uint32_t length = scon->scon_length();
    const uint8_t* bytes = scon->scon_bytes();
    const uint32_t address = state.image.allocate(length + 1);
    for (uint32_t i = 0; i < length; ++i)
        state.image.set_word(address + i, bytes[i]);
    return address;
}

void ProgramBuilder::initialize_globals() {
    RunRequest request;
    Machine machine(state, request);
    std::set<uint32_t> done;
    for (ir::Symbol* symbol : ir::global_symbols()) {
        if (ir::is_function(*symbol) || symbol->initializer.empty())
            continue;
        const uint32_t address = global_address(*symbol);
        if (!done.insert(address).second)
            continue;
        initialize(*symbol, address, std::max(1u, words_of_bits(symbol->size)), machine);
    }
}

// The values fill the variable one after the other, each at its type's
// alignment; SKIP leaves bits out and a string fills an array.
void ProgramBuilder::initialize(const ir::Symbol& symbol, uint32_t address, uint32_t words,
                                Machine& machine) {
    TreeCompiler compiler(*this, nullptr);
    uint32_t cursor = 0;
    for (NODE* value : symbol.initializer) {
        if (value == nullptr || value->op == ir::ENDINIT)
            break;
        if (value->op == ir::SKIP) {
            cursor += words_of_bits(value->value.low32());
            continue;
        }
        const Shape shape = shape_of(value->type);
        if (value->op == ir::SCON && shape.cls == Cls::block) {
            const uint32_t length = value->scon_length();
            for (uint32_t i = 0; i < length && cursor + i < words; ++i)
                state.image.set_word(address + cursor + i, value->scon_bytes()[i]);
            cursor += std::max(length, shape.words);
            continue;
        }
        const uint32_t align = value->type ? std::max(1u, value->type->alignment() / 16) : 1;
        cursor = (cursor + align - 1) / align * align;
        if (shape.cls != Cls::integer && shape.cls != Cls::floating)
            continue;
        uint64_t bits = 0;
        try {
            bits = machine.evaluate_constant(compiler.value(value));
        } catch (const FaultRaised& fault) {
            if (state.init_status == Status::completed) {
                state.init_status = fault.status;
                state.init_fault = fault.what + " in the initializer of " + symbol.name;
            }
        }
        if (cursor + shape.words <= words)
            state.image.write(address + cursor, shape.words, Machine::encode(shape, bits));
        cursor += shape.words;
    }
}

// ---- Functions and statements ------------------------------------------------------------

void TreeCompiler::compile_function(const ir::FUNINFO& info, const std::vector<NODE*>& statements) {
    for (ir::Symbol* symbol : info.local_table)
        if (symbol != nullptr && symbol->level == 1) {
            const uint32_t offset = add_to_frame(*symbol);
            function_->params.push_back({offset, shape_of(symbol->type)});
        }
    resolve_labels(statements);
    for (uint32_t i = 0; i < statements.size(); ++i)
        function_->stmts.push_back(statement(statements[i], i));
    Stmt end;
    end.kind = StmtKind::ret;
    function_->stmts.push_back(end);
    function_->frame_words = frame_end_ + kGuardWords;
}

uint32_t TreeCompiler::add_to_frame(const ir::Symbol& symbol) {
    const uint32_t offset = add_frame_object(std::max(1u, words_of_bits(symbol.size)),
                                             std::max(1u, symbol.alignment / 16));
    frame_[&symbol] = offset;
    return offset;
}

uint32_t TreeCompiler::add_frame_object(uint32_t words, uint32_t align) {
    uint32_t offset = function_->objects.empty() ? 0 : frame_end_ + kGuardWords;
    offset = (offset + align - 1) / align * align;
    function_->objects.push_back({offset, words});
    frame_end_ = offset + words;
    return offset;
}

uint32_t TreeCompiler::frame_offset(const ir::Symbol& symbol) {
    auto found = frame_.find(&symbol);
    return found != frame_.end() ? found->second : add_to_frame(symbol);
}

void TreeCompiler::resolve_labels(const std::vector<NODE*>& statements) {
    for (uint32_t i = 0; i < statements.size(); ++i) {
        const NODE* tree = statements[i];
        if (tree->op == ir::LABELDEF)
            labels_.emplace(tree->label_number(), i);
        else if (tree->op == ir::LOOP && tree->right != nullptr)
            labels_.emplace(tree->right->value.low32(), i);
    }
}

bool TreeCompiler::label_target(const NODE* label, uint32_t& target) {
    if (label == nullptr || label->op != ir::LABEL)
        return false;
    auto found = labels_.find(label->value.low32());
    if (found == labels_.end())
        return false;
    target = found->second;
    return true;
}

Stmt TreeCompiler::fault_statement(Status status, std::string message) {
    Stmt stmt;
    stmt.kind = StmtKind::fault;
    stmt.e = fault(status, std::move(message));
    return stmt;
}

namespace {

// Inline text that only comments, such as the "***\t; tail recursive call
// occurs here" that tail-recursion removal leaves: optional stars and
// blanks, then the assembler's comment character.
bool is_assembler_comment(const char* text) {
    if (text == nullptr)
        return false;
    while (*text == '*' || *text == ' ' || *text == '\t')
        ++text;
    return *text == ';';
}

} // namespace

Stmt TreeCompiler::statement(NODE* tree, uint32_t index) {
    Stmt stmt;
    stmt.weight = 1;
    switch (tree->op) {
    case ir::LABELDEF:
    case ir::LOOP:
    case ir::NOP:
        stmt.kind = StmtKind::nothing;
        stmt.weight = 0;
        return stmt;
    case ir::ASM:
        if (tree->value.low32() == 47 || is_assembler_comment(tree->text())) {
            stmt.kind = StmtKind::nothing;
            stmt.weight = 0;
            return stmt;
        }
        return fault_statement(Status::unsupported, "asm statement");
    case ir::BRANCH:
        stmt.kind = StmtKind::branch;
        if (!label_target(tree->left, stmt.target))
            return fault_statement(Status::unsupported, "branch to an undefined label");
        return stmt;
    case ir::CBRANCH:
    case ir::ENDLOOP:
        stmt.kind = StmtKind::cbranch;
        stmt.e = value(tree->left);
        if (!label_target(tree->right, stmt.target))
            return fault_statement(Status::unsupported, "branch to an undefined label");
        return stmt;
    case ir::IF: {
        stmt.kind = StmtKind::two_way;
        stmt.e = value(tree->left);
        const NODE* targets = tree->right;
        if (targets == nullptr || targets->op != ir::COLON ||
            !label_target(targets->left, stmt.target) || !label_target(targets->right, stmt.other))
            return fault_statement(Status::unsupported, "branch to an undefined label");
        stmt.other_falls_through = stmt.other == index + 1;
        return stmt;
    }
    case ir::SWITCH:
        return switch_statement(tree);
    case ir::RETURN:
        stmt.kind = StmtKind::ret;
        stmt.e = value(tree->left);
        if (function_->result.cls == Cls::integer || function_->result.cls == Cls::floating)
            stmt.e = convert_to(stmt.e, function_->result);
        return stmt;
    case ir::URETURN:
        stmt.kind = StmtKind::ret;
        return stmt;
    default:
        stmt.kind = StmtKind::expression;
        stmt.weight = 0;
        stmt.e = value(tree);
        return stmt;
    }
}

Stmt TreeCompiler::switch_statement(NODE* tree) {
    Stmt stmt;
    stmt.kind = StmtKind::multiway;
    stmt.weight = 1;
    stmt.e = value(tree->left);
    const Shape shape = shape_of(tree->left->type);
    for (NODE* item : list_items(tree->right)) {
        uint32_t target = 0;
        if (item->op == ir::DEFAULT && label_target(item->left, target)) {
            stmt.has_default = true;
            stmt.other = target;
        } else if (item->op == ir::CASE && item->left != nullptr &&
                   label_target(item->right, target)) {
            const unsigned bits = shape.cls == Cls::integer ? shape.bits : 64;
            const uint64_t value = item->left->value.normalized(bits, shape.is_signed).low64();
            stmt.cases.push_back({value, target});
        } else {
            return fault_statement(Status::unsupported, "malformed SWITCH case list");
        }
    }
    std::stable_sort(stmt.cases.begin(), stmt.cases.end(),
                     [](const SwitchCase& x, const SwitchCase& y) { return x.value < y.value; });
    return stmt;
}

// ---- Expressions -----------------------------------------------------------------------------

Code* TreeCompiler::make(Op op, const Shape& shape, uint16_t weight, Code* a, Code* b) {
    Code* code = b_.new_code();
    code->op = op;
    code->cls = shape.cls;
    code->bits = shape.bits;
    code->is_signed = shape.is_signed;
    code->words = static_cast<uint8_t>(std::min(shape.words, 4u));
    code->weight = weight;
    code->a = a;
    code->b = b;
    return code;
}

Code* TreeCompiler::fault(Status status, std::string message) {
    Code* code = make(Op::fault, Shape{}, 0);
    code->count = static_cast<uint32_t>(status);
    code->text = b_.text(std::move(message));
    return code;
}

Code* TreeCompiler::unsupported(const NODE* node) {
    const char* name = ir::opcode_name(node->op);
    return fault(Status::unsupported,
                 std::string("unsupported opcode ") + (name ? name : std::to_string(node->op)));
}

Code* TreeCompiler::value(NODE* node) {
    if (node == nullptr)
        return fault(Status::unsupported, "missing operand");
    if (ir::is_compound_assignment(node->op))
        return update(node);
    switch (node->op) {
    case ir::ICON:
    case ir::FCON:
    case ir::SCON:
        return constant(node);
    case ir::NAME:
        return name_value(node);
    case ir::UMULT:
    case ir::STDOT:
    case ir::STREF:
        return lvalue_value(node);
    case ir::UAND: {
        Access access = address(node->left);
        access.address->weight += 1;
        return access.address;
    }
    case ir::EPVAL:
    case ir::STARG:
        return value(node->left);
    case ir::PLUS:
    case ir::MINUS:
    case ir::MULT:
    case ir::DIV:
    case ir::MOD:
    case ir::ANDB:
    case ir::ORB:
    case ir::XORB:
    case ir::SLL:
    case ir::SRL:
        return binary(node);
    case ir::EQ:
    case ir::NEQ:
    case ir::LT:
    case ir::LE:
    case ir::GT:
    case ir::GE:
    case ir::ULT:
    case ir::ULE:
    case ir::UGT:
    case ir::UGE:
        return compare(node);
    case ir::UMINUS:
    case ir::NOTB:
    case ir::ABS:
    case ir::EXCLAIM:
        return unary(node);
    case ir::ANDAND:
    case ir::OROR:
        return make(node->op == ir::ANDAND ? Op::andand : Op::oror, shape_of(node->type), 1,
                    value(node->left), value(node->right));
    case ir::QUEST: {
        if (node->right == nullptr || node->right->op != ir::COLON)
            return unsupported(node);
        Code* code =
            make(Op::quest, shape_of(node->type), 1, value(node->left), value(node->right->left));
        code->c = value(node->right->right);
        return code;
    }
    case ir::COMMAOP: {
        Code* second = value(node->right);
        Shape shape{second->cls, second->bits, second->is_signed, second->words};
        return make(Op::comma, shape, 1, value(node->left), second);
    }
    case ir::ASG:
        return assignment(node);
    case ir::STASG:
        return block_copy(node);
    case ir::PLUSPLUS:
    case ir::MINMIN:
        return post_update(node);
    case ir::SCONV:
    case ir::PCONV:
    case ir::ISP2CHAR:
    case ir::VSCONV:
        return conversion(node);
    case ir::CALL:
    case ir::UCALL:
        return call(node);
    default:
        return unsupported(node);
    }
}

Code* TreeCompiler::constant(const NODE* node) {
    const Shape shape = shape_of(node->type);
    if (node->op == ir::SCON) {
        Code* code = make(Op::constant, kPointerShape, 1);
        code->imm = b_.string_address(node);
        return code;
    }
    Code* code = make(Op::constant, shape, 1);
    if (node->op == ir::FCON) {
        double v = node->fcon()->value();
        if (shape.cls == Cls::integer)
            code->imm = static_cast<int64_t>(Machine::float_to_integer(v, shape));
        else
            code->imm = std::bit_cast<int64_t>(shape.bits == 32 ? double(float(v)) : v);
        return code;
    }
    if (shape.cls == Cls::floating) {
        const double v = node->value.to_double(true);
        code->imm = std::bit_cast<int64_t>(shape.bits == 32 ? double(float(v)) : v);
        return code;
    }
    const unsigned bits = shape.cls == Cls::integer ? shape.bits : 64;
    code->imm = static_cast<int64_t>(node->value.normalized(bits, shape.is_signed).low64());
    return code;
}

Code* TreeCompiler::name_value(NODE* node) {
    const ir::Symbol* symbol = node->sym();
    if (symbol == nullptr)
        return fault(Status::unsupported, "a NAME without a symbol");
    if (ir::is_function(*symbol)) {
        Code* code = make(Op::constant, kPointerShape, 1);
        code->imm = static_cast<int64_t>(kFunctionBase + b_.function_named(symbol->name).index);
        return code;
    }
    return lvalue_value(node);
}

// The value of an lvalue: its address for a block, else a load.
Code* TreeCompiler::lvalue_value(NODE* node) {
    const Shape shape = shape_of(node->type);
    Access access = address(node);
    if (shape.cls == Cls::block || shape.cls == Cls::function) {
        access.address->cls = Cls::block;
        return access.address;
    }
    if (shape.cls == Cls::none)
        return fault(Status::unsupported, "a value of a type the interpreter does not know");
    return load(access, shape);
}

Code* TreeCompiler::load(const Access& access, const Shape& shape) {
    Code* addr = access.address;
    Code* code;
    if (addr->op == Op::local_addr && access.bit_width == 0) {
        code = addr;
        code->op = Op::load_local;
    } else if (addr->op == Op::constant && access.bit_width == 0) {
        code = addr;
        code->op = Op::load_abs;
    } else {
        code = make(Op::load, shape, 0, addr);
    }
    code->cls = shape.cls;
    code->bits = shape.bits;
    code->is_signed = shape.is_signed;
    code->words = static_cast<uint8_t>(shape.words);
    code->bit_pos = access.bit_pos;
    code->bit_width = access.bit_width;
    if (access.bit_width != 0)
        code->words = static_cast<uint8_t>((access.bit_pos + access.bit_width + 15) / 16);
    return code;
}

TreeCompiler::Access TreeCompiler::address(NODE* node) {
    Access access;
    switch (node->op) {
    case ir::NAME: {
        const ir::Symbol* symbol = node->sym();
        if (symbol == nullptr) {
            access.address = fault(Status::unsupported, "a NAME without a symbol");
        } else if (ir::is_function(*symbol)) {
            access.address = name_value(node);
        } else if (lives_in_frame(*symbol)) {
            if (function_ == nullptr) {
                access.address = fault(Status::unsupported, "a local in an initializer");
            } else {
                access.address = make(Op::local_addr, kPointerShape, 1);
                access.address->imm = frame_offset(*symbol);
            }
        } else {
            access.address = make(Op::constant, kPointerShape, 1);
            access.address->imm = b_.global_address(*symbol);
        }
        return access;
    }
    case ir::UMULT:
        access.address = value(node->left);
        access.address->weight += 1;
        return access;
    case ir::STDOT:
    case ir::STREF:
        return member_address(node);
    case ir::EPVAL:
        return address(node->left);
    default: {
        const Shape shape = shape_of(node->type);
        if (shape.cls == Cls::block || node->op == ir::SCON)
            access.address = value(node);
        else
            access.address = fault(Status::unsupported, "an assignment to a value");
        return access;
    }
    }
}

TreeCompiler::Access TreeCompiler::member_address(NODE* node) {
    Access access;
    const NODE* field = node->right;
    if (field == nullptr || field->op != ir::FIELD || field->member() == nullptr) {
        access.address = fault(Status::unsupported, "a member access without a FIELD");
        return access;
    }
    const ir::FieldRecord& member = *field->member();
    Code* base = node->op == ir::STDOT ? address(node->left).address : value(node->left);
    const int64_t bit = member.bit_offset;
    access.address = add_offset(base, bit >= 0 ? bit / 16 : -((15 - bit) / 16));
    if (member.is_bit_field() && member.bit_width > 0 && member.bit_width <= 64) {
        access.bit_pos = static_cast<uint8_t>(((bit % 16) + 16) % 16);
        access.bit_width = static_cast<uint8_t>(member.bit_width);
    }
    return access;
}

Code* TreeCompiler::add_offset(Code* base, int64_t words) {
    if (base->op == Op::constant || base->op == Op::local_addr) {
        base->imm += words;
        base->weight += 1;
        base->cls = Cls::integer;
        return base;
    }
    Code* code = make(Op::add_offset, kPointerShape, 1, base);
    code->imm = words;
    return code;
}

Op TreeCompiler::arithmetic(ir::Opcode op, const Shape& shape, bool& ok) {
    ok = true;
    const bool f = shape.cls == Cls::floating;
    switch (op) {
    case ir::PLUS:
    case ir::PLUSASG:
    case ir::PLUSPLUS:
        return f ? Op::fadd : Op::add;
    case ir::MINUS:
    case ir::MINUSASG:
    case ir::MINMIN:
        return f ? Op::fsub : Op::sub;
    case ir::MULT:
    case ir::MULTASG:
        return f ? Op::fmul : Op::mul;
    case ir::DIV:
    case ir::DIVASG:
        return f ? Op::fdiv : Op::div;
    default:
        break;
    }
    ok = shape.cls == Cls::integer;
    switch (op) {
    case ir::MOD:
    case ir::MODASG:
        return Op::mod;
    case ir::ANDB:
    case ir::ANDBASG:
        return Op::band;
    case ir::ORB:
    case ir::ORBASG:
        return Op::bor;
    case ir::XORB:
    case ir::XORBASG:
        return Op::bxor;
    case ir::SLL:
    case ir::SLLASG:
        return Op::shl;
    default:
        return Op::shr;
    }
}

Code* TreeCompiler::binary(NODE* node) {
    const Shape shape = shape_of(node->type);
    bool ok = false;
    const Op op = arithmetic(node->op, shape, ok);
    if (!ok || (shape.cls != Cls::integer && shape.cls != Cls::floating))
        return unsupported(node);
    return make(op, shape, 1, value(node->left), value(node->right));
}

Code* TreeCompiler::compare(NODE* node) {
    const Shape operand = shape_of(node->left ? node->left->type : nullptr);
    const bool f = operand.cls == Cls::floating;
    Op op;
    switch (node->op) {
    case ir::EQ:
        op = f ? Op::feq : Op::eq;
        break;
    case ir::NEQ:
        op = f ? Op::fne : Op::ne;
        break;
    case ir::LT:
        op = f ? Op::flt : Op::lt;
        break;
    case ir::LE:
        op = f ? Op::fle : Op::le;
        break;
    case ir::GT:
        op = f ? Op::fgt : Op::gt;
        break;
    case ir::GE:
        op = f ? Op::fge : Op::ge;
        break;
    case ir::ULT:
        op = f ? Op::flt : Op::ult;
        break;
    case ir::ULE:
        op = f ? Op::fle : Op::ule;
        break;
    case ir::UGT:
        op = f ? Op::fgt : Op::ugt;
        break;
    default:
        op = f ? Op::fge : Op::uge;
        break;
    }
    Code* code = make(op, shape_of(node->type), 1, value(node->left), value(node->right));
    code->ocls = operand.cls;
    code->obits = operand.cls == Cls::integer ? operand.bits : 64;
    code->osigned = operand.is_signed;
    return code;
}

Code* TreeCompiler::unary(NODE* node) {
    const Shape shape = shape_of(node->type);
    const bool f = shape.cls == Cls::floating;
    switch (node->op) {
    case ir::UMINUS:
        return make(f ? Op::fneg : Op::neg, shape, 1, value(node->left));
    case ir::ABS:
        return make(f ? Op::fabs : Op::abs, shape, 1, value(node->left));
    case ir::NOTB:
        if (f)
            return unsupported(node);
        return make(Op::bnot, shape, 1, value(node->left));
    default:
        return make(Op::lnot, shape, 1, value(node->left));
    }
}

Code* TreeCompiler::convert_to(Code* code, const Shape& shape) {
    if (code->cls == shape.cls && code->bits == shape.bits && code->is_signed == shape.is_signed)
        return code;
    Code* conversion = make(Op::convert, shape, 0, code);
    conversion->ocls = code->cls;
    conversion->obits = code->bits;
    conversion->osigned = code->is_signed;
    return conversion;
}

Code* TreeCompiler::conversion(NODE* node) {
    const Shape shape = shape_of(node->type);
    if (shape.cls != Cls::integer && shape.cls != Cls::floating)
        return unsupported(node);
    Code* operand = value(node->left);
    if (operand->cls == Cls::none)
        return operand; // a fault
    Code* code = make(Op::convert, shape, 1, operand);
    code->ocls =
        operand->cls == Cls::integer || operand->cls == Cls::floating ? operand->cls : Cls::integer;
    code->obits =
        operand->cls == Cls::integer || operand->cls == Cls::floating ? operand->bits : 32;
    code->osigned = operand->is_signed;
    return code;
}

Code* TreeCompiler::assignment(NODE* node) {
    const Shape shape = shape_of(node->left->type);
    if (shape.cls == Cls::block)
        return block_copy(node);
    if (shape.cls != Cls::integer && shape.cls != Cls::floating)
        return unsupported(node);
    Access access = address(node->left);
    Code* stored = value(node->right);
    if (stored->cls != shape.cls && stored->cls != Cls::none)
        stored = convert_to(stored, shape);
    Code* code;
    if (access.address->op == Op::local_addr && access.bit_width == 0) {
        code = access.address;
        code->op = Op::store_local;
        code->weight += 1;
        code->b = stored;
    } else {
        code = make(Op::store, shape, 1, access.address, stored);
    }
    code->cls = shape.cls;
    code->bits = shape.bits;
    code->is_signed = shape.is_signed;
    code->words = static_cast<uint8_t>(shape.words);
    code->bit_pos = access.bit_pos;
    code->bit_width = access.bit_width;
    if (access.bit_width != 0)
        code->words = static_cast<uint8_t>((access.bit_pos + access.bit_width + 15) / 16);
    return code;
}

Code* TreeCompiler::update(NODE* node) {
    const Shape shape = shape_of(node->left->type);
    bool ok = false;
    const Op sub = arithmetic(node->op, shape, ok);
    if (!ok || (shape.cls != Cls::integer && shape.cls != Cls::floating))
        return unsupported(node);
    Access access = address(node->left);
    Code* operand = value(node->right);
    if (operand->cls != shape.cls && operand->cls != Cls::none && sub != Op::shl && sub != Op::shr)
        operand = convert_to(operand, shape);
    Code* code = make(Op::update, shape, 1, access.address, operand);
    code->sub = sub;
    code->bit_pos = access.bit_pos;
    code->bit_width = access.bit_width;
    if (access.bit_width != 0)
        code->words = static_cast<uint8_t>((access.bit_pos + access.bit_width + 15) / 16);
    return code;
}

Code* TreeCompiler::post_update(NODE* node) {
    Code* code = update(node);
    if (code->op == Op::update)
        code->op = Op::post_update;
    return code;
}

Code* TreeCompiler::block_copy(NODE* node) {
    const Shape shape = shape_of(node->left->type);
    Code* destination = address(node->left).address;
    Code* source =
        node->right->op == ir::STARG ? address(node->right->left).address : value(node->right);
    Code* code = make(Op::block_copy, Shape{Cls::block, 0, false, 0}, 1, destination, source);
    code->count = shape.cls == Cls::block ? shape.words : 0;
    return code;
}

Code* TreeCompiler::call(NODE* node) {
    CallSite& site = b_.state.sites.emplace_back();
    const Shape result = shape_of(node->type);
    Code* code = make(Op::call, result, 1);
    code->site = &site;
    if (result.cls == Cls::block && function_ != nullptr) {
        site.result_words = std::max(1u, result.words);
        site.result_offset = add_frame_object(site.result_words, 2);
    }
    NODE* callee = node->left;
    if (callee != nullptr && callee->op == ir::UAND && callee->left != nullptr &&
        callee->left->op == ir::NAME && callee->left->sym() != nullptr &&
        ir::is_function(*callee->left->sym())) {
        site.direct = &b_.function_named(callee->left->sym()->name);
        code->weight += 2;
    } else if (callee != nullptr && callee->op == ir::NAME && callee->sym() != nullptr &&
               ir::is_function(*callee->sym())) {
        site.direct = &b_.function_named(callee->sym()->name);
        code->weight += 1;
    } else {
        site.callee = value(callee);
    }
    if (node->op == ir::CALL)
        for (NODE* item : list_items(node->right)) {
            Argument arg;
            const Shape shape = shape_of(item->type);
            if (item->op == ir::STARG || shape.cls == Cls::block) {
                NODE* lvalue = item->op == ir::STARG ? item->left : item;
                arg.is_block = true;
                arg.words = shape_of(lvalue->type).words;
                arg.value = address(lvalue).address;
                if (item->op == ir::STARG)
                    arg.value->weight += 1;
            } else {
                arg.value = value(item);
            }
            site.args.push_back(arg);
        }
    return code;
}

std::unique_ptr<ProgramState> build_program_state(Program& program) {
    auto state = std::make_unique<ProgramState>();
    ProgramBuilder builder{program, *state, {}, {}, 1};
    builder.build();
    return state;
}

} // namespace vx::interp
