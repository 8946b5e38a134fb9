// The optimizer's I-code writer: the output stream, its numbering and its
// trailing sections.
//
// The writer writes the header with zero offsets when it is created and
// rewrites it when it is closed.  In between, records go out in the order
// they are written (writer_client.h decides which, function by function).
// The writer numbers what records refer to: a type by its registration
// number (and the type is then written in the type section), a source file
// by its index in the file-name section it collects.  At close it writes
// the pragma, type, file-name and symbol sections.
//
// Version -73 is written whatever the input's version was.
#pragma once

#include "icode/file_header.h"
#include "icode/piece_writer.h"
#include "icode/reader.h"
#include "icode/record_writer.h"
#include "icode/records.h"
#include "ir/type.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vx::ir {
class TYPE;
struct Symbol;
struct SourcePosition;
struct TypeSourcePos;
} // namespace vx::ir

namespace vx::icode {

class IcodeWriter {
public:
    // Where the writer's readable listing goes while tracing, and the
    // information file (each nullptr when there is none).
    using StreamSource = FILE* (*)();

    // Writes to `out` from offset 0 under the header name `name`.  The
    // stream stays owned by the caller until close().  With `cut_first`
    // (for a stream from open_output_file) what the file held is cut off
    // right before the first bytes are written.
    static std::unique_ptr<IcodeWriter> create(FILE* out, const std::string& name,
                                               bool cut_first = false);
    // Opens (or makes) the file `name` for writing without cutting off what
    // it holds, for a writer created with `cut_first`: dropping the pages
    // of a large earlier output takes the kernel a while, and the writer
    // does it on the thread that writes the output, when there is one, so
    // that it overlaps the work.  nullptr (with errno set) when the file
    // cannot be opened, as fopen(name, "wb") would fail.
    static FILE* open_output_file(const std::string& name);
    ~IcodeWriter();

    void set_listing(StreamSource listing) { listing_ = listing; }
    void set_info(StreamSource info) { info_ = info; }
    FILE* listing() const { return listing_ ? listing_() : nullptr; }
    FILE* info() const { return info_ ? info_() : nullptr; }

    // ---- Numbers of the output
    // The type's number (0 for none); the type will be in the type section.
    uint32_t typeref(ir::TYPE* type) {
        if (type == nullptr)
            return 0;
        type = type->final_type();
        if (!type->referenced_mark())
            note_reference(type);
        return type->uid();
    }
    SourcePos position(const ir::SourcePosition& position);
    SourcePos position(const StatementPos& position);
    SourcePos position(const ir::TypeSourcePos& position);

    // ---- Records, in output order
    template <class R> void write(const R& record) {
        records_.write(record);
        drain_if_full();
    }
    void write_tree(Tree tree);
    // A statement whose tree the caller encodes from its own nodes: the
    // statement record, then each node's record in preorder, then
    // end_tree().
    void write_statement_head(const Statement& record) { records_.write_statement_head(record); }
    void write_tree_node(const TreeNode& node) { records_.write_tree_node(node); }
    // A tree-node record encoded by the caller (see RecordWriter).
    char* tree_node_room() { return records_.tree_node_room(); }
    void finish_tree_node(char* room, const char* body_end) {
        records_.finish_tree_node(room, body_end);
    }
    RecordWriter::TreeRoom tree_room(size_t count) { return records_.tree_room(count); }
    void commit_tree_room(const char* end) { records_.commit_tree_room(end); }
    // The signs that the values of integer constants are written with.
    const TypeSigns& type_signs() { return records_.type_signs(); }
    void end_tree() {
        records_.end_tree();
        drain_if_full();
    }
    // A symbol declaration with its attribute lists.
    void write_symbol(const ir::Symbol& symbol);
    // Kind 36 (with its position) or kind 47.
    void write_text(uint8_t kind, std::string_view text, const StatementPos& position);
    // Ends the main part before the first initializer.
    void begin_initializers();
    // Stream offset of the next record.
    size_t offset() const { return flushed_ + records_.offset(); }
    // Hands what is written to the file and flushes it (after each function
    // while tracing, so that the listing and the output stay in step).
    void flush();

    // ---- Sections written at close
    void add_pragma(const PragmaItem& entry) { pragmas_.push_back(entry); }
    // The global symbols of the symbol section, in order; each takes its
    // index in the section as its global index.
    void set_symbol_section(std::vector<ir::Symbol*> symbols);
    const std::vector<ir::Symbol*>& symbol_section() const { return symbols_; }

    // Writes the trailing sections and the final header and closes the
    // stream; with `abort` only closes it.  False when writing failed.
    bool close(bool abort = false);

private:
    IcodeWriter(FILE* out, std::string name);

    void note_reference(ir::TYPE* type);
    void drain_if_full();
    void drain();
    void start_piece_writer();
    void settle_pieces();
    void forget_type_marks();
    bool write_out(std::string_view bytes);
    uint32_t file_number(const std::string* interned);
    void teach_sign(ir::TYPE* type);
    void write_pragma_section();
    void write_type_section();
    void write_file_section();
    std::string encode_symbol_section();
    bool rewrite_header();

    FILE* out_;
    std::string name_;
    FileHeader header_;
    std::string pending_; // bytes not yet handed to the file
    size_t flushed_ = 0;
    bool write_failed_ = false;
    // Writes the full pieces of a large output on a second thread (none
    // for an output that never fills one).
    std::unique_ptr<PieceWriter> pieces_;
    RecordWriter records_;
    StreamSource listing_ = nullptr;
    StreamSource info_ = nullptr;

    std::vector<ir::TYPE*> referenced_types_; // in first-reference order
    std::vector<const std::string*> file_names_;
    std::unordered_map<const std::string*, uint32_t> file_numbers_;
    const std::string* last_file_ = nullptr; // positions mostly repeat the file before
    uint32_t last_file_number_ = 0;
    std::vector<PragmaItem> pragmas_;
    std::vector<ir::Symbol*> symbols_;
    bool cut_pending_ = false; // what the file held is still to be cut off
    bool in_initializers_ = false;
    bool holding_ = false; // encoding a section that is written later

    // Scratch for records that refer to lists.
    std::vector<std::vector<std::string_view>> scratch_strings_;
    std::vector<AttributeList> scratch_lists_;
};

} // namespace vx::icode
