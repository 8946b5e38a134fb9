#include "icode/reader.h"

#include "icode/format_errors.h"
#include "icode/opcode_table.h"
#include "icode/reader_client_types.h"
#include "icode/statement_conversion.h"
#include "ir/int96.h"
#include "ir/symbol_attributes.h"
#include "ir/symbol_type_queries.h"
#include "ir/type.h"
#include "support/arena.h"
#include "support/check.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace vx::icode {

// ---- Interned file names ---------------------------------------------------------

const std::string* SourceFiles::intern(std::string_view name) {
    auto found = index_.find(name);
    if (found != index_.end())
        return found->second;
    const std::string& kept = names_.emplace_back(name);
    index_.emplace(kept, &kept);
    return &kept;
}

SourceFiles& source_files() {
    static SourceFiles files;
    return files;
}

namespace {

std::vector<std::string> copied(std::span<const std::string_view> strings) {
    return std::vector<std::string>(strings.begin(), strings.end());
}

} // namespace

// ---- One pass over records, with the client --------------------------------------

class ReadSession {
public:
    ReadSession(IcodeReader& reader, ReaderClient& client)
        : reader_(reader), client_(client), stream_(*reader.stream_),
          converter_(client.node_converter()) {}

    void read_section(Section section);
    void read_main_part();
    void read_function_from(size_t offset);

private:
    bool read_short_statement(RecordReader& records);
    struct OpenNode {
        ir::NODE* node;
        uint8_t filled;
        uint8_t needed;
    };
    // A node of the tree being scanned whose operands are not all there:
    // where the next one goes, and how many are still to come.
    struct OpenOperands {
        ir::NODE* node;
        ir::NODE** slot;
        size_t missing;
    };
    // A node made from its record, with the number of operands to come.
    struct MadeNode {
        ir::NODE* node;
        uint8_t needed;
    };
    enum class PayloadProblem {
        none,
        symbol,
        fcon,
        lcon,
        field_kind,
        field_container,
        field_member
    };

    [[noreturn]] void fail(const Record& record, const char* what) const;
    void skim_function(RecordReader& records, const Record& begin_record);
    void reread_file_level_record(RecordReader& records, size_t offset);
    void dispatch_from(RecordReader& records, const Record& record);
    void dispatch(const Record& record);
    void dispatch_in_function(const Record& record);
    void dispatch_anywhere(const Record& record);
    void enter_function(const Record& record, const FunctionBegin& begin);
    void leave_function(const Record& record, const FunctionEnd& end);
    void enter_second_form(const Record& record);
    void leave_second_form();
    void begin_block(const Record& record, const BlockBegin& begin);
    void end_block(const Record& record, const BlockEnd& end);
    void end_parameters(const Record& record, const ParamsEnd& end);
    void declare(const Record& record, const SymbolDecl& declaration);
    void check_symbol_size(const Record& record, const ir::SymbolFields& fields) const;
    void read_initializer(const Record& record, const Initializer& initializer);
    void read_exception_table(const ExceptionTable& table, const Record& record);
    void read_type(const TypeRecord& type);
    void finish_types();

    ir::SourcePosition position(const SourcePos& pos) const;
    StatementPos statement_position(const SourcePos& pos) const;
    ir::TYPE* type(uint32_t number) const;
    ir::Symbol& global_symbol(uint32_t index, const Record& record) const;
    void note_symbol_tables();
    void note_function_tables();

    bool known_type(uint32_t number, ir::TYPE*& type) const;
    bool icon_is_signed(const ir::TYPE* type);

    ir::NODE* statement_tree(const Record& record, const Statement& statement);
    ir::NODE* scan_statement_tree();
    ir::NODE* scan_converted_tree();
    MadeNode make_common_node(const uint8_t* body, size_t length);
    [[gnu::noinline]] MadeNode make_uncommon_node(const uint8_t* body, size_t length);
    ir::NODE* make_scanned_node(const TreeNode& file_node);
    MadeNode make_decoded_node(const uint8_t* bytes, size_t length);
    ir::NODE* build_tree(Tree tree, const Record& record);
    template <class Finish>
    bool place(ir::NODE* node, uint8_t needed, ir::NODE*& root, Finish&& finish);
    ir::NODE* make_client_node(ir::Opcode op, ir::TYPE* type);
    ir::NODE* finish_client_node(ir::NODE* node);
    ir::NODE* make_node(const TreeNode& node, const Record& record);
    void read_payload(ir::NODE* node, const TreeNode& file_node, const Record& record);
    PayloadProblem set_payload(ir::NODE* node, const TreeNode& file_node);
    PayloadProblem set_symbol(ir::NODE* node, uint32_t level, uint32_t index) const;
    static PayloadProblem set_fcon(ir::NODE* node, std::string_view text);
    static PayloadProblem set_lcon(ir::NODE* node, std::string_view text);
    static void set_number(ir::NODE* node, uint8_t opcode, uint32_t number);
    static void set_ddnode(ir::NODE* node, uint32_t number);
    PayloadProblem set_field(ir::NODE* node, const TreeNode& file_node);

