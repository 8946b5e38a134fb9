#include "icode/text/disassembler.h"

#include "icode/opcode_table.h"
#include "icode/record_fields.h"
#include "icode/record_writer.h"
#include "icode/text/text_lexer.h"
#include "icode/text/text_syntax.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

namespace vx::icode::text {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void append_hex_byte(std::string& out, uint8_t byte) {
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 15];
}

std::string blob(Bytes bytes) {
    std::string text = "<";
    for (char c : bytes)
        append_hex_byte(text, static_cast<uint8_t>(c));
    return text + ">";
}

std::string position_text(const SourcePos& pos) {
    char text[48];
    std::snprintf(text, sizeof text, "@%" PRIu32 ":%" PRIu32 ":%" PRIu32, pos.file, pos.line,
                  pos.column);
    return text;
}

// Prints fields: leading ones by position, the others as name=value when
// they are not zero (or everything by position, inside trees).
class FieldPrinter {
public:
    FieldPrinter(std::string& out, int version, const TypeSigns& signs, bool all_positional)
        : out_(out), version_(version), signs_(signs), all_positional_(all_positional) {}

    template <class T> void u8(Key key, const T& field) {
        unsigned_value(key, static_cast<uint8_t>(field));
    }
    template <class T> void s16(Key key, const T& field) {
        auto value = static_cast<int16_t>(field);
        if (key.hex)
            unsigned_value(key, static_cast<uint16_t>(value));
        else
            signed_value(key, value);
    }
    template <class T> void u32(Key key, const T& field) {
        unsigned_value(key, static_cast<uint32_t>(field));
    }
    template <class T> void uleb(Key key, const T& field) {
        unsigned_value(key, static_cast<uint32_t>(field));
    }
    template <class T> void typeref(Key key, const T& field) {
        unsigned_value(key, static_cast<uint32_t>(field));
    }
    template <class T> void sleb(Key key, const T& field) {
        signed_value(key, static_cast<int32_t>(field));
    }
    void string(Key key, std::string_view field) { item(key, field.empty(), quote(field)); }
    void counted(Key key, std::string_view field) { item(key, field.empty(), quote(field)); }
    void rest(Key key, Bytes field) { item(key, field.empty(), blob(field)); }
    // Shown at the end of the line, where it reads best; the parser takes
    // a position from anywhere.
    void pos(const SourcePos& pos) { pos_ = pos; }
    void string_list(Key, std::span<const std::string_view> strings) {
        for (std::string_view text : strings)
            out_ += " " + quote(text);
    }
    void pairs(Key key, Bytes elements) { item(key, elements.empty(), pairs_text(elements)); }
    template <class T> void count_u8(std::span<const T>) {}
    template <class T> void count_uleb(std::span<const T>) {}
    void type_code(uint8_t code, const TypeBody&) {
        const char* keyword = type_code_keyword(code);
        out_ += " ";
        out_ += keyword ? keyword : "code" + std::to_string(code);
    }

    int version() const { return version_; }
    const TypeSigns& signs() const { return signs_; }

    void finish() {
        if (pos_.file != 0)
            out_ += " " + position_text(pos_);
    }

private:
    void unsigned_value(Key key, uint32_t value) {
        char text[16];
        std::snprintf(text, sizeof text, key.hex ? "0x%" PRIx32 : "%" PRIu32, value);
        item(key, value == 0, text);
    }
    void signed_value(Key key, int32_t value) { item(key, value == 0, std::to_string(value)); }
    void item(Key key, bool is_zero, const std::string& text) {
        if (all_positional_ || key.leading)
            out_ += " " + text;
        else if (!is_zero)
            out_ += std::string(" ") + key.name + "=" + text;
    }
    static std::string pairs_text(Bytes elements) {
        std::string text;
        for (size_t i = 0; i + 1 < elements.size(); i += 2) {
            if (i > 0)
                text += ",";
            text += std::to_string(static_cast<uint8_t>(elements[i])) + ":" +
                    std::to_string(static_cast<int8_t>(elements[i + 1]));
        }
        return text;
    }

    std::string& out_;
    int version_;
    const TypeSigns& signs_;
    bool all_positional_;
    SourcePos pos_;
};

template <class T>
void print_fields(std::string& out, const T& record, int version, const TypeSigns& signs) {
    FieldPrinter printer(out, version, signs, false);
    fields(printer, record);
    printer.finish();
}

std::string node_head(const TreeNode& node) {
    std::string_view name = file_opcode(node.opcode).name;
    std::string head = name.empty() ? "op" + std::to_string(node.opcode) : std::string(name);
    if (node.type != 0)
        head += ":" + std::to_string(node.type);
    return head;
}

void append_tree(std::string& out, Tree tree, const TypeSigns& signs) {
    std::vector<uint8_t> open; // operands still due, per open node
    bool first = true;
    for (const TreeNode& node : tree) {
        if (!first)
            out += " ";
        first = false;
        out += "(" + node_head(node);
        FieldPrinter printer(out, kNewestVersion, signs, true);
        payload_fields(printer, node);
        uint8_t operands = file_opcode(node.opcode).operand_count;
        if (operands > 0) {
            open.push_back(operands);
            continue;
        }
        out += ")";
        while (!open.empty() && --open.back() == 0) {
            out += ")";
            open.pop_back();
        }
    }
}

