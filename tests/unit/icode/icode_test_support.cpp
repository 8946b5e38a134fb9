#include "unit/icode/icode_test_support.h"

#include "icode/opcode_table.h"
#include "icode/record_reader.h"
#include "icode/record_writer.h"
#include "icode/text/disassembler.h"
#include "support/termination.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>

namespace vx::icode::testing {

std::string build_stream(const StreamParts& parts) {
    FileHeader header;
    header.version = parts.version;
    header.name = parts.name;
    std::string body = parts.main + '\xFF';
    size_t at = encode_file_header(header).size() + body.size();
    for (const auto& [section, records] : parts.sections) {
        header.section_offsets[section] = static_cast<uint32_t>(at);
        body += records + '\xFF';
        at += records.size() + 1;
    }
    return encode_file_header(header) + body;
}

Outcome run_guarded(const std::function<void()>& action) {
    Outcome outcome;
    StopHandler previous = set_stop_handler(throwing_stop_handler);
    ::testing::internal::CaptureStderr();
    try {
        action();
    } catch (const RunStopped& stop) {
        outcome.stopped = true;
        outcome.status = stop.status;
    }
    outcome.err = ::testing::internal::GetCapturedStderr();
    set_stop_handler(previous);
    return outcome;
}

size_t read_everything(const std::string& bytes) {
    auto stream = IcodeStream::open(bytes);
    if (!stream)
        throw std::runtime_error("bad header");
    size_t count = 0;
    std::string again;
    for (Section section : {FILENAME_SECTION, TYPE_SECTION, SYMBOL_SECTION, INIT_SECTION,
                            PRAGMA_SECTION, MAIN_PART}) {
        if (!stream->has(section))
            continue;
        RecordReader reader(*stream, section);
        while (const Record* record = reader.next()) {
            again.clear();
            RecordWriter writer(again, stream->version());
            writer.use_type_signs(stream->type_signs());
            writer.write(record->body);
            EXPECT_EQ(again, bytes.substr(record->offset, record->end - record->offset))
                << "record of kind " << int(record->kind) << " at " << record->offset;
            ++count;
        }
    }
    return count;
}

std::string dis(const std::string& bytes) {
    auto stream = IcodeStream::open(bytes);
    std::string text;
    std::string error;
    if (!stream || !text::disassemble(*stream, text, error))
        throw std::runtime_error("cannot disassemble: " + error);
    return text;
}

namespace {

// Builds a random stream record by record.
class Generator {
public:
    Generator(uint32_t seed, int version) : random_(seed), version_(version) {}

    std::string run();

private:
    uint32_t number(uint32_t limit) {
        return std::uniform_int_distribution<uint32_t>(0, limit)(random_);
    }
    uint32_t any32() { return static_cast<uint32_t>(random_()); }
    bool chance(int percent) { return number(99) < static_cast<uint32_t>(percent); }
    uint32_t wide() { return chance(50) ? number(200) : any32(); }
    int32_t signed_wide() { return static_cast<int32_t>(wide()); }
    uint8_t byte() { return static_cast<uint8_t>(number(255)); }
    SourcePos pos() {
        return chance(30) ? SourcePos{} : SourcePos{1 + number(3), wide(), number(80)};
    }
    uint32_t type() { return types_ == 0 || chance(10) ? 0 : 1 + number(types_ - 1); }
    std::string_view text(bool allow_nul = false);
    std::span<const std::string_view> texts();
    Bytes bytes(size_t max);
    Tree tree(int depth = 0);
    void subtree(std::vector<TreeNode>& nodes, int depth);
    TreeNode node(uint8_t opcode);

    void types(RecordWriter& out);
    TypeBody type_body(uint8_t code);
    void type_list(RecordWriter& out, uint32_t number, uint8_t list, uint8_t code, int count);
    void symbols(RecordWriter& out);
    SymbolDecl symbol();
    void main_part(RecordWriter& out);
    void function(RecordWriter& out);
    void initializers(RecordWriter& out);
    ExceptionTable exception_table();