    IcodeReader& reader_;
    ReaderClient& client_;
    IcodeStream& stream_;
    int nesting_ = 0;          // 0 outside functions, 1 parameters, 2 body, +1 per block
    bool second_form_ = false; // inside a function begun by kind 123
    bool types_pending_ = false;
    // Reading a deferred body: the file-level records inside it were read
    // when it was stepped over.
    bool rereading_ = false;
    std::vector<uint32_t> new_types_;
    std::vector<OpenNode> open_;
    std::vector<OpenOperands> open_operands_;
    std::vector<MadeNode> made_;
    // The symbol tables that the tree being read names symbols of: the
    // global table and the local table of the function being read (empty
    // outside a function).  Neither grows while a tree is read.
    std::span<ir::Symbol* const> globals_;
    std::span<ir::Symbol* const> locals_;
    // The tables themselves while a function begun by I_BF is read (its
    // record, and so its local table, stays the same up to its I_EF), so
    // that each tree takes their current extent without asking for them.
    const std::vector<ir::Symbol*>* global_table_ = nullptr;
    const std::vector<ir::Symbol*>* local_table_ = nullptr;
    StatementConverter* converter_;
    // Whether an ICON of the type last asked about is signed: most ICONs
    // share a few types, and the answer is an indirect call into the type
    // package.  Forgotten whenever a type record is read, as that may
    // complete a type.
    const ir::TYPE* icon_type_ = nullptr;
    bool icon_type_signed_ = true;
    // The dense type table while a tree is scanned (no type is read
    // meanwhile), limited to the numbers a single byte holds.
    ir::TYPE* const* dense_ = nullptr;
    uint32_t dense_count_ = 0;
    // The reader of the records being dispatched, while its statements'
    // trees are read on demand.
    RecordReader* records_ = nullptr;
};

void ReadSession::fail(const Record& record, const char* what) const {
    fail_record(stream_.base() + record.offset, "%s", what);
}

void ReadSession::read_section(Section section) {
    if (!stream_.has(section))
        return;
    RecordReader records(stream_, section);
    while (const Record* record = records.next())
        dispatch(*record);
    finish_types();
}

void ReadSession::read_main_part() {
    RecordReader records(stream_, MAIN_PART);
    records.set_trees_on_demand(true);
    records_ = &records;
    const Record* last = nullptr;
    while (const Record* record = records.next()) {
        if (record->kind == KIND_FUNCTION_BEGIN && !second_form_ &&
            client_.defers_function_bodies()) {
            skim_function(records, *record);
            continue;
        }
        dispatch_from(records, *record);
        last = record;
    }
    records_ = nullptr;
    if (nesting_ != 0)
        fail(*last, "the main part ends inside a function");
    finish_types();
}

namespace {

// What stepping over a body passes by: every record but the end mark, a
// function's begin and end, and the file-level records that bodies may
// hold (read when they are met).
constexpr RecordReader::RecordKinds kPassedInBodies = [] {
    RecordReader::RecordKinds kinds{};
    kinds.fill(true);
    for (uint8_t kind : {KIND_END_OF_SECTION, KIND_FUNCTION_BEGIN, KIND_FUNCTION_BEGIN_2,
                         KIND_FUNCTION_END, KIND_TYPE, KIND_FILE_NAME, KIND_PRAGMA})
        kinds[kind] = false;
    return kinds;
}();

} // namespace

// Steps over a function's body record by record, without decoding it.  The
// body is decoded, and checked, when the function is read again.
void ReadSession::skim_function(RecordReader& records, const Record& begin_record) {
    const size_t begin_offset = begin_record.offset;
    if (nesting_ != 0)
        fail(begin_record, "a function begins inside another function");
    const FunctionBegin& begin = std::get<FunctionBegin>(begin_record.body);
    ir::Symbol& function = global_symbol(begin.symbol, begin_record);
    if (!client_.deferred_function_begins(function, position(begin.pos), begin_offset))
        fail_record(stream_.base() + begin_offset, "function %s is defined a second time",
                    function.name.c_str());
    for (;;) {
        records.skip_records_of(kPassedInBodies);
        const size_t at = records.offset();
        switch (records.skip()) {
        case KIND_END_OF_SECTION:
            fail_record(stream_.base() + at, "the main part ends inside a function");
        case KIND_FUNCTION_BEGIN:
        case KIND_FUNCTION_BEGIN_2:
            fail_record(stream_.base() + at, "a function begins inside another function");
        case KIND_TYPE:
        case KIND_FILE_NAME:
        case KIND_PRAGMA:
            reread_file_level_record(records, at);
            break;
        case KIND_FUNCTION_END: {
            records.seek(at);
            const Record* end = records.next();
            client_.deferred_function_ends(position(std::get<FunctionEnd>(end->body).pos));
            return;
        }
        default:
            break;
        }
    }
}

void ReadSession::reread_file_level_record(RecordReader& records, size_t offset) {
    records.seek(offset);
    dispatch_anywhere(*records.next());
}

void ReadSession::read_function_from(size_t offset) {
    rereading_ = true;
    RecordReader records(stream_, MAIN_PART);
    records.set_trees_on_demand(true);
    records_ = &records;
    records.seek(offset);
    const Record* record = records.next();
    if (record == nullptr || record->kind != KIND_FUNCTION_BEGIN)
        fail_record(stream_.base() + offset, "no function begins at offset 0x%lx",
                    static_cast<unsigned long>(offset));
    dispatch_from(records, *record);
    while (nesting_ != 0) {
        if (!second_form_ && read_short_statement(records))
            continue;
        if ((record = records.next()) == nullptr)
            break;
        dispatch_from(records, *record);
    }
    records_ = nullptr;
}

// A statement inside a function, most records of a body, goes to the client
// without being handed out as a Record when its record is short and its
// tree is scanned whole.  Otherwise the stream goes back to the statement,
// which the general path reads as it always has: false.
bool ReadSession::read_short_statement(RecordReader& records) {
    const size_t offset = records.offset();
    SourcePos pos;
    if (!records.take_short_statement(pos))
        return false;
    ir::NODE* tree = scan_statement_tree();
    if (tree == nullptr) {
        records.seek(offset);
        return false;
    }
    client_.statement(statement_position(pos), tree);
    return true;
}

// A statement's tree is read straight into nodes when the statement goes to
// the client (inside a function begun by I_BF); any other statement has its
// tree read whole first, as a record is.
void ReadSession::dispatch_from(RecordReader& records, const Record& record) {
    if (records.tree_pending() && (nesting_ == 0 || second_form_))
        records.read_pending_tree();
    dispatch(record);
    VX_CHECK(!records.tree_pending());
}

