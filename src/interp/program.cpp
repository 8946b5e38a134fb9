#include "interp/program.h"

#include "icode/reader.h"
#include "interp/compiler.h"
#include "interp/machine.h"
#include "ir/function_info.h"
#include "ir/node_build.h"
#include "ir/symbol_attributes.h"
#include "ir/symbol_table.h"

#include <unordered_set>

namespace vx::interp {

// ---- Results -------------------------------------------------------------------------------

std::string RunResult::summary_line() const {
    return "exit=" + exit_text + " ops=" + std::to_string(counts.ops) +
           " loads=" + std::to_string(counts.loads) + " stores=" + std::to_string(counts.stores) +
           " branches=" + std::to_string(counts.branches) +
           " calls=" + std::to_string(counts.calls);
}

std::string RunResult::fault_line() const {
    return "ictool run: fault: " + fault + " in function " + function;
}

// ---- Programs -------------------------------------------------------------------------------

Program::Program() = default;
Program::~Program() = default;

void Program::define_function(ir::Symbol& function, ir::FUNINFO& info,
                              std::vector<ir::NODE*> statements) {
    definitions_[function.name] = Definition{&function, &info, std::move(statements)};
}

void Program::define_function(const icode::FunctionRead& read) {
    std::vector<ir::NODE*> statements;
    statements.reserve(read.body.statements.size());
    for (const icode::StatementEntry& entry : read.body.statements)
        statements.push_back(entry.tree);
    define_function(*read.symbol, *read.info, std::move(statements));
}

bool Program::defines(const std::string& name) const {
    return definitions_.count(name) != 0;
}

// The trees may have changed since the last run (a pass rewrote them in
// place), so every run compiles them afresh.
RunResult Program::run(const RunRequest& request) {
    state_ = build_program_state(*this);
    Machine machine(*state_, request);
    return machine.run();
}

// ---- Reading a file -------------------------------------------------------------------------

namespace {

// Keeps every statement as the file has it: CBRANCH, LOOP, ENDLOOP, and the
// label records as label definitions.  Nodes stay in the run's arena.
class InterpreterReaderClient final : public icode::ReaderClient {
public:
    InterpreterReaderClient(ir::TYPE_PKG& package, Program& program)
        : package_(package), program_(program) {}

    ir::TYPE_PKG& type_package() override { return package_; }
    void pragma(const icode::PragmaItem&) override {}
    bool begin_function(ir::Symbol& function, const ir::SourcePosition& position) override {
        ir::FUNINFO* record = ir::function_record_of(function);
        if (record != nullptr && read_.count(record) != 0)
            return false;
        function_ = &function;
        info_ = &ir::begin_function(function, position);
        read_.insert(info_);
        statements_.clear();
        return true;
    }
    void end_function(const ir::SourcePosition& position) override {
        ir::end_function(position);
        program_.define_function(*function_, *info_, std::move(statements_));
        statements_.clear();
        function_ = nullptr;
        info_ = nullptr;
    }
    void begin_block(const ir::SourcePosition&) override {}
    void end_block(const ir::SourcePosition&) override {}
    void end_parameters(const ir::SourcePosition&) override {}
    void end_locals(const ir::SourcePosition&, int) override {}
    ir::Symbol* declare_symbol(const ir::SymbolDeclaration& declaration) override {
        return ir::declare_symbol(declaration);
    }
    void attribute_list(ir::Symbol* symbol, uint32_t id,
                        std::vector<std::string> arguments) override {
        if (symbol != nullptr)
            ir::attach_attribute_list(*symbol, static_cast<uint8_t>(id), std::move(arguments));
    }
    void statement(const icode::StatementPos&, ir::NODE* tree) override {
        statements_.push_back(tree);
    }
    void label(uint32_t number) override { statements_.push_back(ir::make_label_def(number)); }
    void text(uint8_t kind, std::string_view text, const icode::StatementPos&) override {
        if (function_ == nullptr)
            return;
        ir::NODE* node = ir::make_node(ir::ASM, nullptr);
        node->value = ir::Int96::from_unsigned(kind);
        node->set_text(text);
        statements_.push_back(node);
    }
    void initializer(ir::Symbol& symbol, std::vector<ir::NODE*> values) override {
        symbol.initializer = std::move(values);
        symbol.flag_byte |= ir::SYMB_INITIALIZED;
    }
    bool exception_table(icode::ExceptionTableItem&&) override { return false; }
    ir::NODE* make_node(ir::Opcode op, ir::TYPE* type) override { return ir::make_node(op, type); }
    ir::NODE* finish_node(ir::NODE* node) override { return node; }

private:
    ir::TYPE_PKG& package_;
    Program& program_;
    ir::Symbol* function_ = nullptr;
    ir::FUNINFO* info_ = nullptr;
    std::vector<ir::NODE*> statements_;
    std::unordered_set<ir::FUNINFO*> read_;
};

} // namespace

std::unique_ptr<Program> read_program(FILE* in, const std::string& name, ir::TYPE_PKG& package) {
    auto reader = icode::IcodeReader::open(in, name);
    if (!reader)
        return nullptr;
    auto program = std::make_unique<Program>();
    InterpreterReaderClient client(package, *program);
    reader->read_all(client);
    return program;
}

} // namespace vx::interp
