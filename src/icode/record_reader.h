// Reading an I-code stream section by section.
//
//   auto stream = IcodeStream::open(bytes);          // header checked
//   RecordReader types(*stream, TYPE_SECTION);       // read types first
//   while (const Record* r = types.next()) ...       // std::get<TypeRecord>(r->body)
//   RecordReader main(*stream, MAIN_PART);
//   while (const Record* r = main.next())
//       if (auto* s = std::get_if<Statement>(&r->body)) ... s->tree ...
//
// A record comes with the records that belong to it: a symbol declaration
// with its attribute lists, a statement with its tree, an exception table
// with its entries, an initializer with its value trees.  The record and
// everything it points to stay valid until the next call of next(); texts
// point into the stream's bytes.  The stream's bytes are not copied and
// must outlive the stream and its readers.
//
// Each section is read up to its end mark (0xFF) and never past where the
// next section (or the stream) begins.  Malformed input ends the run with
// the messages of format_errors.h, naming the stream offset.
#pragma once

#include "icode/field_codec.h"
#include "icode/file_header.h"
#include "icode/records.h"
#include "icode/type_signs.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vx::icode {

class IcodeStream {
public:
    // `bytes` is the stream from its base; `base` is the file offset of the
    // base, added to offsets in messages.  Nothing when the header is
    // refused (check_file_header says why).
    static std::optional<IcodeStream> open(std::string_view bytes, size_t base = 0);

    const FileHeader& header() const { return header_; }
    int version() const { return header_.version; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    size_t base() const { return base_; }

    // The main part is always present; a section when its offset is not 0.
    bool has(Section section) const;
    // Stream offset of a section's first record.
    size_t start(Section section) const;
    // Where the next section, or the stream, begins: a section's records
    // must end before it.
    size_t limit(Section section) const;

    // What the type section has taught so far (see type_signs.h).
    TypeSigns& type_signs() { return signs_; }
    const TypeSigns& type_signs() const { return signs_; }

private:
    IcodeStream(std::string_view bytes, size_t base, FileHeader header);

    const uint8_t* data_;
    size_t size_;
    size_t base_;
    FileHeader header_;
    TypeSigns signs_;
};

class RecordReader {
public:
    // Reads `section` of `stream` from its start.  A section whose offset
    // lies outside the stream ends the run.
    RecordReader(IcodeStream& stream, Section section);

    // The next record, or nullptr once the section's end mark is read.
    const Record* next();

    // Stream offset of the next record (after the end mark: of the byte
    // after it).
    size_t offset() const { return pos_; }
    // Continues at `offset`, for instance at the start of a function read
    // earlier; it must lie inside the section.
    void seek(size_t offset);
    // Whether the end mark has been read.
    bool at_end() const { return done_; }
    // Steps over the next record's frame without decoding its body and
    // returns its kind (the end mark's kind, 0xFF, once the section ends).
    // Only the frame is checked; the body is checked when it is read.
    uint8_t skip();

    // An unknown top-level kind prints "\n///ERROR @0x%lx\n\n" unless this
    // is turned off; either way the record is handed out as UnknownRecord.
    void set_report_unknown_kinds(bool on) { report_unknown_ = on; }

private:
    struct Frame {
        uint8_t kind = 0;
        size_t offset = 0; // of the kind byte
        size_t body = 0;   // of the body
        uint32_t length = 0;
    };
    enum class Family { record, eht };

    Frame read_frame();
    const char* limit_name() const;
    size_t file_offset(size_t offset) const { return stream_.base() + offset; }
    ByteCursor body_of(const Frame& frame) const;
    void check_body(const Frame& frame, const ByteCursor& body, Family family) const;
    template <class T> T& decode_flat(const Frame& frame, Family family = Family::record);

    void decode(const Frame& frame);
    void decode_symbol(const Frame& frame);
    void decode_exception_table(const Frame& frame);
    void decode_eht_entry(uint32_t index, uint32_t count);
    std::span<const EhtName> decode_eht_names(const EhtEntry& entry);
    void decode_initializer(const Frame& frame);
    void decode_unknown(const Frame& frame);
    Tree read_tree();
    void read_tree_node(std::vector<TreeNode>& nodes);
    void reset_storage();

    IcodeStream& stream_;
    Section section_;
    size_t limit_;
    size_t pos_;
    bool done_ = false;
    bool report_unknown_ = true;
    uint32_t announced_ = 0;
    Record record_;

    ListPool<std::string_view> string_lists_;
    ListPool<TreeNode> trees_;
    ListPool<EhtName> name_lists_;
    std::vector<AttributeList> attributes_;
    std::vector<EhtEntry> eht_entries_;
    std::vector<Tree> values_;
};

// Decodes `bytes` as one whole type record (kind, length, body) of a
// stream of `version`; false when they are not one.  Does not end the run.
bool try_decode_type_record(Bytes bytes, int version, const TypeSigns& signs, TypeRecord& out);

} // namespace vx::icode