class Disassembler {
public:
    Disassembler(IcodeStream& stream, std::string& out) : stream_(stream), out_(out) {}

    bool run(std::string& error);

private:
    struct Piece {
        Section section;
        size_t start;
    };

    std::vector<Piece> pieces() const;
    bool check_layout(const std::vector<Piece>& pieces, std::string& error) const;
    void header();
    size_t section(Section section, std::string& text);
    void gap(size_t from, size_t to);
    void group(const Record& record, std::string& text);
    void raw_group(const Record& record, std::string& text);
    void decoded(const Record& record, std::string& text);
    void raw_lines(size_t from, size_t to, std::string& text);
    bool is_shortest(const Record& record);
    void line(std::string& text, const std::string& content);

    template <class T> void flat(std::string& text, const char* keyword, const T& record) {
        std::string content = keyword;
        print_fields(content, record, stream_.version(), stream_.type_signs());
        line(text, content);
    }
    void symbol(std::string& text, const SymbolDecl& symbol);
    void statement(std::string& text, const Statement& statement);
    void exception_table(std::string& text, const ExceptionTable& table);
    void initializer(std::string& text, const Initializer& initializer);

    Bytes bytes(size_t from, size_t to) const {
        return Bytes(reinterpret_cast<const char*>(stream_.data()) + from, to - from);
    }

    IcodeStream& stream_;
    std::string& out_;
    int depth_ = 0;
    std::string reencoded_;
};

std::vector<Disassembler::Piece> Disassembler::pieces() const {
    std::vector<Piece> list;
    for (int s = 0; s <= MAIN_PART; ++s) {
        auto section = static_cast<Section>(s);
        if (stream_.has(section))
            list.push_back({section, stream_.start(section)});
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const Piece& a, const Piece& b) { return a.start < b.start; });
    return list;
}

bool Disassembler::check_layout(const std::vector<Piece>& list, std::string& error) const {
    for (size_t i = 1; i < list.size(); ++i) {
        if (list[i].start != list[i - 1].start)
            continue;
        error = std::string("the ") + section_title(list[i - 1].section) + " and the " +
                section_title(list[i].section) + " both start at offset " +
                std::to_string(list[i].start) + "; the text form cannot show that";
        return false;
    }
    return true;
}

bool Disassembler::run(std::string& error) {
    std::vector<Piece> list = pieces();
    if (!check_layout(list, error))
        return false;
    header();
    // Types first, as a reader does: the trees of the other sections need
    // the signedness of their types.
    std::string type_text;
    size_t type_end = stream_.has(TYPE_SECTION) ? section(TYPE_SECTION, type_text) : 0;
    size_t at = stream_.header().record_size;
    for (const Piece& piece : list) {
        gap(at, piece.start);
        out_ += std::string(piece.section == MAIN_PART ? "" : "\n") + "section " +
                section_keyword(piece.section) + "\n";
        if (piece.section == TYPE_SECTION) {
            out_ += type_text;
            at = type_end;
        } else {
            at = section(piece.section, out_);
        }
    }
    gap(at, stream_.size());
    return true;
}

void Disassembler::header() {
    const FileHeader& header = stream_.header();
    Bytes original = bytes(0, header.record_size);
    if (encode_file_header(header) != original) {
        out_ += "header-raw";
        for (char c : original) {
            out_ += " ";
            append_hex_byte(out_, static_cast<uint8_t>(c));
        }
        out_ += "\n";
        return;
    }
    out_ += "icode " + std::to_string(header.version) + " " + std::to_string(header.format) + " " +
            quote(header.name);
    if (header_has_trailing_word(header.version) && header.trailing_word != 0)
        out_ += " word=" + std::to_string(header.trailing_word);
    out_ += "\n";
}

// Renders one section; returns the stream offset after its end mark.
size_t Disassembler::section(Section section, std::string& text) {
    RecordReader reader(stream_, section);
    reader.set_report_unknown_kinds(false);
    depth_ = 0;
    while (const Record* record = reader.next())
        group(*record, text);
    return reader.offset();
}

void Disassembler::gap(size_t from, size_t to) {
    for (size_t at = from; at < to; at += 32) {
        out_ += "gap";
        for (size_t i = at; i < std::min(to, at + 32); ++i) {
            out_ += " ";
            append_hex_byte(out_, stream_.data()[i]);
        }
        out_ += "\n";
    }
}

void Disassembler::line(std::string& text, const std::string& content) {
    text.append(2 * static_cast<size_t>(depth_), ' ');
    text += content;
    text += "\n";
}