// Records that a function holds go to the client only inside one; those of
// a function begun by kind 123 are dropped, as the client has no function
// to give them to.
void ReadSession::dispatch(const Record& record) {
    if (second_form_) {
        if (record.kind == KIND_FUNCTION_END_2)
            leave_second_form();
        return;
    }
    switch (record.kind) {
    case KIND_FUNCTION_BEGIN:
        enter_function(record, std::get<FunctionBegin>(record.body));
        return;
    case KIND_FUNCTION_BEGIN_2:
        enter_second_form(record);
        return;
    case KIND_FUNCTION_END_2:
        fail(record, "a function end of the second form (kind 125) without its begin (kind 123)");
    case KIND_FUNCTION_END:
    case KIND_BLOCK_BEGIN:
    case KIND_BLOCK_END:
    case KIND_PARAMS_END:
    case KIND_LOCALS_END:
    case KIND_STATEMENT:
    case KIND_LABEL:
        dispatch_in_function(record);
        return;
    default:
        dispatch_anywhere(record);
        return;
    }
}

void ReadSession::dispatch_in_function(const Record& record) {
    if (nesting_ == 0)
        fail(record, "a record that belongs to a function stands outside one");
    switch (record.kind) {
    case KIND_FUNCTION_END:
        leave_function(record, std::get<FunctionEnd>(record.body));
        return;
    case KIND_BLOCK_BEGIN:
        begin_block(record, std::get<BlockBegin>(record.body));
        return;
    case KIND_BLOCK_END:
        end_block(record, std::get<BlockEnd>(record.body));
        return;
    case KIND_PARAMS_END:
        end_parameters(record, std::get<ParamsEnd>(record.body));
        return;
    case KIND_LOCALS_END:
        client_.end_locals(position(std::get<LocalsEnd>(record.body).pos), nesting_);
        return;
    case KIND_STATEMENT: {
        const Statement& statement = std::get<Statement>(record.body);
        StatementPos where = statement_position(statement.pos);
        client_.statement(where, statement_tree(record, statement));
        return;
    }
    case KIND_LABEL:
        client_.label(std::get<LabelDef>(record.body).label);
        return;
    default:
        return;
    }
}

// Records that may stand inside or outside a function.  Loop descriptions,
// dependence records, annotations, byte marks and the other ignored kinds
// are dropped here.
void ReadSession::dispatch_anywhere(const Record& record) {
    if (rereading_ &&
        (record.kind == KIND_TYPE || record.kind == KIND_FILE_NAME || record.kind == KIND_PRAGMA))
        return;
    switch (record.kind) {
    case KIND_SYMBOL:
        declare(record, std::get<SymbolDecl>(record.body));
        return;
    case KIND_ATTRIBUTES: {
        const AttributeList& list = std::get<AttributeList>(record.body);
        client_.attribute_list(nullptr, list.id, copied(list.strings));
        return;
    }
    case KIND_ASM_TEXT: {
        const AsmText& text = std::get<AsmText>(record.body);
        client_.text(KIND_ASM_TEXT, text.text, statement_position(text.pos));
        return;
    }
    case KIND_TEXT:
        client_.text(KIND_TEXT, std::get<Text>(record.body).text, {});
        return;
    case KIND_EHT:
        read_exception_table(std::get<ExceptionTable>(record.body), record);
        return;
    case KIND_INITIALIZER:
        read_initializer(record, std::get<Initializer>(record.body));
        return;
    case KIND_PRAGMA: {
        const PragmaEntry& entry = std::get<PragmaEntry>(record.body);
        client_.pragma({entry.id, copied(entry.strings), stream_.base() + record.offset});
        return;
    }
    case KIND_TYPE:
        read_type(std::get<TypeRecord>(record.body));
        return;
    case KIND_FILE_NAME:
        reader_.file_names_.push_back(source_files().intern(std::get<FileName>(record.body).name));
        return;
    default:
        return;
    }
}

// ---- Functions and blocks -------------------------------------------------------

void ReadSession::enter_function(const Record& record, const FunctionBegin& begin) {
    if (nesting_ != 0)
        fail(record, "a function begins inside another function");
    ir::Symbol& function = global_symbol(begin.symbol, record);
    nesting_ = 1;
    if (!client_.begin_function(function, position(begin.pos)))
        fail_record(stream_.base() + record.offset, "function %s is defined a second time",
                    function.name.c_str());
    note_function_tables();
}

void ReadSession::leave_function(const Record& record, const FunctionEnd& end) {
    if (nesting_ != 2)
        fail(record, nesting_ == 1 ? "a function ends before the end of its parameters (I_EA)"
                                   : "a function ends inside a block");
    nesting_ = 0;
    global_table_ = nullptr;
    local_table_ = nullptr;
    client_.end_function(position(end.pos));
}

void ReadSession::enter_second_form(const Record& record) {
    if (nesting_ != 0)
        fail(record, "a function begins inside another function");
    second_form_ = true;
}

void ReadSession::leave_second_form() {
    second_form_ = false;
}

void ReadSession::begin_block(const Record& record, const BlockBegin& begin) {
    if (nesting_ < 2)
        fail(record, "a block begins before the end of the parameters (I_EA)");
    ++nesting_;
    client_.begin_block(position(begin.pos));
}

void ReadSession::end_block(const Record& record, const BlockEnd& end) {
    if (nesting_ <= 2)
        fail(record, "a block ends that has not begun");
    --nesting_;
    client_.end_block(position(end.pos));
}

void ReadSession::end_parameters(const Record& record, const ParamsEnd& end) {
    if (nesting_ != 1)
        fail(record, "a second end of the parameters (I_EA) in one function");
    nesting_ = 2;
    client_.end_parameters(position(end.pos));
}

// ---- Declarations, initializers, exception tables --------------------------------