    std::mt19937 random_;
    int version_;
    uint32_t types_ = 0;
    std::deque<std::string> strings_;
    std::deque<std::vector<std::string_view>> lists_;
    std::deque<std::vector<TreeNode>> trees_;
    std::deque<std::vector<AttributeList>> attributes_;
    std::deque<std::vector<EhtEntry>> entries_;
    std::deque<std::vector<EhtName>> names_;
    std::deque<std::vector<Tree>> values_;
};

std::string_view Generator::text(bool allow_nul) {
    static constexpr char kAlphabet[] = "abcXYZ_09 $.\"\\\n\t\x01\x7f\x80\xff";
    std::string value;
    for (uint32_t i = number(8); i > 0; --i)
        value.push_back(kAlphabet[number(sizeof kAlphabet - 2)]);
    if (allow_nul && chance(30))
        value.push_back('\0');
    return strings_.emplace_back(std::move(value));
}

std::span<const std::string_view> Generator::texts() {
    auto& list = lists_.emplace_back();
    for (uint32_t i = number(3); i > 0; --i)
        list.push_back(text());
    return list;
}

Bytes Generator::bytes(size_t max) {
    std::string value;
    for (size_t i = number(static_cast<uint32_t>(max)); i > 0; --i)
        value.push_back(static_cast<char>(byte()));
    return strings_.emplace_back(std::move(value));
}

TreeNode Generator::node(uint8_t opcode) {
    TreeNode n;
    n.opcode = opcode;
    n.type = type();
    n.first = wide();
    n.second = wide();
    n.byte = byte();
    switch (payload_kind(opcode)) {
    case Payload::counted:
        n.text = text(true);
        break;
    case Payload::hex_float:
    case Payload::decimal:
    case Payload::intrinsic:
        n.text = text();
        break;
    default:
        break;
    }
    return n;
}

void Generator::subtree(std::vector<TreeNode>& nodes, int depth) {
    uint8_t opcode;
    do
        opcode = static_cast<uint8_t>(number(kLastFileOpcode));
    while (depth > 4 && file_opcode(opcode).operand_count > 0);
    if (opcode == kEndInitOpcode)
        opcode = 0;
    nodes.push_back(node(opcode));
    for (int i = 0; i < file_opcode(opcode).operand_count; ++i)
        subtree(nodes, depth + 1);
}

Tree Generator::tree(int depth) {
    auto& nodes = trees_.emplace_back();
    subtree(nodes, depth);
    return nodes;
}

TypeBody Generator::type_body(uint8_t code) {
    TypeBody body = type_body_for(code);
    std::visit(
        [&](auto& b) {
            using B = std::decay_t<decltype(b)>;
            if constexpr (std::is_same_v<B, IntType>) {
                b = {byte(), wide(), wide(), byte(), byte()};
            } else if constexpr (std::is_same_v<B, FloatType>) {
                b = {wide(), wide()};
            } else if constexpr (std::is_same_v<B, FixedType>) {
                b = {byte(), byte(), type(), wide(), wide()};
            } else if constexpr (std::is_same_v<B, TypedefType>) {
                b = {text(), type(), wide(), wide(), byte(), byte(), pos()};
            } else if constexpr (std::is_same_v<B, PointerType>) {
                b = {type(), chance(20) ? 22u : wide(), wide()};
            } else if constexpr (std::is_same_v<B, QualifiedType>) {
                b = {type(), number(255), wide(), wide()};
            } else if constexpr (std::is_same_v<B, ArrayType>) {
                b = {type(), wide(), wide(), wide(), byte(), byte(), 0, 0};
                if (array_has_vector_byte(version_))
                    b.is_vector = byte();
                if (array_has_extra_byte(version_))
                    b.extra = byte();
            } else if constexpr (std::is_same_v<B, MemberPointerType>) {
                b = {type(), type(), wide(), wide()};
            } else if constexpr (std::is_same_v<B, FunctionType>) {
                b = {type(), {byte(), byte(), byte(), byte()}};
            } else if constexpr (std::is_same_v<B, EnumType>) {
                b = {text(), wide(), wide(), type(), 0, pos()};
                if (has_type_flag_byte(version_))
                    b.flags = byte();
            } else if constexpr (std::is_same_v<B, ClassType>) {
                b.category = chance(80) ? static_cast<uint8_t>(number(2)) : 255;
                b.tag = text();
                b.complete = byte();
                b.size = wide();
                b.alignment = wide();
                if (code == TC_CLASS_EXTRA) {
                    b.extra_number = wide();
                    for (uint8_t& flag : b.extra_flags)
                        flag = byte();
                } else {
                    b.class_flag = byte();
                }
                if (class_has_special_byte(version_))
                    b.special = byte();
                if (has_type_flag_byte(version_))
                    b.flags = byte();
                b.pos = pos();
            } else if constexpr (std::is_same_v<B, ComplexType>) {
                b = {wide(), wide(), type()};
            } else if constexpr (std::is_same_v<B, UnknownType>) {
                b.rest = bytes(6);
            }
        },
        body);
    return body;
}

// A list of `count` entries of `code` for type `number`, between marks.
void Generator::type_list(RecordWriter& out, uint32_t number, uint8_t list, uint8_t code,
                          int count) {
    out.write(TypeRecord{number, TC_LIST_BEGIN, ListMark{list}});
    for (int i = 0; i < count; ++i) {
        TypeBody entry = type_body_for(code);
        std::visit(
            [&](auto& b) {
                using B = std::decay_t<decltype(b)>;
                if constexpr (std::is_same_v<B, ParamEntry>) {
                    b = {type(), byte(), wide(), text()};
                } else if constexpr (std::is_same_v<B, EnumeratorEntry>) {
                    b = {text(), wide(), pos()};
                } else if constexpr (std::is_same_v<B, FieldEntry>) {
                    b = {wide(), text(), type(), byte(), signed_wide(), 0,
                         wide(), byte(), byte(), 0,      pos()};
                    if (field_has_fti_byte(version_))
                        b.fti = byte();
                    if (!field_has_old_order(version_))
                        b.flag3 = byte();
                } else if constexpr (std::is_same_v<B, BaseEntry>) {
                    b = {type(), signed_wide(), byte(), byte()};
                } else if constexpr (std::is_same_v<B, List3Entry>) {
                    b = {wide(), byte()};
                } else if constexpr (std::is_same_v<B, NamedTypeEntry>) {
                    b = {text(), type(), code == TC_LIST8 ? byte() : uint8_t{0}};
                } else if constexpr (std::is_same_v<B, TypeEntry>) {
                    b = {type()};
                } else if constexpr (std::is_same_v<B, List9Entry>) {
                    b = {text(), type(), byte(), signed_wide(), {byte(), byte(), byte(), byte()}};
                }
            },
            entry);
        out.write(TypeRecord{number, code, entry});
    }
    out.write(TypeRecord{number, TC_LIST_END, ListMark{list}});
}

void Generator::types(RecordWriter& out) {
    static constexpr uint8_t kDefining[] = {
        TC_BOOL,      TC_CHAR,        TC_UCHAR,   TC_WCHAR,          TC_SHORT,    TC_USHORT,
        TC_INT,       TC_UINT,        TC_LONG,    TC_ULONG,          TC_LLONG,    TC_ULLONG,
        TC_FLOAT,     TC_DOUBLE,      TC_LDOUBLE, TC_FIXED,          TC_TYPEDEF,  TC_POINTER,
        TC_REFERENCE, TC_QUALIFIED,   TC_ARRAY,   TC_MEMBER_POINTER, TC_FUNCTION, TC_ENUM,
        TC_CLASS,     TC_CLASS_EXTRA, TC_COMPLEX, TC_VOID,           48};
    for (uint8_t code : kDefining) {
        uint32_t number = ++types_;
        out.write(TypeRecord{number, code, type_body(code)});
        if (code == TC_FUNCTION)
            type_list(out, number, 0, TC_PARAM, static_cast<int>(this->number(3)));
        if (code == TC_ENUM)
            type_list(out, number, 1, TC_ENUMERATOR, 3);
        if (code == TC_CLASS || code == TC_CLASS_EXTRA) {
            type_list(out, number, 7, TC_FIELD, 2);
            type_list(out, number, 2, TC_BASE, 1);
            static constexpr uint8_t kOthers[] = {TC_LIST3, TC_LIST4, TC_LIST5,
                                                  TC_LIST6, TC_LIST8, TC_LIST9};
            for (uint8_t i = 0; i < 6; ++i)
                type_list(out, number, static_cast<uint8_t>(i < 4 ? 3 + i : 4 + i), kOthers[i], 1);
        }
    }
}

SymbolDecl Generator::symbol() {
    auto& lists = attributes_.emplace_back();
    for (uint32_t i = number(2); i > 0; --i)
        lists.push_back(AttributeList{wide(), texts()});
    SymbolDecl s{text(),
                 chance(20) ? 22u : wide(),
                 wide(),
                 byte(),
                 static_cast<int32_t>(number(65535)) - 32768,
                 type(),
                 type(),
                 wide(),
                 wide(),
                 wide(),
                 pos(),
                 lists};
    return s;
}

void Generator::symbols(RecordWriter& out) {
    for (uint32_t i = number(4); i > 0; --i)
        out.write(symbol());
}

ExceptionTable Generator::exception_table() {
    auto& entries = entries_.emplace_back();
    for (uint32_t kind = 0; kind < 4; ++kind) {
        EhtEntry entry{wide(), kind, wide(), wide(), {}, {}, {}};
        if (kind == kEhtCleanupEntry) {
            entry.cleanup_pos = pos();
            entry.cleanup = tree();
        } else if (kind == kEhtNamesEntry) {
            auto& names = names_.emplace_back();
            for (uint32_t i = number(3); i > 0; --i)
                names.push_back(EhtName{text(), wide(), byte()});
            entry.names = names;
            entry.count = static_cast<uint32_t>(names.size());
        }
        entries.push_back(entry);
    }
    return ExceptionTable{entries};
}

void Generator::function(RecordWriter& out) {
    bool second_form = chance(30);
    if (second_form)
        out.write(FunctionBegin2{wide(), signed_wide(), byte(), wide(), pos()});
    else
        out.write(FunctionBegin{pos(), wide()});
    out.write(symbol());
    out.write(ParamsEnd{pos()});
    out.write(BlockBegin{pos()});
    out.write(symbol());
    out.write(LocalsEnd{pos()});
    out.write(ByteMark{76});
    out.write(Text{"*"});
    out.write(LoopInfo{wide(), wide(), wide(), wide(), wide(),
                       static_cast<int32_t>(number(65535)) - 32768});
    out.write(InLoop{wide(), signed_wide(), signed_wide(), byte()});
    out.write(LabelDef{wide()});
    for (uint32_t i = 1 + number(4); i > 0; --i)
        out.write(Statement{pos(), tree()});
    out.write(AsmText{text(), pos()});
    out.write(OpaqueRecord{pos(), bytes(5)});
    out.write(FiveNumbers{{wide(), wide(), wide(), wide(), wide()}});
    out.write(DepVector{wide(), byte(), Bytes(bytes(4)).substr(0, 0)});
    out.write(DepVector{wide(), byte(), strings_.emplace_back("\x01\xff\x00\x05", 4)});
    out.write(DepEdge{wide(), wide(), wide()});
    out.write(Annotation{wide(), 0, wide(), wide(), type(), signed_wide(), wide(), {}});
    out.write(Annotation{wide(), 1, wide(), wide(), type(), -1, 0, {}});
    out.write(Annotation{wide(), 2, wide(), 0, 0, 0, 0, {}});
    out.write(Annotation{wide(), static_cast<uint8_t>(3 + number(200)), 0, 0, 0, 0, 0, bytes(4)});
    out.write(AttributeList{wide(), texts()});
    out.write(exception_table());
    if (chance(30))
        out.write(UnknownRecord{77, bytes(4)});
    out.write(BlockEnd{pos()});
    if (second_form)
        out.write(FunctionEnd2{pos()});
    else
        out.write(FunctionEnd{pos()});
}

void Generator::main_part(RecordWriter& out) {
    out.write(AsmText{text(), pos()});
    for (uint32_t i = 1 + number(2); i > 0; --i)
        function(out);
    out.write(PragmaEntry{wide(), texts()});
    out.write(FileName{text()});
}

void Generator::initializers(RecordWriter& out) {
    for (uint32_t i = 1 + number(2); i > 0; --i) {
        auto& values = values_.emplace_back();
        for (uint32_t j = number(3); j > 0; --j)
            values.push_back(tree(2));
        auto& end = trees_.emplace_back();
        end.push_back(node(kEndInitOpcode));
        values.push_back(end);
        out.write(Initializer{wide(), values});
    }
}

std::string Generator::run() {
    std::map<Section, std::string> sections;
    RecordWriter types_out(sections[TYPE_SECTION], version_);
    types_out.set_learning_types(true);
    types(types_out);
    auto writer = [&](std::string& out) {
        RecordWriter w(out, version_);
        w.use_type_signs(types_out.type_signs());
        return w;
    };
    std::string main;
    RecordWriter main_out = writer(main);
    main_part(main_out);
    if (chance(70)) {
        RecordWriter init_out = writer(sections[INIT_SECTION]);
        initializers(init_out);
    }
    if (chance(70)) {
        RecordWriter pragma_out = writer(sections[PRAGMA_SECTION]);
        for (uint32_t i = 1 + number(2); i > 0; --i)
            pragma_out.write(PragmaEntry{wide(), texts()});
    }
    RecordWriter file_out = writer(sections[FILENAME_SECTION]);
    file_out.write(FileName{text()});
    RecordWriter symbol_out = writer(sections[SYMBOL_SECTION]);
    symbols(symbol_out);

    // Lay the sections out in a random order, with a gap now and then.
    FileHeader header;
    header.version = version_;
    header.name = std::string(text());
    header.trailing_word = header_has_trailing_word(version_) ? wide() : 0;
    std::vector<Section> order;
    for (const auto& entry : sections)
        order.push_back(entry.first);
    std::shuffle(order.begin(), order.end(), random_);
    std::string body = main + '\xFF';
    size_t at = encode_file_header(header).size() + body.size();
    for (Section section : order) {
        if (chance(20)) {
            Bytes gap = bytes(5);
            body += gap;
            at += gap.size();
        }
        header.section_offsets[section] = static_cast<uint32_t>(at);
        body += sections[section] + '\xFF';
        at += sections[section].size() + 1;
    }
    if (chance(20))
        body += bytes(3);
    return encode_file_header(header) + body;
}

} // namespace

std::string generate_stream(uint32_t seed, int version) {
    return Generator(seed, version).run();
}

std::string function_text_with(const std::string& body, const std::string& sections) {
    return "icode -73 600 \"t.c\"\nsection main\nfunc 0 @1:1:1\n"
           "sym \"x\" size=16 class=9 type=1 align=16\nendparams @1:2:1\n"
           "sym \"y\" size=16 class=1 type=1 align=16\nendlocals @1:3:1\n" +
           body + "\nendfunc @1:9:1\n" + sections;
}

} // namespace vx::icode::testing
