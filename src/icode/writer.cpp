#include "icode/writer.h"

#include "icode/writer_client_listing.h"
#include "icode/writer_client_types.h"
#include "ir/symbol.h"
#include "ir/type.h"
#include "ir/type_numbering.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace vx::icode {

namespace {

// Bytes gathered before they are handed to the file.  The writer gathers
// them itself, in large pieces, so the stream is left unbuffered: each
// piece goes to the file in one call, without a copy through the stream's
// own buffer.
constexpr size_t kDrainSize = 1 << 20;

// The types whose records decide whether an ICON or enumerator value is
// written signed: integers and what is built directly over them.
bool decides_sign(const ir::TYPE* type) {
    switch (type->kind()) {
    case ir::TYPE::tpk_int:
    case ir::TYPE::tpk_typedef:
    case ir::TYPE::tpk_qualified:
    case ir::TYPE::tpk_enum:
    case ir::TYPE::tpk_fixed:
        return true;
    default:
        return false;
    }
}

} // namespace

IcodeWriter::IcodeWriter(FILE* out, std::string name)
    : out_(out), name_(std::move(name)), records_(pending_, kNewestVersion) {
    records_.gather_trees(true);
    header_.version = kNewestVersion;
    header_.format = kFormatNumber;
    header_.name = name_;
}

IcodeWriter::~IcodeWriter() {
    forget_type_marks();
}

// The marks live in the types, which outlive the writer.
void IcodeWriter::forget_type_marks() {
    for (ir::TYPE* type : referenced_types_)
        type->set_referenced_mark(false);
    referenced_types_.clear();
}

std::unique_ptr<IcodeWriter> IcodeWriter::create(FILE* out, const std::string& name,
                                                 bool cut_first) {
    std::unique_ptr<IcodeWriter> writer(new IcodeWriter(out, name));
    writer->cut_pending_ = cut_first;
    std::setvbuf(out, nullptr, _IONBF, 0);
    writer->pending_ = encode_file_header(writer->header_);
    // Room for a full piece and the records that complete it, taken once.
    writer->pending_.reserve(2 * kDrainSize);
    return writer;
}

FILE* IcodeWriter::open_output_file(const std::string& name) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT, 0666);
    if (fd < 0)
        return nullptr;
    FILE* out = fdopen(fd, "wb");
    if (out == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return out;
}

// ---- Numbers --------------------------------------------------------------------------

void IcodeWriter::note_reference(ir::TYPE* type) {
    type->set_referenced_mark(true);
    referenced_types_.push_back(type);
    if (decides_sign(type))
        teach_sign(type);
}

// ICON values are encoded while the main part is written, long before the
// type section: the records that decide their sign are learned as soon as
// the type is first referred to (what they build on first, by typeref).
void IcodeWriter::teach_sign(ir::TYPE* type) {
    TypeRecord record = own_type_record(*this, type);
    records_.type_signs().learn(record);
}

namespace {

// Out of line, so that the common case (the file of the position before)
// stays a compare and a load in each caller.
[[gnu::noinline]] uint32_t number_of_file(std::unordered_map<const std::string*, uint32_t>& numbers,
                                          std::vector<const std::string*>& names,
                                          const std::string* interned) {
    auto [slot, added] = numbers.try_emplace(interned, 0);
    if (added) {
        names.push_back(interned);
        slot->second = static_cast<uint32_t>(names.size());
    }
    return slot->second;
}

} // namespace

uint32_t IcodeWriter::file_number(const std::string* interned) {
    if (interned == last_file_)
        return last_file_number_;
    last_file_number_ = number_of_file(file_numbers_, file_names_, interned);
    last_file_ = interned;
    return last_file_number_;
}

SourcePos IcodeWriter::position(const StatementPos& position) {
    if (!position.known())
        return {};
    return {file_number(position.file), position.line, position.column};
}

SourcePos IcodeWriter::position(const ir::SourcePosition& position) {
    if (!position.known())
        return {};
    return {file_number(source_files().intern(position.file)), position.line, position.column};
}

SourcePos IcodeWriter::position(const ir::TypeSourcePos& position) {
    if (position.file.empty())
        return {};
    return {file_number(source_files().intern(position.file)), position.line, position.column};
}

// ---- Records ------------------------------------------------------------------------------

void IcodeWriter::drain_if_full() {
    if (pending_.size() >= kDrainSize && !holding_) {
        if (!pieces_)
            start_piece_writer();
        drain();
    }
}

// An output large enough to fill a piece is written by a second thread.
// Without one (the system refused it) pieces are written directly.
void IcodeWriter::start_piece_writer() {
    try {
        pieces_ = std::make_unique<PieceWriter>(out_, pending_.capacity(), cut_pending_);
        cut_pending_ = false;
    } catch (const std::system_error&) {
    }
}

void IcodeWriter::drain() {
    records_.hand_over_trees();
    flushed_ += pending_.size();
    if (pieces_) {
        pieces_->hand_over(pending_);
        return;
    }
    write_out(pending_);
    pending_.clear();
}

// Before the stream is used directly, every piece handed over is written.
void IcodeWriter::settle_pieces() {
    if (pieces_ && !pieces_->finish())
        write_failed_ = true;
}

bool IcodeWriter::write_out(std::string_view bytes) {
    if (cut_pending_) {
        cut_pending_ = false;
        if (!cut_file(out_))
            write_failed_ = true;
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out_) != bytes.size())
        write_failed_ = true;
    return !write_failed_;
}