void ReadSession::declare(const Record& record, const SymbolDecl& d) {
    for (const AttributeList& list : d.attributes)
        if (list.id == ir::PRG_OPT_OVERRIDE || list.id > 255)
            fail(record, "a symbol carries an attribute list whose id only the pragma section "
                         "may carry, or that is above 255");
    ir::SymbolDeclaration declaration;
    ir::SymbolFields& fields = declaration.fields;
    fields.name = d.name;
    fields.size = d.size;
    fields.offset = static_cast<int32_t>(d.offset);
    fields.storage_class = static_cast<int8_t>(d.storage_class);
    fields.flags = static_cast<uint16_t>(d.flags);
    fields.type = type(d.type);
    fields.second_type = type(d.type2);
    fields.alignment = d.alignment;
    fields.position = position(d.pos);
    declaration.stream_words[0] = d.aux1;
    declaration.stream_words[1] = d.aux2;
    declaration.level = static_cast<uint8_t>(nesting_);
    check_symbol_size(record, declaration.fields);
    ir::Symbol* symbol = client_.declare_symbol(declaration);
    for (const AttributeList& list : d.attributes)
        client_.attribute_list(symbol, list.id, copied(list.strings));
}

// The symbol layer requires a variable's size to be its type's; bad input
// is told apart from a broken invariant here.
void ReadSession::check_symbol_size(const Record& record, const ir::SymbolFields& fields) const {
    const ir::TYPE* type = ir::optimizer_type_of(fields.type);
    const uint32_t size = fields.size == 22 ? 32 : fields.size;
    if (type != nullptr && !type->is_func() && size != type->size())
        fail_record(stream_.base() + record.offset, "symbol %s has %u bits, its type %u",
                    std::string(fields.name).c_str(), size, type->size());
}

void ReadSession::read_initializer(const Record& record, const Initializer& initializer) {
    if (nesting_ != 0)
        fail(record, "an initializer stands inside a function");
    ir::Symbol& symbol = global_symbol(initializer.symbol, record);
    std::vector<ir::NODE*> values;
    values.reserve(initializer.values.size());
    for (Tree value : initializer.values)
        values.push_back(build_tree(value, record));
    client_.initializer(symbol, std::move(values));
}

void ReadSession::read_exception_table(const ExceptionTable& table, const Record& record) {
    ExceptionTableItem item;
    item.entries.resize(1); // entry 0: no handler
    for (const EhtEntry& entry : table.entries) {
        EhtItem& kept = item.entries.emplace_back();
        kept.id = entry.id;
        kept.kind = entry.kind;
        kept.number = entry.number;
        kept.count = entry.count;
        if (entry.kind == kEhtCleanupEntry) {
            kept.cleanup_pos = statement_position(entry.cleanup_pos);
            kept.cleanup = build_tree(entry.cleanup, record);
        }
        for (const EhtName& name : entry.names)
            kept.names.push_back({std::string(name.name), 0u - name.number, name.byte});
    }
    client_.exception_table(std::move(item));
}

// ---- Types -------------------------------------------------------------------------

void ReadSession::read_type(const TypeRecord& record) {
    icon_type_ = nullptr;
    TypeReadContext context{client_.type_package(), reader_.types_, reader_.file_names_,
                            stream_.version()};
    if (uint32_t defined = read_type_record(record, context))
        new_types_.push_back(defined);
    types_pending_ = true;
}

// Types wait for their lists until the section that defines them is read;
// then they are frozen, and the numbers are looked up by index from then on.
void ReadSession::finish_types() {
    if (!types_pending_)
        return;
    types_pending_ = false;
    icon_type_ = nullptr;
    reader_.types_.finish();
    constexpr uint32_t kDenseLimit = 1u << 22;
    for (uint32_t number : new_types_) {
        if (number >= kDenseLimit)
            continue;
        if (number >= reader_.dense_types_.size())
            reader_.dense_types_.resize(number + 1);
        reader_.dense_types_[number] = reader_.types_.resolve(number);
    }
    new_types_.clear();
}

// The type of `number` when looking it up cannot fail.
bool ReadSession::known_type(uint32_t number, ir::TYPE*& found) const {
    const auto& dense = reader_.dense_types_;
    if (number < dense.size() && dense[number] != nullptr) {
        found = dense[number];
        return true;
    }
    if (number != 0 && !reader_.types_.is_defined(number))
        return false;
    found = reader_.types_.resolve(number);
    return true;
}

ir::TYPE* ReadSession::type(uint32_t number) const {
    const auto& dense = reader_.dense_types_;
    if (number < dense.size() && dense[number] != nullptr)
        return dense[number];
    return reader_.types_.resolve(number);
}

// ---- Symbols and positions ---------------------------------------------------------

// What a NAME's level and index name: the global table for level 0, the
// local table for any other level.
void ReadSession::note_symbol_tables() {
    globals_ = ir::symbol_state().global_table;
    const ir::FUNINFO* function = ir::function_being_read();
    locals_ = function != nullptr ? std::span<ir::Symbol* const>(function->local_table)
                                  : std::span<ir::Symbol* const>();
}

void ReadSession::note_function_tables() {
    global_table_ = &ir::symbol_state().global_table;
    const ir::FUNINFO* function = ir::function_being_read();
    local_table_ = function != nullptr ? &function->local_table : nullptr;
}

ir::Symbol& ReadSession::global_symbol(uint32_t index, const Record& record) const {
    ir::Symbol* found = ir::symbol_at(nullptr, 0, index);
    if (found == nullptr)
        fail_record(stream_.base() + record.offset,
                    "a record of kind %u names global symbol %u, which is not declared",
                    record.kind, index);
    return *found;
}

ir::SourcePosition ReadSession::position(const SourcePos& pos) const {
    const std::string* file = file_name_at(reader_.file_names_, pos.file);
    if (file == nullptr)
        return {};
    return {*file, pos.line, pos.column};
}