bool Disassembler::is_shortest(const Record& record) {
    if (std::holds_alternative<UnknownRecord>(record.body))
        return false;
    reencoded_.clear();
    RecordWriter writer(reencoded_, stream_.version());
    writer.use_type_signs(stream_.type_signs());
    writer.write(record.body);
    return reencoded_ == bytes(record.offset, record.end);
}

// Functions, blocks and type lists are indented.
bool opens_nesting(const Record& record) {
    const auto* type = std::get_if<TypeRecord>(&record.body);
    return std::holds_alternative<FunctionBegin>(record.body) ||
           std::holds_alternative<FunctionBegin2>(record.body) ||
           std::holds_alternative<BlockBegin>(record.body) || (type && type->code == TC_LIST_BEGIN);
}

bool closes_nesting(const Record& record) {
    const auto* type = std::get_if<TypeRecord>(&record.body);
    return std::holds_alternative<FunctionEnd>(record.body) ||
           std::holds_alternative<FunctionEnd2>(record.body) ||
           std::holds_alternative<BlockEnd>(record.body) || (type && type->code == TC_LIST_END);
}

void Disassembler::group(const Record& record, std::string& text) {
    if (closes_nesting(record) && depth_ > 0)
        --depth_;
    if (is_shortest(record))
        decoded(record, text);
    else
        raw_group(record, text);
    if (opens_nesting(record))
        ++depth_;
}

// A record whose bytes its decoded form would not give back: the bytes,
// after a comment that says what they hold.
void Disassembler::raw_group(const Record& record, std::string& text) {
    if (const auto* unknown = std::get_if<UnknownRecord>(&record.body)) {
        line(text, "; a record of unknown kind " + std::to_string(unknown->kind));
    } else {
        std::string shown;
        decoded(record, shown);
        line(text, "; not in the shortest encoding:");
        for (size_t at = 0; at < shown.size();) {
            size_t end = shown.find('\n', at);
            line(text, ";   " + shown.substr(at, end - at));
            at = end + 1;
        }
    }
    raw_lines(record.offset, record.end, text);
}

// One raw line per record of the group (each framed by kind and length).
void Disassembler::raw_lines(size_t from, size_t to, std::string& text) {
    size_t at = from;
    while (at < to) {
        ByteCursor length(stream_.data() + at + 1, to - at - 1);
        size_t end = at + 1 + length.uleb();
        end += length.offset();
        std::string content = "raw";
        for (size_t i = at; i < end; ++i) {
            content += " ";
            append_hex_byte(content, stream_.data()[i]);
        }
        line(text, content);
        at = end;
    }
}

void Disassembler::decoded(const Record& record, std::string& text) {
    std::visit(
        [&](const auto& body) {
            using T = std::decay_t<decltype(body)>;
            if constexpr (std::is_same_v<T, SymbolDecl>)
                symbol(text, body);
            else if constexpr (std::is_same_v<T, Statement>)
                statement(text, body);
            else if constexpr (std::is_same_v<T, ExceptionTable>)
                exception_table(text, body);
            else if constexpr (std::is_same_v<T, Initializer>)
                initializer(text, body);
            else if constexpr (!std::is_same_v<T, UnknownRecord>)
                flat(text, record_keyword(T::kKind), body);
        },
        record.body);
}

void Disassembler::symbol(std::string& text, const SymbolDecl& symbol) {
    flat(text, "sym", symbol);
    ++depth_;
    for (const AttributeList& list : symbol.attributes)
        flat(text, "attr", list);
    --depth_;
}

void Disassembler::statement(std::string& text, const Statement& statement) {
    std::string content = "stmt";
    if (statement.pos.file != 0)
        content += " " + position_text(statement.pos);
    content += " ";
    append_tree(content, statement.tree, stream_.type_signs());
    line(text, content);
}

void Disassembler::exception_table(std::string& text, const ExceptionTable& table) {
    flat(text, "eht", table);
    ++depth_;
    for (const EhtEntry& entry : table.entries) {
        flat(text, "entry", entry);
        if (entry.kind == kEhtCleanupEntry) {
            std::string content = "cleanup";
            if (entry.cleanup_pos.file != 0)
                content += " " + position_text(entry.cleanup_pos);
            content += " ";
            append_tree(content, entry.cleanup, stream_.type_signs());
            line(text, content);
        } else if (entry.kind == kEhtNamesEntry) {
            std::string content = "names";
            for (const EhtName& name : entry.names)
                print_fields(content, name, stream_.version(), stream_.type_signs());
            line(text, content);
        }
    }
    --depth_;
}

void Disassembler::initializer(std::string& text, const Initializer& initializer) {
    flat(text, "init", initializer);
    ++depth_;
    for (Tree value : initializer.values) {
        std::string content;
        append_tree(content, value, stream_.type_signs());
        line(text, content);
    }
    --depth_;
}

} // namespace

bool disassemble(IcodeStream& stream, std::string& out, std::string& error) {
    return Disassembler(stream, out).run(error);
}

std::string tree_text(Tree tree, const TypeSigns& signs) {
    std::string text;
    append_tree(text, tree, signs);
    return text;
}

} // namespace vx::icode::text
