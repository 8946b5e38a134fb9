#include "icode/record_reader.h"

#include "icode/format_errors.h"
#include "icode/opcode_table.h"
#include "support/check.h"

namespace vx::icode {

// -- IcodeStream -----------------------------------------------------------------

IcodeStream::IcodeStream(std::string_view bytes, size_t base, FileHeader header)
    : data_(reinterpret_cast<const uint8_t*>(bytes.data())), size_(bytes.size()), base_(base),
      header_(std::move(header)) {}

std::optional<IcodeStream> IcodeStream::open(std::string_view bytes, size_t base) {
    auto header = decode_file_header(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (!header)
        return std::nullopt;
    return IcodeStream(bytes, base, std::move(*header));
}

bool IcodeStream::has(Section section) const {
    return section == MAIN_PART || header_.section_offsets[section] != 0;
}

size_t IcodeStream::start(Section section) const {
    return section == MAIN_PART ? header_.record_size : header_.section_offsets[section];
}

size_t IcodeStream::limit(Section section) const {
    size_t from = start(section);
    size_t limit = size_;
    for (int other = 0; other <= MAIN_PART; ++other) {
        Section s = static_cast<Section>(other);
        if (has(s) && start(s) > from && start(s) < limit)
            limit = start(s);
    }
    return limit;
}

// -- RecordReader ---------------------------------------------------------------

RecordReader::RecordReader(IcodeStream& stream, Section section)
    : stream_(stream), section_(section), limit_(stream.limit(section)),
      pos_(stream.start(section)) {
    bool inside =
        pos_ >= stream.header().record_size && (pos_ < stream.size() || section == MAIN_PART);
    if (!stream.has(section) || !inside)
        fail_record(file_offset(0), "the %s offset 0x%lx lies outside the stream's records",
                    section_title(section), static_cast<unsigned long>(pos_));
}

void RecordReader::seek(size_t offset) {
    if (offset < stream_.start(section_) || offset >= limit_)
        fail_record(file_offset(offset), "offset 0x%lx lies outside the %s",
                    static_cast<unsigned long>(file_offset(offset)), section_title(section_));
    pos_ = offset;
    done_ = false;
    tree_pending_ = false;
}

const Record* RecordReader::next() {
    VX_CHECK(!tree_pending_);
    if (done_)
        return nullptr;
    if (trees_on_demand_ && next_short_statement())
        return &record_;
    reset_storage();
    Frame frame = read_frame();
    if (frame.kind == KIND_END_OF_SECTION) {
        done_ = true;
        return nullptr;
    }
    record_.kind = frame.kind;
    record_.offset = frame.offset;
    decode(frame);
    record_.end = pos_;
    return &record_;
}

void RecordReader::read_pending_tree() {
    VX_CHECK(tree_pending_);
    tree_pending_ = false;
    std::get<Statement>(record_.body).tree = read_tree();
    record_.end = pos_;
}

// A statement whose length takes one byte and whose position is sound, the
// most common record of a function, is decoded here without the general
// machinery; anything else is left to it.
bool RecordReader::next_short_statement() {
    const uint8_t* data = stream_.data();
    if (pos_ + 2 > limit_ || data[pos_] != KIND_STATEMENT || data[pos_ + 1] >= 0x80 ||
        data[pos_ + 1] > limit_ - pos_ - 2)
        return false;
    ByteCursor body(data + pos_ + 2, data[pos_ + 1]);
    Statement decoded;
    FieldDecoder decoder(body, stream_.version(), stream_.type_signs());
    fields(decoder, decoded);
    if (body.failed() || !body.at_end())
        return false;
    if (Statement* statement = std::get_if<Statement>(&record_.body))
        *statement = decoded;
    else
        record_.body = decoded;
    record_.kind = KIND_STATEMENT;
    record_.offset = pos_;
    pos_ += 2 + data[pos_ + 1];
    record_.end = pos_;
    tree_pending_ = true;
    return true;
}

void RecordReader::skip_statements() {
    static constexpr RecordKinds kStatementKinds = [] {
        RecordKinds kinds{};
        kinds[KIND_STATEMENT] = kinds[KIND_TREE_NODE] = true;
        return kinds;
    }();
    skip_records_of(kStatementKinds);
}

void RecordReader::skip_records_of(const RecordKinds& steppable) {
    VX_CHECK(!steppable[KIND_END_OF_SECTION]);
    if (done_)
        return;
    const uint8_t* const data = stream_.data();
    const size_t limit = limit_;
    size_t pos = pos_;
    // Short of the last 130 bytes, a record whose length takes one byte
    // fits whatever that length is: only its kind and length are looked at.
    constexpr size_t kLongestShortRecord = 2 + 0x7F;
    const size_t surely_fits = limit > kLongestShortRecord ? limit - kLongestShortRecord : 0;
    while (pos < surely_fits) {
        const uint8_t kind = data[pos];
        const uint8_t length = data[pos + 1];
        if (length >= 0x80 || !steppable[kind]) {
            pos_ = pos;
            return;
        }
        pos += 2 + length;
    }
    while (pos + 2 <= limit) {
        const uint8_t kind = data[pos];
        const size_t length = data[pos + 1];
        if (!steppable[kind] || length >= 0x80 || length > limit - pos - 2)
            break;
        pos += 2 + length;
    }
    pos_ = pos;
}

uint8_t RecordReader::skip_frame() {
    if (done_)
        return KIND_END_OF_SECTION;
    Frame frame = read_frame();
    if (frame.kind == KIND_END_OF_SECTION)
        done_ = true;
    return frame.kind;
}

void RecordReader::reset_storage() {
    string_lists_.give_back_all();
    trees_.give_back_all();
    name_lists_.give_back_all();
    attributes_.clear();
    eht_entries_.clear();
    values_.clear();
}

// Reads a record's kind and length and checks that its body lies inside
// the section; leaves pos_ after the body.
RecordReader::Frame RecordReader::read_frame() {
    Frame frame;
    frame.offset = pos_;
    if (pos_ >= limit_ && limit_ == stream_.size())
        fail_record(file_offset(pos_), "the stream ends before the end mark (0xFF) of the %s",
                    section_title(section_));
    if (pos_ >= limit_)
        fail_record(file_offset(pos_),
                    "the %s runs into the next section without an end mark (0xFF)",
                    section_title(section_));
    frame.kind = stream_.data()[pos_];
    if (frame.kind == KIND_END_OF_SECTION) {
        pos_ += 1;
        return frame;
    }
    ByteCursor header(stream_.data() + pos_ + 1, limit_ - pos_ - 1);
    frame.length = header.uleb();
    if (header.failed())
        fail_record(file_offset(frame.offset),
                    "the %s ends inside the length of a record of kind %u", limit_name(),
                    frame.kind);
    frame.body = pos_ + 1 + header.offset();
    if (frame.length > limit_ - frame.body)
        fail_record(file_offset(frame.offset),
                    "a record of kind %u announces a body of %u bytes, the %s ends after %lu",
                    frame.kind, frame.length, limit_name(),
                    static_cast<unsigned long>(limit_ - frame.body));
    pos_ = frame.body + frame.length;
    return frame;
}

// Where the records of the section must end: the stream, or the section
// (when another section follows it).
const char* RecordReader::limit_name() const {
    return limit_ == stream_.size() ? "stream" : section_title(section_);
}

ByteCursor RecordReader::body_of(const Frame& frame) const {
    return ByteCursor(stream_.data() + frame.body, frame.length);
}

void RecordReader::check_body(const Frame& frame, const ByteCursor& body, Family family) const {
    auto fail = family == Family::eht ? fail_eht : fail_record;
    if (body.failed())
        fail(file_offset(frame.offset),
             "the body of a record of kind %u (%u bytes) ends inside its fields", frame.kind,
             frame.length);
    if (!body.at_end())
        fail(file_offset(frame.offset),
             "a record of kind %u has %lu bytes after its fields (body of %u bytes)", frame.kind,
             static_cast<unsigned long>(body.remaining()), frame.length);
}

template <class T> T& RecordReader::decode_flat(const Frame& frame, Family family) {
    T& body = record_.body.emplace<T>();
    ByteCursor cursor = body_of(frame);
    FieldDecoder decoder(cursor, stream_.version(), stream_.type_signs(), &string_lists_);
    fields(decoder, body);
    check_body(frame, cursor, family);
    announced_ = decoder.announced();
    return body;
}

void RecordReader::decode(const Frame& frame) {
    switch (frame.kind) {
    case KIND_FUNCTION_BEGIN:
        decode_flat<FunctionBegin>(frame);
        return;
    case KIND_FUNCTION_END:
        decode_flat<FunctionEnd>(frame);
        return;
    case KIND_BLOCK_BEGIN:
        decode_flat<BlockBegin>(frame);
        return;
    case KIND_BLOCK_END:
        decode_flat<BlockEnd>(frame);
        return;
    case KIND_PARAMS_END:
        decode_flat<ParamsEnd>(frame);
        return;
    case KIND_LOCALS_END:
        decode_flat<LocalsEnd>(frame);
        return;
    case KIND_OPAQUE:
        decode_flat<OpaqueRecord>(frame);
        return;
    case KIND_SYMBOL:
        decode_symbol(frame);
        return;
    case KIND_ASM_TEXT:
        decode_flat<AsmText>(frame);
        return;
    case KIND_LOOP:
        decode_flat<LoopInfo>(frame);
        return;
    case KIND_LABEL:
        decode_flat<LabelDef>(frame);
        return;
    case KIND_FIVE_NUMBERS:
        decode_flat<FiveNumbers>(frame);
        return;
    case KIND_STATEMENT:
        if (trees_on_demand_)
            decode_flat<Statement>(frame);
        else
            decode_flat<Statement>(frame).tree = read_tree();
        tree_pending_ = trees_on_demand_;
        return;
    case KIND_TEXT:
        decode_flat<Text>(frame);
        return;
    case KIND_DEP_EDGE:
        decode_flat<DepEdge>(frame);
        return;
    case KIND_DEP_VECTOR:
        decode_flat<DepVector>(frame);
        return;
    case KIND_BYTE_MARK:
        decode_flat<ByteMark>(frame);
        return;
    case KIND_EHT:
        decode_exception_table(frame);
        return;
    case KIND_ATTRIBUTES:
        decode_flat<AttributeList>(frame);
        return;
    case KIND_INITIALIZER:
        decode_initializer(frame);
        return;
    case KIND_ANNOTATION:
        decode_flat<Annotation>(frame);
        return;
    case KIND_PRAGMA:
        decode_flat<PragmaEntry>(frame);
        return;
    case KIND_TYPE: {
        const TypeRecord& type = decode_flat<TypeRecord>(frame);
        if (section_ == TYPE_SECTION)
            stream_.type_signs().learn(type);
        return;
    }
    case KIND_FUNCTION_BEGIN_2:
        decode_flat<FunctionBegin2>(frame);
        return;
    case KIND_IN_LOOP:
        decode_flat<InLoop>(frame);
        return;
    case KIND_FUNCTION_END_2:
        decode_flat<FunctionEnd2>(frame);
        return;
    case KIND_FILE_NAME:
        decode_flat<FileName>(frame);
        return;
    default:
        decode_unknown(frame);
        return;
    }
}

void RecordReader::decode_unknown(const Frame& frame) {
    if (report_unknown_)
        report_unknown_kind(file_offset(frame.offset));
    auto bytes = reinterpret_cast<const char*>(stream_.data() + frame.body);
    record_.body = UnknownRecord{frame.kind, Bytes(bytes, frame.length)};
}

void RecordReader::decode_symbol(const Frame& frame) {
    SymbolDecl& symbol = decode_flat<SymbolDecl>(frame);
    uint32_t count = announced_;
    for (uint32_t i = 0; i < count; ++i) {
        Frame list = read_frame();
        if (list.kind != KIND_ATTRIBUTES)
            fail_record(file_offset(list.offset),
                        "attribute list %u of %u of a symbol is due, found a record of kind %u",
                        i + 1, count, list.kind);
        ByteCursor cursor = body_of(list);
        FieldDecoder decoder(cursor, stream_.version(), stream_.type_signs(), &string_lists_);
        fields(decoder, attributes_.emplace_back());
        check_body(list, cursor, Family::record);
    }
    symbol.attributes = attributes_;
}

void RecordReader::decode_exception_table(const Frame& frame) {
    ExceptionTable& table = decode_flat<ExceptionTable>(frame);
    uint32_t count = announced_;
    for (uint32_t i = 0; i < count; ++i)
        decode_eht_entry(i, count);
    table.entries = eht_entries_;
}

void RecordReader::decode_eht_entry(uint32_t index, uint32_t count) {
    Frame head = read_frame();
    if (head.kind != KIND_EHT_ENTRY)
        fail_eht(file_offset(head.offset),
                 "exception-table entry %u of %u is due, found a record of kind %u", index + 1,
                 count, head.kind);
    EhtEntry entry;
    ByteCursor cursor = body_of(head);
    FieldDecoder decoder(cursor, stream_.version(), stream_.type_signs());
    fields(decoder, entry);
    check_body(head, cursor, Family::eht);
    if (entry.kind == kEhtCleanupEntry) {
        Frame statement = read_frame();
        if (statement.kind != KIND_STATEMENT)
            fail_eht(file_offset(statement.offset),
                     "the cleanup statement of an exception-table entry is due, found a record "
                     "of kind %u",
                     statement.kind);
        ByteCursor pos_cursor = body_of(statement);
        FieldDecoder pos_decoder(pos_cursor, stream_.version(), stream_.type_signs());
        pos_decoder.pos(entry.cleanup_pos);
        check_body(statement, pos_cursor, Family::eht);
        entry.cleanup = read_tree();
    } else if (entry.kind == kEhtNamesEntry) {
        entry.names = decode_eht_names(entry);
    }
    eht_entries_.push_back(entry);
}

std::span<const EhtName> RecordReader::decode_eht_names(const EhtEntry& entry) {
    Frame frame = read_frame();
    if (frame.kind != KIND_EHT_NAMES)
        fail_eht(file_offset(frame.offset),
                 "the name list of an exception-table entry is due, found a record of kind %u",
                 frame.kind);
    ByteCursor cursor = body_of(frame);
    // Each name takes at least three bytes; a larger count cannot be met.
    if (entry.count > cursor.remaining())
        fail_eht(file_offset(frame.offset),
                 "an exception-table entry announces %u names, its name list has %u bytes",
                 entry.count, frame.length);
    std::vector<EhtName>& names = name_lists_.take();
    FieldDecoder decoder(cursor, stream_.version(), stream_.type_signs());
    for (uint32_t i = 0; i < entry.count && !cursor.failed(); ++i)
        fields(decoder, names.emplace_back());
    check_body(frame, cursor, Family::eht);
    return names;
}

void RecordReader::decode_initializer(const Frame& frame) {
    Initializer& initializer = decode_flat<Initializer>(frame);
    for (;;) {
        Tree value = read_tree();
        values_.push_back(value);
        if (value.front().opcode == kEndInitOpcode)
            break;
    }
    initializer.values = values_;
}

// A tree is read node by node in preorder; it is complete when no operand
// is left pending, so neither depth nor length costs stack.
Tree RecordReader::read_tree() {
    std::vector<TreeNode>& nodes = trees_.take();
    size_t pending = 1;
    while (pending > 0) {
        read_tree_node(nodes);
        pending = pending - 1 + file_opcode(nodes.back().opcode).operand_count;
    }
    return nodes;
}

void RecordReader::read_tree_node(std::vector<TreeNode>& nodes) {
    Frame frame = read_frame();
    if (frame.kind == KIND_END_OF_SECTION)
        fail_record(file_offset(frame.offset), "a tree node is due, found the end mark (0xFF)");
    if (frame.kind != KIND_TREE_NODE)
        fail_record(file_offset(frame.offset), "a tree node is due, found a record of kind %u",
                    frame.kind);
    ByteCursor cursor = body_of(frame);
    TreeNode& node = nodes.emplace_back();
    node.opcode = cursor.u8();
    if (!cursor.failed() && node.opcode > kLastFileOpcode)
        fail_record(file_offset(frame.offset), "tree node with opcode %u, above %d", node.opcode,
                    kLastFileOpcode);
    node.type = cursor.uleb();
    FieldDecoder decoder(cursor, stream_.version(), stream_.type_signs());
    payload_fields(decoder, node);
    check_body(frame, cursor, Family::record);
}

bool try_decode_type_record(Bytes bytes, int version, const TypeSigns& signs, TypeRecord& out) {
    ByteCursor record(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (record.u8() != KIND_TYPE)
        return false;
    uint32_t length = record.uleb();
    if (record.failed() || length != record.remaining())
        return false;
    ByteCursor body(reinterpret_cast<const uint8_t*>(bytes.data()) + record.offset(), length);
    FieldDecoder decoder(body, version, signs);
    fields(decoder, out);
    return !body.failed() && body.at_end();
}

} // namespace vx::icode