StatementPos ReadSession::statement_position(const SourcePos& pos) const {
    const std::string* file = file_name_at(reader_.file_names_, pos.file);
    if (file == nullptr)
        return {};
    return {file, pos.line, pos.column};
}

// ---- Trees ---------------------------------------------------------------------------

// A statement's tree is made node by node as its records are scanned.
// Anything unusual (a long record, a malformed one, a reference that does
// not resolve) sends the tree down the general path, which decodes it whole
// and then builds it, reporting the first problem as it always has.  The
// nodes made so far are left unused in the arena; what making and
// converting them noted (a call clears the leaf mark, a restrict pointer
// joins the scope's list once) is noted again, to the same effect.
ir::NODE* ReadSession::statement_tree(const Record& record, const Statement& statement) {
    if (records_ != nullptr && records_->tree_pending()) {
        if (ir::NODE* tree = scan_statement_tree())
            return tree;
        records_->read_pending_tree();
    }
    return build_tree(statement.tree, record);
}

// Every node of a file passes through here: the decoding, the making and
// the converting are compiled into one piece.
//
// With the optimizer's converter each node is converted as soon as its
// operands are, in the order the general path converts them; a conversion
// that would stop the run is not made but declined, so that a malformed
// record later in the tree is still what is reported.  Another client's
// conversions may stop the run in ways the reader does not know, so its
// nodes are all made before the first is converted.
VX_FLATTEN ir::NODE* ReadSession::scan_statement_tree() {
    if (global_table_ != nullptr) {
        globals_ = *global_table_;
        locals_ = local_table_ != nullptr ? std::span<ir::Symbol* const>(*local_table_)
                                          : std::span<ir::Symbol* const>();
    } else {
        note_symbol_tables();
    }
    if (converter_ != nullptr)
        return scan_converted_tree();
    open_.clear();
    ir::NODE* root = nullptr;
    made_.clear();
    auto make = [this](const TreeNode& file_node) {
        ir::NODE* node = make_scanned_node(file_node);
        if (node != nullptr)
            made_.push_back({node, file_opcode(file_node.opcode).operand_count});
        return node != nullptr;
    };
    if (!records_->scan_pending_tree(make))
        return nullptr;
    auto finish = [this](ir::NODE* node) { return client_.finish_node(node); };
    for (const MadeNode& made : made_)
        place(made.node, made.needed, root, finish);
    return root;
}

// The tree with the optimizer's converter, the reader's hottest loop.  Each
// record's frame is checked as scan_pending_tree_bodies checks it; a node
// whose operands are complete is converted and put in its operator's next
// operand slot at once.  The stream moves only once the whole tree is
// taken, so that a refused record leaves the tree to the general path.
ir::NODE* ReadSession::scan_converted_tree() {
    const RecordReader::PendingTreeBytes tree = records_->pending_tree_bytes();
    const uint8_t* const data = tree.data;
    const size_t limit = tree.limit;
    // Short of this offset, a record whose length takes one byte lies inside
    // the section, and so do the few bytes past its body that reading its
    // fields without bounds checks may touch (make_common_node).
    constexpr size_t kReachOfShortRecord = 2 + 0x7F + 8;
    const size_t surely_inside = limit > kReachOfShortRecord ? limit - kReachOfShortRecord : 0;
    dense_ = reader_.dense_types_.data();
    dense_count_ = static_cast<uint32_t>(std::min<size_t>(reader_.dense_types_.size(), 0x80));
    converter_->begin_tree();
    OpenOperands* open = open_operands_.data();
    size_t open_room = open_operands_.size();
    size_t pos = tree.start;
    size_t depth = 0;
    for (;;) {
        const bool inside = pos < surely_inside;
        if (!inside && (pos + 2 > limit || data[pos + 1] > limit - pos - 2))
            return nullptr;
        const size_t length = data[pos + 1];
        if (data[pos] != KIND_TREE_NODE || length >= 0x80)
            return nullptr;
        const MadeNode made = inside ? make_common_node(data + pos + 2, length)
                                     : make_uncommon_node(data + pos + 2, length);
        if (made.node == nullptr)
            return nullptr;
        pos += 2 + length;
        if (made.needed != 0) {
            if (depth == open_room) {
                open_operands_.resize(2 * depth + 16);
                open = open_operands_.data();
                open_room = open_operands_.size();
            }
            open[depth++] = {made.node, &made.node->left, made.needed};
            continue;
        }
        ir::NODE* done = converter_->convert_unless_stopping(made.node);
        for (;;) {
            if (done == nullptr)
                return nullptr;
            if (depth == 0) {
                records_->take_pending_tree(pos);
                return done;
            }
            OpenOperands& parent = open[depth - 1];
            *parent.slot = done;
            if (--parent.missing != 0) {
                parent.slot = &parent.node->right;
                break;
            }
            --depth;
            done = converter_->convert_unless_stopping(parent.node);
        }
    }
}

namespace {

// LEB128 values of one or two bytes, read without bounds checks by a
// caller that knows the bytes are there; false, with nothing taken, for a
// longer value.  They give what the checked decoders give.
inline bool short_uleb(const uint8_t*& at, uint32_t& value) {
    const uint32_t first = at[0];
    if (first < 0x80) {
        value = first;
        at += 1;
        return true;
    }
    const uint32_t second = at[1];
    if (second >= 0x80)
        return false;
    value = (first & 0x7F) | (second << 7);
    at += 2;
    return true;
}

inline bool short_sleb(const uint8_t*& at, uint32_t& value) {
    const uint8_t* const start = at;
    uint32_t bits = 0;
    if (!short_uleb(at, bits))
        return false;
    const uint32_t sign_bit = at - start == 1 ? 0x40u : 0x2000u;
    value = (bits & sign_bit) ? bits | ~(2 * sign_bit - 1) : bits;
    return true;
}

} // namespace

