// Writing I-code records.
//
//   std::string out;
//   RecordWriter writer(out);                  // version -73
//   writer.write(FunctionBegin{pos, 3});
//   writer.write(Statement{pos, tree});        // the statement and its tree
//   writer.end_section();                      // 0xFF
//
// Every record struct of records.h can be written; a record is written with
// the records that belong to it (attribute lists, trees, exception-table
// entries, initializer values).  Records are appended to the caller's
// string, which the caller may drain to a file at any point between
// records.  The file header and the section offsets are the caller's:
// encode_file_header (file_header.h) writes the header.
#pragma once

#include "icode/byte_cursor.h"
#include "icode/field_codec.h"
#include "icode/file_header.h"
#include "icode/format_errors.h"
#include "icode/records.h"
#include "icode/type_signs.h"

#include <new>
#include <string>

namespace vx::icode {

class RecordWriter {
public:
    explicit RecordWriter(std::string& out, int version = kNewestVersion)
        : out_(out), version_(version) {}

    int version() const { return version_; }
    void set_version(int version) { version_ = version; }

    // The signedness of ICON and enumerator values follows these types.
    // While learning is on, every type record written teaches them (turn it
    // on for the type section, which must be written before the trees that
    // depend on it are encoded).
    TypeSigns& type_signs() { return *signs_; }
    void set_learning_types(bool on) { learning_ = on; }
    // Follows another table (a stream's, to re-encode what it decoded).
    void use_type_signs(TypeSigns& signs) { signs_ = &signs; }

    void write(const RecordBody& body);
    void write(const FunctionBegin& record);
    void write(const FunctionEnd& record);
    void write(const BlockBegin& record);
    void write(const BlockEnd& record);
    void write(const ParamsEnd& record);
    void write(const LocalsEnd& record);
    void write(const OpaqueRecord& record);
    void write(const SymbolDecl& record);
    void write(const AsmText& record);
    void write(const LoopInfo& record);
    void write(const LabelDef& record);
    void write(const FiveNumbers& record);
    void write(const Statement& record);
    void write(const Text& record);
    void write(const DepEdge& record);
    void write(const DepVector& record);
    void write(const ByteMark& record);
    void write(const ExceptionTable& record);
    void write(const AttributeList& record);
    void write(const Initializer& record);
    void write(const Annotation& record);
    void write(const PragmaEntry& record);
    void write(const TypeRecord& record);
    void write(const FunctionBegin2& record);
    void write(const InLoop& record);
    void write(const FunctionEnd2& record);
    void write(const FileName& record);
    void write(const UnknownRecord& record);

    // The kind-101 records of one whole tree (preorder, complete, opcodes
    // up to 163).
    void write_tree(Tree tree);
    // A statement record without its tree, for a caller that encodes the
    // tree from its own nodes: the tree's records follow, one call of
    // write_tree_node per node in preorder.
    void write_statement_head(const Statement& record);
    // One tree-node record (opcode up to 163).  The caller keeps the trees
    // whole and in preorder, and calls end_tree() after each.
    void write_tree_node(const TreeNode& node);
    // The same for a caller that encodes the record itself: room for one
    // record whose body takes at most kShortTreeNodeBody bytes, the body
    // to be written from room + 2 on; finish_tree_node() then frames it.
    static constexpr size_t kShortTreeNodeBody = 17 + 6 + 96;
    char* tree_node_room();
    void finish_tree_node(char* room, const char* body_end) {
        room[0] = static_cast<char>(KIND_TREE_NODE);
        room[1] = static_cast<char>(body_end - (room + 2));
        tree_.commit(body_end);
    }
    // For a caller that encodes many such records in a row: room for at
    // least `count` more bytes of the tree, from `at` to `end`;
    // commit_tree_room() keeps what the caller wrote up to where it got.
    // Any other call on the writer first needs that commit.
    struct TreeRoom {
        char* at;
        char* end;
    };
    TreeRoom tree_room(size_t count);
    void commit_tree_room(const char* end) { tree_.commit(end); }
    // Ends the tree written since the last end_tree(): its records go to
    // `out`, or, while trees are gathered, once the trees gathered fill
    // kGatheredTreeBytes.
    void end_tree() {
        if (!gathering_trees_ || tree_.size() >= kGatheredTreeBytes)
            hand_over_trees();
    }
    // Whether whole trees may wait before they go to `out`: handing each
    // tree over by itself costs more than its bytes.  The trees waiting go
    // before any other record, before the end of a section and at
    // hand_over_trees(); `out` is complete only after one of them.
    void gather_trees(bool on) {
        gathering_trees_ = on;
        hand_over_trees();
    }
    static constexpr size_t kGatheredTreeBytes = 4096;
    // Appends the trees written so far to `out`.
    void hand_over_trees();
    // The end mark of a section.
    void end_section();

    // Bytes written so far (the offset of the next record when `out`
    // started empty at the stream base).
    size_t offset() const { return out_.size() + tree_.size(); }

private:
    template <class T> void write_flat(const T& record);
    template <class T> void write_flat_as(uint8_t kind, const T& record);
    void write_eht_entry(const EhtEntry& entry);
    void write_long_tree_node(const TreeNode& node);
    ByteBuffer& begin();
    void finish(uint8_t kind);
    template <class F> void guarded(F&& write);

    std::string& out_;
    ByteBuffer body_;
    // The records of the tree being written (and, while trees are
    // gathered, of the trees before it), handed to `out_` together.
    ByteBuffer tree_;
    int version_;
    bool learning_ = false;
    bool gathering_trees_ = false;
    TypeSigns own_signs_;
    TypeSigns* signs_ = &own_signs_;
};

// Most tree nodes have no text, or a short one: such a record is encoded
// straight into the tree's buffer (its length then takes one byte), and the
// tree goes to the output in one piece.
inline char* RecordWriter::tree_node_room() {
    try {
        return tree_.room(2 + kShortTreeNodeBody);
    } catch (const std::bad_alloc&) {
        fail_buffer_growth();
    }
}

inline RecordWriter::TreeRoom RecordWriter::tree_room(size_t count) {
    try {
        char* at = tree_.room(count);
        return {at, tree_.room_end()};
    } catch (const std::bad_alloc&) {
        fail_buffer_growth();
    }
}

inline void RecordWriter::write_tree_node(const TreeNode& node) {
    constexpr size_t kLongestShortText = 96;
    if (node.text.size() > kLongestShortText) {
        write_long_tree_node(node);
        return;
    }
    char* record = tree_node_room();
    RoomEncoder body(record + 2, *signs_);
    body.u8(Key{}, node.opcode);
    body.typeref(Key{}, node.type);
    payload_fields(body, node);
    finish_tree_node(record, body.end());
}

} // namespace vx::icode
