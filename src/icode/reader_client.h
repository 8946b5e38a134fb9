// The optimizer's reader client: what the optimizer does with each record
// the reader hands over.
//
// Global symbols go to the symbol tables, initializers to their symbols,
// texts outside functions straight to the output.  A function is built in
// its own arena between I_BF and I_EF: its local symbols, its statement
// trees (converted to the optimizer's forms, statement_conversion.h), its
// label definitions and texts, its exception table.  When the function
// ends it is handed to the driver, which optimizes and writes it later.
//
// The statement list is kept in source order (the block builder takes it
// as it comes), not newest first.
#pragma once

#include "icode/reader.h"
#include "icode/statement_conversion.h"
#include "ir/function_info.h"

#include <functional>
#include <optional>
#include <unordered_set>
#include <vector>

namespace vx::ir {
class TYPE_PKG;
} // namespace vx::ir

namespace vx::icode {

class IcodeWriter;

// One statement of a function: its tree and where it comes from.
struct StatementEntry {
    ir::NODE* tree = nullptr;
    StatementPos pos;
};

// A lexical scope of a function, with the restrict-qualified pointers its
// statements use (the aliasing passes read them).
struct LexicalScope {
    int level = 1;
    int parent = -1; // index in FunctionBody::scopes; -1 for the outermost
    std::vector<ir::Symbol*> restrict_globals;
    std::vector<ir::FieldRecord*> restrict_members;
};

// What the reader builds for a function beyond its FUNINFO.  Trees and
// their payloads live in the function's arena.
struct FunctionBody {
    std::vector<StatementEntry> statements; // source order
    std::optional<ExceptionTableItem> exception_table;
    std::vector<LexicalScope> scopes;
    uint16_t stamp = 1; // stamped on every node read
    bool has_nasserts = false;
    // A function that began with "BRANCH to L; label L" carries profile
    // data; the branch is kept so that the output still has it.
    ir::NODE* profile_branch = nullptr;
    StatementPos profile_branch_pos;

    void clear() { *this = FunctionBody{}; }
};

// A function as the reader hands it to the driver.  A function whose body
// was stepped over has an empty body and the stream offset to read it from.
struct FunctionRead {
    ir::Symbol* symbol = nullptr;
    ir::FUNINFO* info = nullptr;
    FunctionBody body;
    std::optional<size_t> unread_body;
};

// The run's type package.  The process-wide type world is made first, so
// that it outlives the package when the program ends.
ir::TYPE_PKG& run_type_package();

// Gives the node environment and the symbol layer the type package's
// answers (integer shapes, FIELD companions, spellings and names for the
// printer, the symbol layer's type queries; each type knows its package)
// and points the node arena at the run's arena.
void install_reading_environment();

class OptimizerReaderClient final : public ReaderClient {
public:
    using FunctionSink = std::function<void(FunctionRead&&)>;

    // `output` receives the texts that stand outside functions; `sink` each
    // function once it is read.
    OptimizerReaderClient(ir::TYPE_PKG& package, IcodeWriter& output, FunctionSink sink);
    ~OptimizerReaderClient() override;

    // With deferring on, read_all hands each function over with its body
    // unread; the driver reads it when a step first needs it, so that only
    // the bodies in use take memory.
    void defer_function_bodies(bool on) { defer_bodies_ = on; }

    ir::TYPE_PKG& type_package() override { return package_; }
    bool defers_function_bodies() const override { return defer_bodies_; }
    bool deferred_function_begins(ir::Symbol& function, const ir::SourcePosition& position,
                                  size_t offset) override;
    void deferred_function_ends(const ir::SourcePosition& position) override;
    void pragma(const PragmaItem& entry) override;
    bool begin_function(ir::Symbol& function, const ir::SourcePosition& position) override;
    void end_function(const ir::SourcePosition& position) override;
    void begin_block(const ir::SourcePosition& position) override;
    void end_block(const ir::SourcePosition& position) override;
    void end_parameters(const ir::SourcePosition& position) override;
    void end_locals(const ir::SourcePosition& position, int nesting) override;
    ir::Symbol* declare_symbol(const ir::SymbolDeclaration& declaration) override;
    void attribute_list(ir::Symbol* symbol, uint32_t id,
                        std::vector<std::string> arguments) override;
    void statement(const StatementPos& position, ir::NODE* tree) override;
    void label(uint32_t number) override;
    void text(uint8_t kind, std::string_view text, const StatementPos& position) override;
    void initializer(ir::Symbol& symbol, std::vector<ir::NODE*> values) override;
    bool exception_table(ExceptionTableItem&& table) override;
    ir::NODE* make_node(ir::Opcode op, ir::TYPE* type) override;
    ir::NODE* finish_node(ir::NODE* node) override;
    StatementConverter* node_converter() override { return &converter_; }

private:
    void append(ir::NODE* tree, const StatementPos& position);
    void open_scope(int level);
    bool branches_to(uint32_t label) const;

    ir::TYPE_PKG& package_;
    IcodeWriter& output_;
    FunctionSink sink_;
    StatementConverter converter_;

    // The function being read.
    ir::Symbol* function_ = nullptr;
    ir::FUNINFO* info_ = nullptr;
    FunctionBody body_;
    int scope_ = -1; // current scope in body_.scopes
    std::unordered_set<ir::FUNINFO*> functions_read_;
    bool defer_bodies_ = false;
    size_t deferred_offset_ = 0; // of the function being stepped over
};

} // namespace vx::icode