// make_decoded_node() for the records most of a file holds: a node without
// payload, a NAME, an ICON, a LABEL or a CALL whose numbers take one or two
// bytes and whose type is in the dense table.  The fields are read without
// bounds checks (the caller knows the bytes past the body are readable);
// the record is taken only when they end exactly at the body's end, so
// that they are what the checked decoder reads.  Any other record goes to
// make_decoded_node(), which checks every field.
inline ReadSession::MadeNode ReadSession::make_common_node(const uint8_t* body, size_t length) {
    const uint8_t* const end = body + length;
    const uint8_t opcode = body[0];
    const uint32_t type_number = body[1];
    ir::TYPE* const node_type = type_number < dense_count_ ? dense_[type_number] : nullptr;
    const OpcodeShape shape = opcode_shape(opcode);
    const uint8_t* at = body + 2;
    auto make = [&] {
        return converter_->make_tree_node(static_cast<ir::Opcode>(opcode), node_type);
    };
    // A type number of 0x80 or more takes more than the byte read, and the
    // dense table is no longer than that; an opcode above the file's last
    // has an empty shape, so only a record without payload can carry one.
    if (node_type != nullptr) {
        uint32_t first = 0;
        uint32_t second = 0;
        switch (shape.payload) {
        case Payload::none:
            if (at == end && opcode <= kLastFileOpcode)
                return {make(), shape.operand_count};
            break;
        case Payload::label:
            if (short_uleb(at, first) && at == end) {
                ir::NODE* node = make();
                node->read_label(first);
                return {node, shape.operand_count};
            }
            break;
        case Payload::integer:
            if ((stream_.type_signs().is_signed(type_number) ? short_sleb(at, first)
                                                             : short_uleb(at, first)) &&
                at == end) {
                ir::NODE* node = make();
                node->set_icon_bits(first, icon_is_signed(node->type));
                return {node, shape.operand_count};
            }
            break;
        case Payload::symbol:
            if (short_uleb(at, first) && short_uleb(at, second) && at == end) {
                ir::NODE* node = make();
                if (set_symbol(node, first, second) != PayloadProblem::none)
                    return {};
                return {node, shape.operand_count};
            }
            break;
        case Payload::call:
            if (short_uleb(at, first) && short_uleb(at, second) && at == end) {
                ir::NODE* node = make();
                node->read_call(first, second);
                return {node, shape.operand_count};
            }
            break;
        default:
            break;
        }
    }
    return make_uncommon_node(body, length);
}

ReadSession::MadeNode ReadSession::make_uncommon_node(const uint8_t* body, size_t length) {
    return make_decoded_node(body, length);
}

// The node of a record, or nullptr when its type or payload does not
// resolve.
ir::NODE* ReadSession::make_scanned_node(const TreeNode& file_node) {
    ir::TYPE* node_type = nullptr;
    if (!known_type(file_node.type, node_type))
        return nullptr;
    ir::NODE* node = make_client_node(static_cast<ir::Opcode>(file_node.opcode), node_type);
    if (set_payload(node, file_node) != PayloadProblem::none)
        return nullptr;
    return node;
}

namespace {

// A record body read front to back.  A value that does not fit marks the
// body cut and yields 0 without taking bytes, so that the caller tests
// once, when the fields are read; never reads past the body.
struct BodyBytes {
    const uint8_t* at;
    const uint8_t* end;
    bool cut = false;

    uint8_t u8() {
        if (at < end)
            return *at++;
        cut = true;
        return 0;
    }
    uint32_t uleb() {
        if (at < end && *at < 0x80)
            return *at++;
        return take(at < end ? scan_uleb(at, static_cast<size_t>(end - at)) : cut_off());
    }
    uint32_t sleb() {
        if (at < end && *at < 0x80) {
            const uint8_t byte = *at++;
            return static_cast<uint32_t>((byte & 0x40) ? static_cast<int32_t>(byte) - 0x80 : byte);
        }
        return take(at < end ? scan_sleb(at, static_cast<size_t>(end - at)) : cut_off());
    }
    std::string_view bytes(uint32_t count) {
        if (count > static_cast<size_t>(end - at)) {
            cut = true;
            return {};
        }
        std::string_view view(reinterpret_cast<const char*>(at), count);
        at += count;
        return view;
    }
    // The characters before the NUL that ends them.
    std::string_view text() {
        const void* nul = at < end ? std::memchr(at, 0, static_cast<size_t>(end - at)) : nullptr;
        if (nul == nullptr) {
            cut = true;
            return {};
        }
        std::string_view view(reinterpret_cast<const char*>(at),
                              static_cast<size_t>(static_cast<const uint8_t*>(nul) - at));
        at += view.size() + 1;
        return view;
    }
    // Every field was there and nothing is left over.
    bool sound() const { return !cut && at == end; }

private:
    static LebValue cut_off() { return {0, 0, true}; }
    uint32_t take(const LebValue& scanned) {
        at += scanned.length;
        cut = cut || scanned.cut_off;
        return scanned.value;
    }
};

} // namespace

