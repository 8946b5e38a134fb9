#include "icode/reader.h"

#include "icode/format_errors.h"
#include "icode/opcode_table.h"
#include "icode/reader_client_types.h"
#include "ir/int96.h"
#include "ir/symbol_attributes.h"
#include "ir/symbol_type_queries.h"
#include "ir/type.h"
#include "support/arena.h"

#include <cstring>

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

// The stream from the file's current position to its end, in one block.
bool read_rest(FILE* in, std::unique_ptr<char[]>& bytes, size_t& size) {
    long start = std::ftell(in);
    if (start >= 0 && std::fseek(in, 0, SEEK_END) == 0) {
        long end = std::ftell(in);
        if (std::fseek(in, start, SEEK_SET) == 0 && end >= start) {
            size = static_cast<size_t>(end - start);
            bytes.reset(new char[size + 1]);
            return std::fread(bytes.get(), 1, size, in) == size;
        }
    }
    std::string all; // not seekable: read it in pieces
    char piece[1 << 15];
    size_t count;
    while ((count = std::fread(piece, 1, sizeof piece, in)) > 0)
        all.append(piece, count);
    size = all.size();
    bytes.reset(new char[size + 1]);
    std::memcpy(bytes.get(), all.data(), size);
    return !std::ferror(in);
}

std::vector<std::string> copied(std::span<const std::string_view> strings) {
    return std::vector<std::string>(strings.begin(), strings.end());
}

} // namespace

// ---- One pass over records, with the client --------------------------------------

class ReadSession {
public:
    ReadSession(IcodeReader& reader, ReaderClient& client)
        : reader_(reader), client_(client), stream_(*reader.stream_) {}

    void read_section(Section section);
    void read_main_part();
    void read_function_from(size_t offset);

private:
    struct OpenNode {
        ir::NODE* node;
        uint8_t filled;
        uint8_t needed;
    };

    [[noreturn]] void fail(const Record& record, const char* what) const;
    void skim_function(RecordReader& records, const Record& begin_record);
    void reread_file_level_record(RecordReader& records, size_t offset);
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
    ir::Symbol* symbol(uint32_t level, uint32_t index, const Record& record) const;
    ir::Symbol& global_symbol(uint32_t index, const Record& record) const;

    ir::NODE* build_tree(Tree tree, const Record& record);
    ir::NODE* make_node(const TreeNode& node, const Record& record);
    void read_payload(ir::NODE* node, const TreeNode& file_node, const Record& record);
    void read_field(ir::NODE* node, const TreeNode& file_node, const Record& record);

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
    const Record* last = nullptr;
    while (const Record* record = records.next()) {
        if (record->kind == KIND_FUNCTION_BEGIN && !second_form_ &&
            client_.defers_function_bodies()) {
            skim_function(records, *record);
            continue;
        }
        dispatch(*record);
        last = record;
    }
    if (nesting_ != 0)
        fail(*last, "the main part ends inside a function");
    finish_types();
}

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
    records.seek(offset);
    const Record* record = records.next();
    if (record == nullptr || record->kind != KIND_FUNCTION_BEGIN)
        fail_record(stream_.base() + offset, "no function begins at offset 0x%lx",
                    static_cast<unsigned long>(offset));
    dispatch(*record);
    while (nesting_ != 0 && (record = records.next()) != nullptr)
        dispatch(*record);
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
        client_.statement(where, build_tree(statement.tree, record));
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
}

