#include "icode/record_writer.h"

#include "icode/byte_cursor.h"
#include "icode/field_codec.h"
#include "icode/format_errors.h"
#include "icode/opcode_table.h"
#include "support/check.h"

#include <new>

namespace vx::icode {

// A record's body is encoded after room for its kind and length, which are
// then put right before it, so that the record goes out in one piece.
constexpr size_t kRoomForKindAndLength = 6;

ByteBuffer& RecordWriter::begin() {
    static constexpr char kRoom[kRoomForKindAndLength] = {};
    body_.clear();
    body_.append(kRoom, kRoomForKindAndLength);
    return body_;
}

void RecordWriter::finish(uint8_t kind) {
    hand_over_trees();
    size_t length = body_.size() - kRoomForKindAndLength;
    char* body = body_.data() + kRoomForKindAndLength;
    size_t length_bytes = 1;
    for (size_t rest = length >> 7; rest != 0; rest >>= 7)
        ++length_bytes;
    char* start = body - length_bytes - 1;
    start[0] = static_cast<char>(kind);
    for (size_t i = 0, rest = length; i < length_bytes; ++i, rest >>= 7)
        start[1 + i] = static_cast<char>((rest & 0x7F) | (i + 1 < length_bytes ? 0x80 : 0));
    out_.append(start, static_cast<size_t>(body_.data() + body_.size() - start));
}

// Growing the output is the only thing that can fail while writing.
template <class F> void RecordWriter::guarded(F&& write) {
    try {
        write();
    } catch (const std::bad_alloc&) {
        fail_buffer_growth();
    }
}

template <class T> void RecordWriter::write_flat_as(uint8_t kind, const T& record) {
    guarded([&] {
        FieldEncoder encoder(begin(), version_, *signs_);
        fields(encoder, record);
        finish(kind);
    });
}

template <class T> void RecordWriter::write_flat(const T& record) {
    write_flat_as(T::kKind, record);
}

void RecordWriter::write(const FunctionBegin& record) {
    write_flat(record);
}

void RecordWriter::write(const FunctionEnd& record) {
    write_flat(record);
}

void RecordWriter::write(const BlockBegin& record) {
    write_flat(record);
}

void RecordWriter::write(const BlockEnd& record) {
    write_flat(record);
}

void RecordWriter::write(const ParamsEnd& record) {
    write_flat(record);
}

void RecordWriter::write(const LocalsEnd& record) {
    write_flat(record);
}

void RecordWriter::write(const OpaqueRecord& record) {
    write_flat(record);
}

void RecordWriter::write(const AsmText& record) {
    write_flat(record);
}

void RecordWriter::write(const LoopInfo& record) {
    write_flat(record);
}

void RecordWriter::write(const LabelDef& record) {
    write_flat(record);
}

void RecordWriter::write(const FiveNumbers& record) {
    write_flat(record);
}

void RecordWriter::write(const Text& record) {
    write_flat(record);
}

void RecordWriter::write(const DepEdge& record) {
    write_flat(record);
}

void RecordWriter::write(const DepVector& record) {
    write_flat(record);
}

void RecordWriter::write(const ByteMark& record) {
    write_flat(record);
}

void RecordWriter::write(const AttributeList& record) {
    write_flat(record);
}

void RecordWriter::write(const Annotation& record) {
    write_flat(record);
}

void RecordWriter::write(const PragmaEntry& record) {
    write_flat(record);
}

void RecordWriter::write(const FunctionBegin2& record) {
    write_flat(record);
}

void RecordWriter::write(const InLoop& record) {
    write_flat(record);
}

void RecordWriter::write(const FunctionEnd2& record) {
    write_flat(record);
}

void RecordWriter::write(const FileName& record) {
    write_flat(record);
}

void RecordWriter::write(const RecordBody& body) {
    std::visit([this](const auto& record) { write(record); }, body);
}

void RecordWriter::write(const SymbolDecl& record) {
    write_flat(record);
    for (const AttributeList& list : record.attributes)
        write_flat(list);
}

void RecordWriter::write(const Statement& record) {
    write_flat(record);
    write_tree(record.tree);
}

void RecordWriter::write(const ExceptionTable& record) {
    write_flat(record);
    for (const EhtEntry& entry : record.entries)
        write_eht_entry(entry);
}

void RecordWriter::write_eht_entry(const EhtEntry& entry) {
    write_flat_as(KIND_EHT_ENTRY, entry);
    if (entry.kind == kEhtCleanupEntry) {
        write(Statement{entry.cleanup_pos, entry.cleanup});
    } else if (entry.kind == kEhtNamesEntry) {
        VX_CHECK(entry.count == entry.names.size());
        guarded([&] {
            FieldEncoder encoder(begin(), version_, *signs_);
            for (const EhtName& name : entry.names)
                fields(encoder, name);
            finish(KIND_EHT_NAMES);
        });
    }
}

void RecordWriter::write(const Initializer& record) {
    VX_CHECK(!record.values.empty() && record.values.back().size() == 1 &&
             record.values.back().front().opcode == kEndInitOpcode);
    write_flat(record);
    for (Tree value : record.values)
        write_tree(value);
}

void RecordWriter::write(const TypeRecord& record) {
    write_flat(record);
    if (learning_)
        signs_->learn(record);
}

void RecordWriter::write(const UnknownRecord& record) {
    guarded([&] {
        put_bytes(begin(), record.body);
        finish(record.kind);
    });
}

// Written with the tree's records, as a tree node is.
void RecordWriter::write_statement_head(const Statement& record) {
    char* room = nullptr;
    try {
        room = tree_.room(2 + 15);
    } catch (const std::bad_alloc&) {
        fail_buffer_growth();
    }
    RoomEncoder body(room + 2, *signs_);
    fields(body, record);
    room[0] = static_cast<char>(KIND_STATEMENT);
    room[1] = static_cast<char>(body.end() - (room + 2));
    tree_.commit(body.end());
}

void RecordWriter::write_tree(Tree tree) {
    size_t pending = 1;
    for (const TreeNode& node : tree) {
        VX_CHECK(pending > 0 && node.opcode <= kLastFileOpcode);
        write_tree_node(node);
        pending = pending - 1 + file_opcode(node.opcode).operand_count;
    }
    VX_CHECK(pending == 0);
    end_tree();
}

void RecordWriter::hand_over_trees() {
    if (tree_.size() == 0)
        return;
    try {
        out_.append(tree_.data(), tree_.size());
    } catch (const std::bad_alloc&) {
        fail_buffer_growth();
    }
    tree_.clear();
}

void RecordWriter::write_long_tree_node(const TreeNode& node) {
    guarded([&] {
        ByteBuffer& body = begin();
        put_u8(body, node.opcode);
        put_uleb(body, node.type);
        FieldEncoder encoder(body, version_, *signs_);
        payload_fields(encoder, node);
        finish(KIND_TREE_NODE);
    });
}

void RecordWriter::end_section() {
    hand_over_trees();
    guarded([&] { put_u8(out_, KIND_END_OF_SECTION); });
}

} // namespace vx::icode