// The node of one tree record, decoded and made in one go: a single switch
// on the payload reads the fields and sets them.  Refused (nothing) when
// the record is not sound or a reference does not resolve, in every case
// where decoding the record whole and making its node would refuse it; the
// node is made only once its record is known to be sound, as it would be
// then.
ReadSession::MadeNode ReadSession::make_decoded_node(const uint8_t* bytes, size_t length) {
    BodyBytes body{bytes, bytes + length};
    const uint8_t opcode = body.u8();
    const uint32_t type_number = body.uleb();
    if (opcode > kLastFileOpcode)
        return {};
    const OpcodeShape shape = opcode_shape(opcode);
    auto make = [&]() -> ir::NODE* {
        ir::TYPE* node_type = nullptr;
        if (!body.sound() || !known_type(type_number, node_type))
            return nullptr;
        return make_client_node(static_cast<ir::Opcode>(opcode), node_type);
    };
    ir::NODE* node = nullptr;
    switch (shape.payload) {
    case Payload::none:
        node = make();
        break;
    case Payload::label: {
        const uint32_t number = body.uleb();
        if ((node = make()) != nullptr)
            node->read_label(number);
        break;
    }
    case Payload::symbol: {
        const uint32_t level = body.uleb();
        const uint32_t index = body.uleb();
        if ((node = make()) != nullptr && set_symbol(node, level, index) != PayloadProblem::none)
            return {};
        break;
    }
    case Payload::counted: {
        const std::string_view text = body.bytes(body.uleb());
        if ((node = make()) != nullptr)
            node->read_scon(reinterpret_cast<const uint8_t*>(text.data()),
                            static_cast<uint32_t>(text.size()));
        break;
    }
    case Payload::integer: {
        const uint32_t value =
            stream_.type_signs().is_signed(type_number) ? body.sleb() : body.uleb();
        if ((node = make()) != nullptr)
            node->set_icon_bits(value, icon_is_signed(node->type));
        break;
    }
    case Payload::hex_float:
    case Payload::decimal: {
        const std::string_view text = body.text();
        if ((node = make()) == nullptr)
            break;
        if ((shape.payload == Payload::hex_float ? set_fcon(node, text) : set_lcon(node, text)) !=
            PayloadProblem::none)
            return {};
        break;
    }
    case Payload::intrinsic: {
        const std::string_view text = body.text();
        if ((node = make()) != nullptr)
            node->set_intrinsic_name(text);
        break;
    }
    case Payload::field: {
        TreeNode field;
        field.byte = body.u8();
        field.first = body.uleb();
        field.second = body.uleb();
        if ((node = make()) != nullptr && set_field(node, field) != PayloadProblem::none)
            return {};
        break;
    }
    case Payload::number: {
        const uint32_t number = body.uleb();
        if ((node = make()) != nullptr)
            set_number(node, opcode, number);
        break;
    }
    case Payload::call: {
        const uint32_t first = body.uleb();
        const uint32_t second = body.uleb();
        if ((node = make()) != nullptr)
            node->read_call(first, second);
        break;
    }
    case Payload::ddnode: {
        const uint32_t number = body.uleb();
        body.uleb();
        body.u8();
        if ((node = make()) != nullptr)
            set_ddnode(node, number);
        break;
    }
    case Payload::vreg: {
        const uint32_t number = body.sleb();
        if ((node = make()) != nullptr)
            node->read_vreg(static_cast<int32_t>(number));
        break;
    }
    }
    return {node, shape.operand_count};
}

// What NODE::read_icon would decide for a node of `type`.
bool ReadSession::icon_is_signed(const ir::TYPE* type) {
    if (type != icon_type_ || type == nullptr) {
        icon_type_ = type;
        icon_type_signed_ = ir::integer_shape_of(type).is_signed;
    }
    return icon_type_signed_;
}

// Nodes come in preorder.  A node whose operands are all built is finished
// by the client (children first) and put in its operator's next slot, so
// neither the depth nor the length of a tree costs stack.
ir::NODE* ReadSession::build_tree(Tree tree, const Record& record) {
    open_.clear();
    note_symbol_tables();
    ir::NODE* root = nullptr;
    auto finish = [this](ir::NODE* node) { return finish_client_node(node); };
    for (const TreeNode& file_node : tree)
        place(make_node(file_node, record), file_opcode(file_node.opcode).operand_count, root,
              finish);
    return root;
}

// Puts a made node into the tree; `finish` converts each node whose
// operands are complete, or refuses it (nullptr), which stops the placing.
template <class Finish>
bool ReadSession::place(ir::NODE* node, uint8_t needed, ir::NODE*& root, Finish&& finish) {
    if (needed != 0) {
        open_.push_back({node, 0, needed});
        return true;
    }
    ir::NODE* done = finish(node);
    for (;;) {
        if (done == nullptr)
            return false;
        if (open_.empty()) {
            root = done;
            return true;
        }
        OpenNode& parent = open_.back();
        (parent.filled == 0 ? parent.node->left : parent.node->right) = done;
        if (++parent.filled < parent.needed)
            return true;
        ir::NODE* complete = parent.node;
        open_.pop_back();
        done = finish(complete);
    }
}

ir::NODE* ReadSession::make_client_node(ir::Opcode op, ir::TYPE* node_type) {
    return converter_ != nullptr ? converter_->make_node(op, node_type)
                                 : client_.make_node(op, node_type);
}

ir::NODE* ReadSession::finish_client_node(ir::NODE* node) {
    return converter_ != nullptr ? converter_->convert(node) : client_.finish_node(node);
}

ir::NODE* ReadSession::make_node(const TreeNode& file_node, const Record& record) {
    ir::NODE* node =
        make_client_node(static_cast<ir::Opcode>(file_node.opcode), type(file_node.type));
    read_payload(node, file_node, record);
    return node;
}

void ReadSession::read_payload(ir::NODE* node, const TreeNode& n, const Record& record) {
    switch (set_payload(node, n)) {
    case PayloadProblem::none:
        return;
    case PayloadProblem::symbol:
        fail_record(stream_.base() + record.offset,
                    "a tree names symbol %u of level %u, which is not declared", n.second, n.first);
    case PayloadProblem::fcon:
        fail(record, "an FCON holds text that is not a floating constant");
    case PayloadProblem::lcon:
        fail(record, "an LCON holds text that is not a decimal number");
    case PayloadProblem::field_kind:
        fail(record, "a FIELD node of a kind other than 1");
    case PayloadProblem::field_container:
        type(n.second); // reports the unresolved reference
        [[fallthrough]];
    case PayloadProblem::field_member:
        fail(record, "a FIELD node names a member its container type does not have");
    }
}

