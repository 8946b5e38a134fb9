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
#include "icode/file_header.h"
#include "icode/records.h"
#include "icode/type_signs.h"

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
    // The end mark of a section.
    void end_section();

    // Bytes written so far (the offset of the next record when `out`
    // started empty at the stream base).
    size_t offset() const { return out_.size(); }

private:
    template <class T> void write_flat(const T& record);
    template <class T> void write_flat_as(uint8_t kind, const T& record);
    void write_eht_entry(const EhtEntry& entry);
    void write_tree_node(const TreeNode& node);
    ByteBuffer& begin();
    void finish(uint8_t kind);
    template <class F> void guarded(F&& write);

    std::string& out_;
    ByteBuffer body_;
    int version_;
    bool learning_ = false;
    TypeSigns own_signs_;
    TypeSigns* signs_ = &own_signs_;
};

} // namespace vx::icode
