// The optimizer's I-code reader: turns an input stream into types, symbols,
// statement trees and initializers.
//
// Two layers meet here.  The format layer (record_reader.h) decodes records;
// this reader keeps the numbering tables of the stream (file names, type
// numbers, the nesting of functions and blocks), resolves type and symbol
// references, builds the NODE trees, and hands every record that means
// something to a ReaderClient.  The client (reader_client.h) decides what
// the optimizer does with it; it never sees bytes.
//
//   auto reader = IcodeReader::open(file, name);   // header and pragma section
//   reader->read_all(client);                      // files, types, symbols,
//                                                  // initializers, main part
//   reader->close();
#pragma once

#include "icode/file_header.h"
#include "icode/input_bytes.h"
#include "icode/record_reader.h"
#include "icode/records.h"
#include "ir/node.h"
#include "ir/symbol_table.h"
#include "ir/type_numbering.h"

#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vx::ir {
class TYPE_PKG;
} // namespace vx::ir

namespace vx::icode {

class StatementConverter;

// A pragma-section entry with its strings copied.
struct PragmaItem {
    uint32_t id = 0;
    std::vector<std::string> strings;
    size_t offset = 0; // stream offset of its record, for messages
};

// Names of source files, interned for the whole run, so that a statement's
// position costs a pointer rather than a string.
class SourceFiles {
public:
    const std::string* intern(std::string_view name);

private:
    std::deque<std::string> names_;
    std::unordered_map<std::string_view, const std::string*> index_;
};
SourceFiles& source_files();

// A statement's source position; no file means no position.
struct StatementPos {
    const std::string* file = nullptr;
    uint32_t line = 0;
    uint32_t column = 0;

    bool known() const { return file != nullptr; }
};

// An exception-table entry as the optimizer keeps it.  Name numbers are kept
// negated, the form in which the optimizer compares them; the writer turns
// them back.
struct EhtNameItem {
    std::string name;
    uint32_t negated_number = 0;
    uint8_t byte = 0;
};
struct EhtItem {
    uint32_t id = 0;
    uint32_t kind = 0;
    uint32_t number = 0;
    uint32_t count = 0;
    StatementPos cleanup_pos;
    ir::NODE* cleanup = nullptr;    // kind 1
    std::vector<EhtNameItem> names; // kind 2
};
// Entry 0 is the "no handler" entry that region numbers start from; the
// entries of the file follow it and only they are written back.
struct ExceptionTableItem {
    std::vector<EhtItem> entries;
};

// What the reader hands over, record by record.  Trees are handed over
// complete; every node has gone through finish_node first.
class ReaderClient {
public:
    virtual ~ReaderClient() = default;

    // The package that type records are made in.
    virtual ir::TYPE_PKG& type_package() = 0;

    virtual void pragma(const PragmaItem& entry) = 0;
    // False when the function was read before (a second definition).
    virtual bool begin_function(ir::Symbol& function, const ir::SourcePosition& position) = 0;
    virtual void end_function(const ir::SourcePosition& position) = 0;
    virtual void begin_block(const ir::SourcePosition& position) = 0;
    virtual void end_block(const ir::SourcePosition& position) = 0;
    virtual void end_parameters(const ir::SourcePosition& position) = 0;
    // `nesting` is the reader's nesting level (2 for the function's body).
    virtual void end_locals(const ir::SourcePosition& position, int nesting) = 0;
    virtual ir::Symbol* declare_symbol(const ir::SymbolDeclaration& declaration) = 0;
    // `symbol` is nullptr for a list that belongs to no declaration.
    virtual void attribute_list(ir::Symbol* symbol, uint32_t id,
                                std::vector<std::string> arguments) = 0;
    virtual void statement(const StatementPos& position, ir::NODE* tree) = 0;
    virtual void label(uint32_t number) = 0;
    // Kind 36 (with a position) or 47 (without).
    virtual void text(uint8_t kind, std::string_view text, const StatementPos& position) = 0;
    // The value trees, the closing ENDINIT included.
    virtual void initializer(ir::Symbol& symbol, std::vector<ir::NODE*> values) = 0;
    // False when the client did not keep the table.
    virtual bool exception_table(ExceptionTableItem&& table) = 0;

    // A client may leave function bodies for later: read_all then steps
    // over each body (types, file names and pragma entries inside it are
    // still read, as they belong to the file) and reports the function
    // through deferred_function_begins, with the stream offset of its I_BF
    // record for IcodeReader::read_function_at, and deferred_function_ends.
    // False from deferred_function_begins means the function was read
    // before (a second definition).
    virtual bool defers_function_bodies() const { return false; }
    virtual bool deferred_function_begins(ir::Symbol& /*function*/,
                                          const ir::SourcePosition& /*position*/,
                                          size_t /*offset*/) {
        return true;
    }
    virtual void deferred_function_ends(const ir::SourcePosition& /*position*/) {}

    // The node factory, with the creation rules of the optimizer.
    virtual ir::NODE* make_node(ir::Opcode op, ir::TYPE* type) = 0;
    // Called for each node once its operands are complete (children first);
    // returns the node that takes its place.
    virtual ir::NODE* finish_node(ir::NODE* node) = 0;
    // A client whose make_node and finish_node are exactly the converter's
    // make_node and convert hands the converter out: the reader then calls
    // it directly, node by node, rather than through the client.
    virtual StatementConverter* node_converter() { return nullptr; }
};

class IcodeReader {
public:
    // Reads from the current position of `in`.  Checks the header, fills
    // the shared opcode table and reads the pragma section.  Nothing when
    // the stream does not start with a valid header.  The stream stays
    // owned by the caller until close().  With InputAccess::map_if_possible
    // the file may be mapped rather than read: see keep_input_from().
    static std::unique_ptr<IcodeReader> open(FILE* in, const std::string& name,
                                             InputAccess access = InputAccess::read);
    ~IcodeReader();

    // Reads the file-name, type, symbol and initializer sections, then the
    // main part, handing everything to `client`.
    void read_all(ReaderClient& client);
    // Reads the body of a function that read_all stepped over, from its
    // I_BF record at stream offset `offset` up to its I_EF (read_all must
    // have run first, with a client that defers function bodies).
    void read_function_at(size_t offset, ReaderClient& client);
    // To be called before the file `path` is opened for writing: when the
    // input is mapped from that very file, its bytes are copied into memory
    // first, so that truncating the file takes nothing from the reader.
    void keep_input_from(const std::string& path);
    // Closes the stream.
    void close();

    const FileHeader& header() const { return stream_->header(); }
    const std::string& name() const { return name_; }
    const std::vector<PragmaItem>& pragmas() const { return pragmas_; }

private:
    friend class ReadSession;
    IcodeReader(FILE* in, std::string name, InputBytes bytes);

    FILE* in_;
    std::string name_;
    InputBytes bytes_;
    std::optional<IcodeStream> stream_;
    std::vector<PragmaItem> pragmas_;

    // Numbering tables of the stream, kept from section to section.
    std::vector<const std::string*> file_names_; // by index - 1
    ir::TypeNumberTable types_;
    std::vector<ir::TYPE*> dense_types_; // types_ by number, for the numbers met so far
};

} // namespace vx::icode