// Fills the node's payload from its record; on a problem the node is left
// as it is.
ReadSession::PayloadProblem ReadSession::set_payload(ir::NODE* node, const TreeNode& n) {
    switch (payload_kind(n.opcode)) {
    case Payload::none:
        break;
    case Payload::label:
        node->read_label(n.first);
        break;
    case Payload::symbol:
        return set_symbol(node, n.first, n.second);
    case Payload::counted:
        node->read_scon(reinterpret_cast<const uint8_t*>(n.text.data()),
                        static_cast<uint32_t>(n.text.size()));
        break;
    case Payload::integer:
        node->read_icon(n.first);
        break;
    case Payload::hex_float:
        return set_fcon(node, n.text);
    case Payload::decimal:
        return set_lcon(node, n.text);
    case Payload::field:
        return set_field(node, n);
    case Payload::number:
        set_number(node, n.opcode, n.first);
        break;
    case Payload::call:
        node->read_call(n.first, n.second);
        break;
    case Payload::ddnode:
        set_ddnode(node, n.first);
        break;
    case Payload::intrinsic:
        node->set_intrinsic_name(n.text);
        break;
    case Payload::vreg:
        node->read_vreg(static_cast<int32_t>(n.first));
        break;
    }
    return PayloadProblem::none;
}

ReadSession::PayloadProblem ReadSession::set_symbol(ir::NODE* node, uint32_t level,
                                                    uint32_t index) const {
    constexpr uint32_t kNoSymbol = 4294967295u;
    ir::Symbol* symbol = nullptr;
    if (level != kNoSymbol) {
        const std::span<ir::Symbol* const> table = level == 0 ? globals_ : locals_;
        symbol = index < table.size() ? table[index] : nullptr;
        if (symbol == nullptr)
            return PayloadProblem::symbol;
    }
    node->read_name(symbol);
    return PayloadProblem::none;
}

ReadSession::PayloadProblem ReadSession::set_fcon(ir::NODE* node, std::string_view text) {
    const std::string terminated(text);
    if (!ir::FconValue::parse(terminated.c_str()))
        return PayloadProblem::fcon;
    node->read_fcon(terminated.c_str());
    return PayloadProblem::none;
}

ReadSession::PayloadProblem ReadSession::set_lcon(ir::NODE* node, std::string_view text) {
    const std::string terminated(text);
    if (!ir::Int96::parse_decimal(terminated))
        return PayloadProblem::lcon;
    node->read_lcon(terminated.c_str());
    return PayloadProblem::none;
}

void ReadSession::set_number(ir::NODE* node, uint8_t opcode, uint32_t number) {
    if (opcode == ir::EPVAL)
        node->set_id(static_cast<int32_t>(number));
    else if (opcode == ir::UCALL)
        node->read_ucall(number);
    else if (opcode == ir::SWITCH)
        node->read_switch(number);
    else
        node->read_skip(number);
}

void ReadSession::set_ddnode(ir::NODE* node, uint32_t number) {
    auto* info = ir::node_environment().arena->make<ir::DDINFO>();
    info->node_number = static_cast<uint16_t>(number);
    node->set_dval(info);
}

ReadSession::PayloadProblem ReadSession::set_field(ir::NODE* node, const TreeNode& n) {
    if (n.byte != 1)
        return PayloadProblem::field_kind;
    ir::TYPE* container = nullptr;
    if (!known_type(n.second, container))
        return PayloadProblem::field_container;
    if (container == nullptr || !container->is_csu() || n.first >= container->fields().size())
        return PayloadProblem::field_member;
    node->read_field(n.byte, container->field_record(n.first), container);
    return PayloadProblem::none;
}

// ---- The reader ----------------------------------------------------------------------

IcodeReader::IcodeReader(FILE* in, std::string name, InputBytes bytes)
    : in_(in), name_(std::move(name)), bytes_(std::move(bytes)) {}

IcodeReader::~IcodeReader() = default;

std::unique_ptr<IcodeReader> IcodeReader::open(FILE* in, const std::string& name,
                                               InputAccess access) {
    const long base = std::ftell(in);
    InputBytes bytes;
    if (!bytes.take(in, access))
        return nullptr;
    std::unique_ptr<IcodeReader> reader(new IcodeReader(in, name, std::move(bytes)));
    reader->stream_ =
        IcodeStream::open(std::string_view(reader->bytes_.data(), reader->bytes_.size()),
                          base > 0 ? static_cast<size_t>(base) : 0);
    if (!reader->stream_)
        return nullptr;
    define_file_opcodes();
    if (reader->stream_->has(PRAGMA_SECTION)) {
        RecordReader records(*reader->stream_, PRAGMA_SECTION);
        while (const Record* record = records.next())
            if (const auto* entry = std::get_if<PragmaEntry>(&record->body))
                reader->pragmas_.push_back(
                    {entry->id, copied(entry->strings), reader->stream_->base() + record->offset});
    }
    return reader;
}

void IcodeReader::read_all(ReaderClient& client) {
    ReadSession session(*this, client);
    for (Section section : {FILENAME_SECTION, TYPE_SECTION, SYMBOL_SECTION, INIT_SECTION})
        session.read_section(section);
    session.read_main_part();
}

void IcodeReader::read_function_at(size_t offset, ReaderClient& client) {
    ReadSession session(*this, client);
    session.read_function_from(offset);
}

void IcodeReader::keep_input_from(const std::string& path) {
    if (!bytes_.mapped_from(path.c_str()))
        return;
    bytes_.keep_in_memory();
    stream_->move_bytes(bytes_.data());
}

void IcodeReader::close() {
    if (in_)
        std::fclose(in_);
    in_ = nullptr;
}

} // namespace vx::icode
