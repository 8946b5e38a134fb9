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
// with its attribute lists, a statement with its tree (unless trees are
// read on demand, see set_trees_on_demand), an exception table with its
// entries, an initializer with its value trees.  The record and
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

    // The same bytes, now at `data` (no reader of the stream may be active).
    void move_bytes(const char* data) { data_ = reinterpret_cast<const uint8_t*>(data); }

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
    // Only the frame is checked; the body is checked when it is read.  A
    // record whose length takes one byte and whose body fits is stepped
    // over inline: most records are such.
    uint8_t skip() {
        const uint8_t* data = stream_.data();
        if (!done_ && pos_ + 2 <= limit_ && data[pos_] != KIND_END_OF_SECTION &&
            data[pos_ + 1] < 0x80 && data[pos_ + 1] <= limit_ - pos_ - 2) {
            const uint8_t kind = data[pos_];
            pos_ += 2 + data[pos_ + 1];
            return kind;
        }
        return skip_frame();
    }
    // Record kinds, as a table by kind.
    using RecordKinds = std::array<bool, 256>;
    // Steps over records of the `steppable` kinds (never the end mark) as
    // long as their lengths take one byte; stops before any other record.
    // Only the frames are looked at, as by skip().
    void skip_records_of(const RecordKinds& steppable);
    // Steps over statements and tree nodes, the bulk of a function, as long
    // as their lengths take one byte; stops before any other record.
    void skip_statements();

    // With trees on demand, next() hands out a statement (kind 46) without
    // its tree, and the caller reads the tree before it calls next() again:
    // with scan_pending_tree(), and with read_pending_tree() when that
    // declines.  Reading a tree straight into the caller's nodes saves
    // keeping it as TreeNodes first.
    void set_trees_on_demand(bool on) { trees_on_demand_ = on; }
    bool tree_pending() const { return tree_pending_; }
    // Hands the pending tree's nodes in preorder to `sink`, which is called
    // as `bool sink(const TreeNode& node)` and answers false to refuse one.
    // Only records whose length takes one byte and whose fields are sound
    // are taken this way: when a record is not such, or the sink refuses a
    // node, the stream is left where the tree begins and the answer is
    // false (nothing is reported).
    template <class Sink> bool scan_pending_tree(Sink&& sink);
    // The same, for a sink that decodes the records itself: it is called as
    // `int sink(const uint8_t* body, size_t length)` with the body of each
    // record whose length takes one byte and which lies inside the section,
    // and answers the node's operand count, or -1 to refuse the record (a
    // body that is not sound must be refused).
    template <class Sink> bool scan_pending_tree_bodies(Sink&& sink);
    // The same for a caller that walks the records itself: where the
    // pending tree begins, and where the records must end.  The caller
    // checks each record's frame as scan_pending_tree_bodies does, and
    // takes the tree with take_pending_tree() once it has all of it.
    struct PendingTreeBytes {
        const uint8_t* data;
        size_t start;
        size_t limit;
    };
    PendingTreeBytes pending_tree_bytes() const { return {stream_.data(), pos_, limit_}; }
    // The pending tree is taken; its records end at `end`.
    void take_pending_tree(size_t end) {
        pos_ = end;
        tree_pending_ = false;
    }
    // With trees on demand: when the next record is a statement whose
    // length takes one byte and whose position is sound, takes it without
    // handing it out as a Record, sets `pos` and leaves its tree pending,
    // to be taken by scanning (take_pending_tree); a caller whose scan
    // declines goes back with seek() to the offset before it.  False, with
    // nothing taken, for any other record.
    bool take_short_statement(SourcePos& pos) {
        const uint8_t* data = stream_.data();
        if (!trees_on_demand_ || tree_pending_ || done_ || pos_ + 2 > limit_ ||
            data[pos_] != KIND_STATEMENT || data[pos_ + 1] >= 0x80 ||
            data[pos_ + 1] > limit_ - pos_ - 2)
            return false;
        ByteCursor body(data + pos_ + 2, data[pos_ + 1]);
        SourcePos decoded;
        decoded.file = body.uleb();
        if (decoded.file != 0) {
            decoded.line = body.uleb();
            decoded.column = body.uleb();
        }
        if (body.failed() || !body.at_end())
            return false;
        pos = decoded;
        pos_ += 2 + data[pos_ + 1];
        tree_pending_ = true;
        return true;
    }
    // Decodes the pending tree into the statement next() handed out,
    // reporting what is wrong with it as reading it whole would.
    void read_pending_tree();

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
    uint8_t skip_frame();
    bool next_short_statement();
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
    bool trees_on_demand_ = false;
    bool tree_pending_ = false;
    uint32_t announced_ = 0;
    Record record_;

    ListPool<std::string_view> string_lists_;
    ListPool<TreeNode> trees_;
    ListPool<EhtName> name_lists_;
    std::vector<AttributeList> attributes_;
    std::vector<EhtEntry> eht_entries_;
    std::vector<Tree> values_;
};

template <class Sink> bool RecordReader::scan_pending_tree_bodies(Sink&& sink) {
    const uint8_t* const data = stream_.data();
    const size_t limit = limit_;
    size_t pos = pos_; // the stream moves only once the whole tree is taken
    size_t pending = 1;
    while (pending > 0) {
        if (pos + 2 > limit || data[pos] != KIND_TREE_NODE)
            return false;
        const size_t length = data[pos + 1];
        if (length >= 0x80 || length > limit - pos - 2)
            return false;
        const int operands = sink(data + pos + 2, length);
        if (operands < 0)
            return false;
        pos += 2 + length;
        pending = pending - 1 + static_cast<size_t>(operands);
    }
    pos_ = pos;
    tree_pending_ = false;
    return true;
}

template <class Sink> bool RecordReader::scan_pending_tree(Sink&& sink) {
    return scan_pending_tree_bodies([&](const uint8_t* bytes, size_t length) {
        ByteCursor body(bytes, length);
        TreeNode node;
        node.opcode = body.u8();
        node.type = body.uleb();
        FieldDecoder decoder(body, stream_.version(), stream_.type_signs());
        payload_fields(decoder, node);
        if (body.failed() || !body.at_end() || node.opcode > kLastFileOpcode || !sink(node))
            return -1;
        return static_cast<int>(opcode_shape(node.opcode).operand_count);
    });
}

// Decodes `bytes` as one whole type record (kind, length, body) of a
// stream of `version`; false when they are not one.  Does not end the run.
bool try_decode_type_record(Bytes bytes, int version, const TypeSigns& signs, TypeRecord& out);

} // namespace vx::icode