void IcodeWriter::flush() {
    drain();
    settle_pieces();
    if (std::fflush(out_) != 0)
        write_failed_ = true;
}

void IcodeWriter::write_tree(Tree tree) {
    records_.write_tree(tree);
    drain_if_full();
}

void IcodeWriter::write_symbol(const ir::Symbol& symbol) {
    scratch_lists_.clear();
    size_t count = 0;
    for (const ir::AttributeList* list = symbol.attributes; list; list = list->next)
        ++count;
    if (scratch_strings_.size() < count)
        scratch_strings_.resize(count);
    scratch_lists_.resize(count);
    // The chain is newest first; the file has the oldest first.
    size_t slot = count;
    for (const ir::AttributeList* list = symbol.attributes; list; list = list->next) {
        --slot;
        std::vector<std::string_view>& strings = scratch_strings_[slot];
        strings.assign(list->arguments.begin(), list->arguments.end());
        scratch_lists_[slot] = AttributeList{list->id, strings};
    }
    SymbolDecl decl;
    decl.name = symbol.name;
    decl.size = symbol.size;
    decl.offset = static_cast<uint32_t>(symbol.offset);
    decl.storage_class = static_cast<uint8_t>(symbol.storage_class);
    decl.flags = static_cast<int16_t>(symbol.flags);
    decl.type = typeref(symbol.declared_type);
    decl.type2 = typeref(symbol.second_type);
    decl.alignment = symbol.alignment;
    decl.aux1 = symbol.stream_words[0];
    decl.aux2 = symbol.stream_words[1];
    decl.pos = position(symbol.position);
    decl.attributes = scratch_lists_;
    write(decl);
    if (FILE* log = listing())
        list_symbol(log, symbol);
}

void IcodeWriter::write_text(uint8_t kind, std::string_view text, const StatementPos& where) {
    if (kind == KIND_ASM_TEXT)
        write(AsmText{text, position(where)});
    else
        write(Text{text});
    if (FILE* log = listing())
        list_text(log, kind, text, where);
}

void IcodeWriter::begin_initializers() {
    if (in_initializers_)
        return;
    in_initializers_ = true;
    records_.end_section();
    header_.section_offsets[INIT_SECTION] = static_cast<uint32_t>(offset());
}

void IcodeWriter::set_symbol_section(std::vector<ir::Symbol*> symbols) {
    symbols_ = std::move(symbols);
    for (uint32_t i = 0; i < symbols_.size(); ++i)
        ir::set_table_position(*symbols_[i], 0, i);
}

// ---- Close ---------------------------------------------------------------------------------

void IcodeWriter::write_pragma_section() {
    if (pragmas_.empty())
        return;
    header_.section_offsets[PRAGMA_SECTION] = static_cast<uint32_t>(offset());
    for (const PragmaItem& entry : pragmas_) {
        std::vector<std::string_view> strings(entry.strings.begin(), entry.strings.end());
        write(PragmaEntry{entry.id, strings});
        if (FILE* log = listing())
            list_pragma(log, entry);
    }
    records_.end_section();
}

// Every type a record referred to, and everything those types refer to,
// each after the types it names.
void IcodeWriter::write_type_section() {
    ir::TypeEmitOrder order;
    for (size_t i = 0; i < referenced_types_.size(); ++i)
        order.add(referenced_types_[i]);
    if (order.items().empty())
        return;
    header_.section_offsets[TYPE_SECTION] = static_cast<uint32_t>(offset());
    records_.set_learning_types(true);
    for (const ir::TypeEmission& item : order.items())
        write_type_emission(*this, item);
    records_.set_learning_types(false);
    records_.end_section();
}

void IcodeWriter::write_file_section() {
    if (file_names_.empty())
        return;
    header_.section_offsets[FILENAME_SECTION] = static_cast<uint32_t>(offset());
    for (const std::string* name : file_names_)
        write(FileName{*name});
    records_.end_section();
}

// Encoded before the type and file-name sections are written, so that the
// types and files the symbols name are among them.
std::string IcodeWriter::encode_symbol_section() {
    drain();
    holding_ = true;
    for (ir::Symbol* symbol : symbols_)
        write_symbol(*symbol);
    holding_ = false;
    records_.hand_over_trees();
    std::string symbol_bytes;
    symbol_bytes.swap(pending_);
    return symbol_bytes;
}

bool IcodeWriter::rewrite_header() {
    settle_pieces();
    const std::string header = encode_file_header(header_);
    return std::fflush(out_) == 0 && std::fseek(out_, 0, SEEK_SET) == 0 && write_out(header);
}

bool IcodeWriter::close(bool abort) {
    if (out_ == nullptr)
        return true;
    bool ok = true;
    if (!abort) {
        records_.end_section(); // ends the main part or the initializers
        write_pragma_section();
        const std::string symbol_bytes = encode_symbol_section();
        write_type_section();
        write_file_section();
        header_.section_offsets[SYMBOL_SECTION] = static_cast<uint32_t>(offset());
        pending_ += symbol_bytes;
        records_.end_section();
        drain();
        ok = rewrite_header();
    }
    settle_pieces();
    pieces_.reset();
    forget_type_marks();
    ok = !write_failed_ && ok && !std::ferror(out_);
    ok = std::fclose(out_) == 0 && ok;
    out_ = nullptr;
    return ok;
}

} // namespace vx::icode