void ReadSession::leave_function(const Record& record, const FunctionEnd& end) {
    if (nesting_ != 2)
        fail(record, nesting_ == 1 ? "a function ends before the end of its parameters (I_EA)"
                                   : "a function ends inside a block");
    nesting_ = 0;
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

ir::TYPE* ReadSession::type(uint32_t number) const {
    const auto& dense = reader_.dense_types_;
    if (number < dense.size() && dense[number] != nullptr)
        return dense[number];
    return reader_.types_.resolve(number);
}

// ---- Symbols and positions ---------------------------------------------------------

ir::Symbol* ReadSession::symbol(uint32_t level, uint32_t index, const Record& record) const {
    constexpr uint32_t kNoSymbol = 4294967295u;
    if (level == kNoSymbol)
        return nullptr;
    ir::Symbol* found = level == 0 ? ir::symbol_at(nullptr, 0, index)
                                   : ir::symbol_at(ir::function_being_read(), 1, index);
    if (found == nullptr)
        fail_record(stream_.base() + record.offset,
                    "a tree names symbol %u of level %u, which is not declared", index, level);
    return found;
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

// Nodes come in preorder.  A node whose operands are all built is finished
// by the client (children first) and put in its operator's next slot, so
// neither the depth nor the length of a tree costs stack.
ir::NODE* ReadSession::build_tree(Tree tree, const Record& record) {
    open_.clear();
    ir::NODE* root = nullptr;
    for (const TreeNode& file_node : tree) {
        ir::NODE* node = make_node(file_node, record);
        const uint8_t needed = file_opcode(file_node.opcode).operand_count;
        if (needed != 0) {
            open_.push_back({node, 0, needed});
            continue;
        }
        ir::NODE* done = client_.finish_node(node);
        for (;;) {
            if (open_.empty()) {
                root = done;
                break;
            }
            OpenNode& parent = open_.back();
            (parent.filled == 0 ? parent.node->left : parent.node->right) = done;
            if (++parent.filled < parent.needed)
                break;
            ir::NODE* complete = parent.node;
            open_.pop_back();
            done = client_.finish_node(complete);
        }
    }
    return root;
}

ir::NODE* ReadSession::make_node(const TreeNode& file_node, const Record& record) {
    ir::NODE* node =
        client_.make_node(static_cast<ir::Opcode>(file_node.opcode), type(file_node.type));
    read_payload(node, file_node, record);
    return node;
}

void ReadSession::read_payload(ir::NODE* node, const TreeNode& n, const Record& record) {
    switch (payload_kind(n.opcode)) {
    case Payload::none:
        return;
    case Payload::label:
        node->read_label(n.first);
        return;
    case Payload::symbol:
        node->read_name(symbol(n.first, n.second, record));
        return;
    case Payload::counted:
        node->read_scon(reinterpret_cast<const uint8_t*>(n.text.data()),
                        static_cast<uint32_t>(n.text.size()));
        return;
    case Payload::integer:
        node->read_icon(n.first);
        return;
    case Payload::hex_float: {
        const std::string text(n.text);
        if (!ir::FconValue::parse(text.c_str()))
            fail(record, "an FCON holds text that is not a floating constant");
        node->read_fcon(text.c_str());
        return;
    }
    case Payload::decimal: {
        const std::string text(n.text);
        if (!ir::Int96::parse_decimal(text))
            fail(record, "an LCON holds text that is not a decimal number");
        node->read_lcon(text.c_str());
        return;
    }
    case Payload::field:
        read_field(node, n, record);
        return;
    case Payload::number:
        if (n.opcode == ir::EPVAL)
            node->set_id(static_cast<int32_t>(n.first));
        else if (n.opcode == ir::UCALL)
            node->read_ucall(n.first);
        else if (n.opcode == ir::SWITCH)
            node->read_switch(n.first);
        else
            node->read_skip(n.first);
        return;
    case Payload::call:
        node->read_call(n.first, n.second);
        return;
    case Payload::ddnode: {
        auto* info = ir::node_environment().arena->make<ir::DDINFO>();
        info->node_number = static_cast<uint16_t>(n.first);
        node->set_dval(info);
        return;
    }
    case Payload::intrinsic:
        node->set_intrinsic_name(n.text);
        return;
    case Payload::vreg:
        node->read_vreg(static_cast<int32_t>(n.first));
        return;
    }
}

void ReadSession::read_field(ir::NODE* node, const TreeNode& n, const Record& record) {
    if (n.byte != 1)
        fail(record, "a FIELD node of a kind other than 1");
    ir::TYPE* container = type(n.second);
    if (container == nullptr || !container->is_csu() || n.first >= container->fields().size())
        fail(record, "a FIELD node names a member its container type does not have");
    node->read_field(n.byte, container->field_record(n.first), container);
}

// ---- The reader ----------------------------------------------------------------------

IcodeReader::IcodeReader(FILE* in, std::string name, std::unique_ptr<char[]> bytes, size_t size)
    : in_(in), name_(std::move(name)), bytes_(std::move(bytes)), size_(size) {}

IcodeReader::~IcodeReader() = default;

std::unique_ptr<IcodeReader> IcodeReader::open(FILE* in, const std::string& name) {
    const long base = std::ftell(in);
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
    if (!read_rest(in, bytes, size))
        return nullptr;
    std::unique_ptr<IcodeReader> reader(new IcodeReader(in, name, std::move(bytes), size));
    reader->stream_ = IcodeStream::open(std::string_view(reader->bytes_.get(), size),
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

void IcodeReader::close() {
    if (in_)
        std::fclose(in_);
    in_ = nullptr;
}

} // namespace vx::icode
