#include "icode/text/assembler.h"

#include "icode/file_header.h"
#include "icode/opcode_table.h"
#include "icode/record_fields.h"
#include "icode/record_reader.h"
#include "icode/record_writer.h"
#include "icode/text/text_syntax.h"

#include <charconv>
#include <deque>
#include <limits>
#include <optional>

namespace vx::icode::text {

namespace {

[[noreturn]] void mistake(int line, const std::string& message) {
    throw TextError(line, message);
}

// -- Tokens of one statement, sorted by role ------------------------------------

struct NamedValue {
    std::string name;
    const Token* value;
    bool used = false;
};

struct FieldTokens {
    int line = 0;
    std::string what; // the keyword, for messages
    std::vector<const Token*> positional;
    std::vector<NamedValue> named;
    std::vector<SourcePos> positions;
};

std::optional<uint32_t> parse_u32(std::string_view digits) {
    uint32_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

SourcePos parse_position(const Token& token) {
    std::string_view text = std::string_view(token.text).substr(1);
    if (text == "-")
        return {};
    size_t first = text.find(':');
    size_t second = first == text.npos ? text.npos : text.find(':', first + 1);
    auto file = parse_u32(text.substr(0, first));
    auto line =
        second == text.npos ? std::nullopt : parse_u32(text.substr(first + 1, second - first - 1));
    auto column = second == text.npos ? std::nullopt : parse_u32(text.substr(second + 1));
    if (!file || !line || !column)
        mistake(token.line, "a position is @FILE:LINE:COLUMN or @-, not '" + token.text + "'");
    if (*file == 0)
        mistake(token.line, "a position with file 0 has no line or column; write @-");
    return {*file, *line, *column};
}

// Sorts the tokens [from, to) of a statement into positional values, named
// values and positions.
FieldTokens sort_tokens(const TextStatement& statement, size_t from, size_t to) {
    FieldTokens sorted;
    sorted.line = statement.line;
    sorted.what = statement.tokens.front().text;
    for (size_t i = from; i < to; ++i) {
        const Token& token = statement.tokens[i];
        if (token.kind == TokenKind::string) {
            sorted.positional.push_back(&token);
        } else if (token.kind != TokenKind::word) {
            mistake(token.line, "unexpected '" + token.text + "'");
        } else if (token.text.front() == '@') {
            sorted.positions.push_back(parse_position(token));
        } else if (size_t equals = token.text.find('='); equals != std::string::npos) {
            NamedValue named{token.text.substr(0, equals), nullptr};
            if (equals + 1 < token.text.size()) {
                // The value is the rest of the word: keep it as a word token of its own.
                named.value = &token;
            } else if (i + 1 < to && statement.tokens[i + 1].kind != TokenKind::open &&
                       statement.tokens[i + 1].kind != TokenKind::close) {
                named.value = &statement.tokens[++i];
            } else {
                mistake(token.line, "'" + token.text + "' has no value");
            }
            sorted.named.push_back(named);
        } else {
            sorted.positional.push_back(&token);
        }
    }
    return sorted;
}

// The text of a value token: a word after its "name=", or the token's own.
std::string_view value_text(const Token& token, const std::string& name) {
    if (token.kind == TokenKind::word && token.text.size() > name.size() &&
        token.text.compare(0, name.size(), name) == 0 && token.text[name.size()] == '=')
        return std::string_view(token.text).substr(name.size() + 1);
    return token.text;
}

// -- Storage for what a statement group refers to -------------------------------

struct Arena {
    std::deque<std::string> strings;
    std::deque<std::vector<std::string_view>> string_lists;
    std::deque<std::vector<TreeNode>> trees;
    std::deque<std::vector<EhtName>> name_lists;
    std::vector<AttributeList> attributes;
    std::vector<EhtEntry> entries;
    std::vector<Tree> values;

    void clear() { *this = Arena{}; }
};

// -- Reading fields ---------------------------------------------------------------

class FieldParser {
public:
    FieldParser(FieldTokens& tokens, Arena& arena, int version, const TypeSigns& signs)
        : tokens_(tokens), arena_(arena), version_(version), signs_(signs) {}

    template <class T> void u8(Key key, T& field) { integer(key, field, 0, 255); }
    template <class T> void s16(Key key, T& field) { integer(key, field, -32768, 65535); }
    template <class T> void u32(Key key, T& field) { integer(key, field, 0, UINT32_MAX); }
    template <class T> void uleb(Key key, T& field) { integer(key, field, 0, UINT32_MAX); }
    template <class T> void typeref(Key key, T& field) { integer(key, field, 0, UINT32_MAX); }
    template <class T> void sleb(Key key, T& field) { integer(key, field, INT32_MIN, INT32_MAX); }
    void string(Key key, std::string_view& field);
    void counted(Key key, std::string_view& field);
    void rest(Key key, Bytes& field);
    void pos(SourcePos& pos);
    void string_list(Key key, std::span<const std::string_view>& field);
    void pairs(Key key, Bytes& field);
    template <class T> void count_u8(std::span<const T>&) {}
    template <class T> void count_uleb(std::span<const T>&) {}
    void type_code(uint8_t& code, TypeBody& body);

    int version() const { return version_; }
    const TypeSigns& signs() const { return signs_; }

    void set_version(int version) { version_ = version; }
    bool has_positional_left() const { return next_ < tokens_.positional.size(); }
    // Complains about what no field took.
    void finish() const;

private:
    const Token* take(Key key);
    template <class T> void integer(Key key, T& field, int64_t low, int64_t high) {
        if (const Token* token = take(key))
            field = static_cast<T>(parse_integer(*token, key, low, high));
    }
    int64_t parse_integer(const Token& token, Key key, int64_t low, int64_t high) const;
    const Token& text_token(const Token& token, Key key) const;

    FieldTokens& tokens_;
    Arena& arena_;
    int version_;
    const TypeSigns& signs_;
    size_t next_ = 0;
    size_t next_position_ = 0;
};

const Token* FieldParser::take(Key key) {
    const Token* by_name = nullptr;
    for (NamedValue& named : tokens_.named) {
        if (named.used || named.name != key.name)
            continue;
        if (by_name)
            mistake(named.value->line, "field '" + named.name + "' is given twice");
        named.used = true;
        by_name = named.value;
    }
    if (next_ < tokens_.positional.size()) {
        if (by_name)
            mistake(by_name->line, "field '" + std::string(key.name) + "' is given twice");
        return tokens_.positional[next_++];
    }
    return by_name;
}

int64_t FieldParser::parse_integer(const Token& token, Key key, int64_t low, int64_t high) const {
    std::string_view text = value_text(token, key.name);
    if (token.kind != TokenKind::word)
        mistake(token.line, "field '" + std::string(key.name) + "' takes a number");
    bool negative = !text.empty() && text.front() == '-';
    std::string_view digits = negative ? text.substr(1) : text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits = digits.substr(2);
    }
    uint64_t magnitude = 0;
    auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        magnitude > (uint64_t{1} << 40))
        mistake(token.line,
                "'" + std::string(text) + "' is not a number (field '" + key.name + "')");
    int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (value < low || value > high)
        mistake(token.line, std::string(text) + " is out of range for field '" + key.name + "' (" +
                                std::to_string(low) + " to " + std::to_string(high) + ")");
    return value;
}

const Token& FieldParser::text_token(const Token& token, Key key) const {
    if (token.kind != TokenKind::string)
        mistake(token.line, "field '" + std::string(key.name) + "' takes a string in quotes");
    return token;
}

void FieldParser::string(Key key, std::string_view& field) {
    const Token* token = take(key);
    if (!token)
        return;
    const std::string& text = text_token(*token, key).text;
    if (text.find('\0') != std::string::npos)
        mistake(token->line, "field '" + std::string(key.name) + "' cannot hold \\0");
    field = arena_.strings.emplace_back(text);
}

void FieldParser::counted(Key key, std::string_view& field) {
    if (const Token* token = take(key))
        field = arena_.strings.emplace_back(text_token(*token, key).text);
}

void FieldParser::rest(Key key, Bytes& field) {
    const Token* token = take(key);
    if (!token)
        return;
    std::string_view text = value_text(*token, key.name);
    std::string bytes;
    bool framed = token->kind == TokenKind::word && text.size() >= 2 && text.front() == '<' &&
                  text.back() == '>' && text.size() % 2 == 0;
    for (size_t i = 1; framed && i + 1 < text.size(); i += 2) {
        uint8_t byte = 0;
        auto [end, error] = std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
        framed = error == std::errc() && end == text.data() + i + 2;
        bytes.push_back(static_cast<char>(byte));
    }
    if (!framed)
        mistake(token->line,
                "field '" + std::string(key.name) + "' takes bytes in hexadecimal between < and >");
    field = arena_.strings.emplace_back(std::move(bytes));
}

void FieldParser::pos(SourcePos& pos) {
    if (next_position_ < tokens_.positions.size())
        pos = tokens_.positions[next_position_++];
}

void FieldParser::string_list(Key key, std::span<const std::string_view>& field) {
    std::vector<std::string_view>& list = arena_.string_lists.emplace_back();
    while (has_positional_left()) {
        std::string_view text;
        string(key, text);
        list.push_back(text);
    }
    field = list;
}

void FieldParser::pairs(Key key, Bytes& field) {
    const Token* token = take(key);
    if (!token)
        return;
    std::string_view text = value_text(*token, key.name);
    std::string bytes;
    for (size_t at = 0; at < text.size();) {
        size_t comma = text.find(',', at);
        std::string_view element = text.substr(at, comma == text.npos ? text.npos : comma - at);
        size_t colon = element.find(':');
        Token part{TokenKind::word, token->line, std::string(element.substr(0, colon))};
        Key direction{key.name};
        int64_t dir = parse_integer(part, direction, 0, 255);
        part.text = colon == element.npos ? "" : std::string(element.substr(colon + 1));
        int64_t distance = parse_integer(part, direction, -128, 127);
        bytes.push_back(static_cast<char>(dir));
        bytes.push_back(static_cast<char>(distance));
        at = comma == text.npos ? text.size() : comma + 1;
    }
    if (bytes.size() / 2 > 255)
        mistake(token->line, "at most 255 elements");
    field = arena_.strings.emplace_back(std::move(bytes));
}

void FieldParser::type_code(uint8_t& code, TypeBody& body) {
    if (!has_positional_left())
        mistake(tokens_.line, "a type record needs a type code after its number");
    const Token& token = *tokens_.positional[next_++];
    int found = token.kind == TokenKind::word ? type_code_for_keyword(token.text) : -1;
    if (found < 0)
        mistake(token.line, "unknown type code '" + token.text + "'");
    code = static_cast<uint8_t>(found);
    body = type_body_for(code);
}

void FieldParser::finish() const {
    if (has_positional_left()) {
        const Token& extra = *tokens_.positional[next_];
        mistake(extra.line, "too many values for '" + tokens_.what + "': '" + extra.text + "'");
    }
    for (const NamedValue& named : tokens_.named)
        if (!named.used)
            mistake(named.value->line, "'" + tokens_.what + "' has no field '" + named.name +
                                           "' in version " + std::to_string(version_));
    if (next_position_ < tokens_.positions.size())
        mistake(tokens_.line, "'" + tokens_.what + "' has no room for another position");
}

// -- The file header -------------------------------------------------------------

struct HeaderFields {
    int32_t version = kNewestVersion;
    int32_t format = kFormatNumber;
    std::string_view name;
    uint32_t word = 0;
};

template <class V> void header_fields(V& v, HeaderFields& header) {
    v.s16(lead("version"), header.version);
    v.s16(lead("format"), header.format);
    v.string(lead("name"), header.name);
    if (header_has_trailing_word(header.version))
        v.u32(named("word"), header.word);
}

// -- The assembler -----------------------------------------------------------------

class Assembler {
public:
    explicit Assembler(std::string_view text) : statements_(split_statements(text)) {}

    std::string run();

private:
    struct Piece {
        bool is_gap = false;
        Section section = MAIN_PART;
        size_t first = 0; // statements [first, last)
        size_t last = 0;
        std::string bytes; // of a gap
    };

    size_t read_header();
    void split_pieces(size_t from);
    std::vector<std::string> encode_pieces();
    std::string lay_out(const std::vector<std::string>& encoded) const;
    std::string encode_section(const Piece& piece);
    size_t encode_group(size_t at, Section section, RecordWriter& writer, std::string& out);
    std::string hex_bytes(const TextStatement& statement, size_t from) const;

    template <class T>
    void parse_fields(const TextStatement& statement, size_t from, size_t to, T& record) {
        FieldTokens tokens = sort_tokens(statement, from, to);
        FieldParser parser(tokens, arena_, version_, signs_);
        fields(parser, record);
        parser.finish();
    }
    size_t tree_start(const TextStatement& statement) const;
    Tree parse_tree(const TextStatement& statement, size_t from);
    TreeNode parse_node_head(const TextStatement& statement, size_t& at);
    size_t symbol(size_t at, SymbolDecl& symbol);
    void statement(const TextStatement& text, Statement& statement);
    size_t exception_table(size_t at, ExceptionTable& table);
    size_t eht_entry(size_t at);
    size_t initializer(size_t at, Initializer& initializer);
    bool is_keyword(size_t at, std::string_view keyword) const {
        return at < statements_.size() && statements_[at].tokens.front().kind == TokenKind::word &&
               statements_[at].tokens.front().text == keyword;
    }
    bool is_tree_statement(size_t at, const Piece& piece) const {
        return at < piece.last && statements_[at].tokens.front().kind == TokenKind::open;
    }

    std::vector<TextStatement> statements_;
    std::vector<Piece> pieces_;
    const Piece* current_ = nullptr;
    std::optional<HeaderFields> header_;
    std::string header_name_;
    std::string raw_header_;
    int version_ = kNewestVersion;
    TypeSigns signs_;
    Arena arena_;
};

std::string Assembler::run() {
    size_t from = read_header();
    split_pieces(from);
    return lay_out(encode_pieces());
}

// The bytes of every piece.  The type section goes first: the signedness
// of the constants in the other sections depends on it.
std::vector<std::string> Assembler::encode_pieces() {
    std::vector<std::string> encoded(pieces_.size());
    for (size_t i = 0; i < pieces_.size(); ++i)
        if (!pieces_[i].is_gap && pieces_[i].section == TYPE_SECTION)
            encoded[i] = encode_section(pieces_[i]);
    for (size_t i = 0; i < pieces_.size(); ++i)
        if (pieces_[i].is_gap)
            encoded[i] = pieces_[i].bytes;
        else if (pieces_[i].section != TYPE_SECTION)
            encoded[i] = encode_section(pieces_[i]);
    return encoded;
}

// The header, then the pieces in the order of the text; the header's
// offsets are filled in once the pieces are placed (the header keeps its
// size, its offsets being fixed-width).
std::string Assembler::lay_out(const std::vector<std::string>& encoded) const {
    if (!header_) {
        std::string out = raw_header_;
        for (const std::string& piece : encoded)
            out += piece;
        return out;
    }
    FileHeader header;
    header.version = header_->version;
    header.format = header_->format;
    header.name = std::string(header_->name);
    header.trailing_word = header_->word;
    std::string out = encode_file_header(header);
    for (size_t i = 0; i < pieces_.size(); ++i) {
        if (!pieces_[i].is_gap && pieces_[i].section != MAIN_PART)
            header.section_offsets[pieces_[i].section] = static_cast<uint32_t>(out.size());
        out += encoded[i];
    }
    std::string final_header = encode_file_header(header);
    out.replace(0, final_header.size(), final_header);
    return out;
}

// The header line, if any; returns the first statement after it.
size_t Assembler::read_header() {
    if (statements_.empty())
        return 0;
    if (is_keyword(0, "header-raw")) {
        raw_header_ = hex_bytes(statements_[0], 1);
        auto decoded = decode_file_header(reinterpret_cast<const uint8_t*>(raw_header_.data()),
                                          raw_header_.size());
        version_ = decoded ? decoded->version : kNewestVersion;
        return 1;
    }
    if (!is_keyword(0, "icode"))
        return 0;
    HeaderFields header;
    FieldTokens tokens = sort_tokens(statements_[0], 1, statements_[0].tokens.size());
    FieldParser parser(tokens, arena_, kNewestVersion, signs_);
    header_fields(parser, header);
    parser.set_version(header.version);
    parser.finish();
    version_ = header.version;
    header_name_ = std::string(header.name);
    header.name = header_name_;
    header_ = header;
    return 1;
}

// Cuts the statements into sections and gaps.
void Assembler::split_pieces(size_t from) {
    bool header = header_ || !raw_header_.empty();
    bool seen[MAIN_PART + 1] = {};
    bool open = false;
    auto start = [&](Section section, size_t at, int line) {
        if (seen[section])
            mistake(line, std::string("section ") + section_keyword(section) + " appears twice");
        seen[section] = true;
        pieces_.push_back(Piece{false, section, at, at, {}});
        open = true;
    };
    if (header)
        start(MAIN_PART, from, 0);
    for (size_t at = from; at < statements_.size(); ++at) {
        const TextStatement& statement = statements_[at];
        const Token& keyword = statement.tokens.front();
        if (is_keyword(at, "section")) {
            if (statement.tokens.size() != 2 || !section_for_keyword(statement.tokens[1].text))
                mistake(statement.line,
                        "a section line names one of main, init, pragma, types, files, symbols");
            Section section = *section_for_keyword(statement.tokens[1].text);
            if (section == MAIN_PART && pieces_.size() == 1 && open &&
                pieces_[0].section == MAIN_PART && pieces_[0].first == at) {
                pieces_[0].first = pieces_[0].last = at + 1; // "section main" after the header
                continue;
            }
            start(section, at + 1, statement.line);
        } else if (is_keyword(at, "gap")) {
            std::string bytes = hex_bytes(statement, 1);
            if (!pieces_.empty() && pieces_.back().is_gap)
                pieces_.back().bytes += bytes;
            else
                pieces_.push_back(Piece{true, MAIN_PART, at, at, std::move(bytes)});
            open = false;
        } else if (!open) {
            if (!pieces_.empty())
                mistake(keyword.line, "records after a gap need a section line");
            start(MAIN_PART, at, keyword.line);
        }
        if (open)
            pieces_.back().last = at + 1;
    }
}

std::string Assembler::hex_bytes(const TextStatement& statement, size_t from) const {
    std::string bytes;
    for (size_t i = from; i < statement.tokens.size(); ++i) {
        const Token& token = statement.tokens[i];
        bool even = token.kind == TokenKind::word && token.text.size() % 2 == 0;
        for (size_t at = 0; even && at < token.text.size(); at += 2) {
            uint8_t byte = 0;
            auto [end, error] =
                std::from_chars(token.text.data() + at, token.text.data() + at + 2, byte, 16);
            even = error == std::errc() && end == token.text.data() + at + 2;
            bytes.push_back(static_cast<char>(byte));
        }
        if (!even)
            mistake(token.line, "'" + token.text + "' is not a run of hexadecimal bytes");
    }
    return bytes;
}

std::string Assembler::encode_section(const Piece& piece) {
    std::string out;
    RecordWriter writer(out, version_);
    writer.use_type_signs(signs_);
    writer.set_learning_types(piece.section == TYPE_SECTION);
    current_ = &piece;
    for (size_t at = piece.first; at < piece.last;) {
        at = encode_group(at, piece.section, writer, out);
        arena_.clear();
    }
    writer.end_section();
    return out;
}

// Encodes the record that starts at statement `at` with the statements
// that belong to it; returns the statement after them.
size_t Assembler::encode_group(size_t at, Section section, RecordWriter& writer, std::string& out) {
    const TextStatement& statement = statements_[at];
    const Token& keyword = statement.tokens.front();
    if (keyword.kind != TokenKind::word)
        mistake(keyword.line, "a tree belongs on a stmt or cleanup line, or after an init line");
    if (keyword.text == "raw") {
        std::string bytes = hex_bytes(statement, 1);
        TypeRecord type;
        if (section == TYPE_SECTION && try_decode_type_record(bytes, version_, signs_, type))
            signs_.learn(type);
        out += bytes;
        return at + 1;
    }
    std::optional<RecordBody> body = record_for_keyword(keyword.text);
    if (!body) {
        if (keyword.text == "attr")
            mistake(keyword.line, "attr must follow a sym line (lone-attr stands alone)");
        if (keyword.text == "entry" || keyword.text == "cleanup" || keyword.text == "names")
            mistake(keyword.line, keyword.text + " belongs to an eht line");
        mistake(keyword.line, "unknown keyword '" + keyword.text + "'");
    }
    size_t next = at + 1;
    std::visit(
        [&](auto& record) {
            using T = std::decay_t<decltype(record)>;
            if constexpr (std::is_same_v<T, SymbolDecl>)
                next = symbol(at, record);
            else if constexpr (std::is_same_v<T, Statement>)
                this->statement(statement, record);
            else if constexpr (std::is_same_v<T, ExceptionTable>)
                next = exception_table(at, record);
            else if constexpr (std::is_same_v<T, Initializer>)
                next = initializer(at, record);
            else if constexpr (!std::is_same_v<T, UnknownRecord>)
                parse_fields(statement, 1, statement.tokens.size(), record);
        },
        *body);
    writer.write(*body);
    return next;
}

size_t Assembler::symbol(size_t at, SymbolDecl& symbol) {
    const TextStatement& statement = statements_[at];
    parse_fields(statement, 1, statement.tokens.size(), symbol);
    size_t next = at + 1;
    for (; next < current_->last && is_keyword(next, "attr"); ++next) {
        const TextStatement& list = statements_[next];
        parse_fields(list, 1, list.tokens.size(), arena_.attributes.emplace_back());
    }
    if (arena_.attributes.size() > 255)
        mistake(statement.line, "a symbol carries at most 255 attribute lists");
    symbol.attributes = arena_.attributes;
    return next;
}

size_t Assembler::tree_start(const TextStatement& statement) const {
    for (size_t i = 1; i < statement.tokens.size(); ++i)
        if (statement.tokens[i].kind == TokenKind::open)
            return i;
    mistake(statement.line, "'" + statement.tokens.front().text + "' needs a tree");
}

void Assembler::statement(const TextStatement& text, Statement& statement) {
    size_t tree_at = tree_start(text);
    parse_fields(text, 1, tree_at, statement);
    statement.tree = parse_tree(text, tree_at);
}

size_t Assembler::exception_table(size_t at, ExceptionTable& table) {
    const TextStatement& statement = statements_[at];
    parse_fields(statement, 1, statement.tokens.size(), table);
    size_t next = at + 1;
    while (next < current_->last && is_keyword(next, "entry"))
        next = eht_entry(next);
    table.entries = arena_.entries;
    return next;
}

size_t Assembler::eht_entry(size_t at) {
    const TextStatement& statement = statements_[at];
    EhtEntry entry;
    parse_fields(statement, 1, statement.tokens.size(), entry);
    size_t next = at + 1;
    if (entry.kind == kEhtCleanupEntry) {
        if (next >= current_->last || !is_keyword(next, "cleanup"))
            mistake(statement.line, "an entry of kind 1 is followed by its cleanup line");
        const TextStatement& cleanup = statements_[next++];
        size_t tree_at = tree_start(cleanup);
        Statement position;
        parse_fields(cleanup, 1, tree_at, position);
        entry.cleanup_pos = position.pos;
        entry.cleanup = parse_tree(cleanup, tree_at);
    } else if (entry.kind == kEhtNamesEntry) {
        if (next >= current_->last || !is_keyword(next, "names"))
            mistake(statement.line, "an entry of kind 2 is followed by its names line");
        const TextStatement& names_line = statements_[next++];
        FieldTokens tokens = sort_tokens(names_line, 1, names_line.tokens.size());
        FieldParser parser(tokens, arena_, version_, signs_);
        std::vector<EhtName>& names = arena_.name_lists.emplace_back();
        while (parser.has_positional_left())
            fields(parser, names.emplace_back());
        parser.finish();
        if (names.size() != entry.count)
            mistake(names_line.line, "the entry announces " + std::to_string(entry.count) +
                                         " names, the names line has " +
                                         std::to_string(names.size()));
        entry.names = names;
    }
    arena_.entries.push_back(entry);
    return next;
}

size_t Assembler::initializer(size_t at, Initializer& initializer) {
    const TextStatement& statement = statements_[at];
    parse_fields(statement, 1, statement.tokens.size(), initializer);
    size_t next = at + 1;
    for (;;) {
        if (!is_tree_statement(next, *current_))
            mistake(statement.line, "the initializer's values end with (ENDINIT)");
        Tree value = parse_tree(statements_[next], 0);
        ++next;
        arena_.values.push_back(value);
        if (value.front().opcode == kEndInitOpcode)
            break;
    }
    initializer.values = arena_.values;
    return next;
}

// Reads "(OPCODE[:TYPE] payload... operands...)" from token `from` to the
// end of the statement; nesting is followed with a stack of its own.
Tree Assembler::parse_tree(const TextStatement& statement, size_t from) {
    struct Open {
        size_t node;
        int operands;
    };
    std::vector<TreeNode>& nodes = arena_.trees.emplace_back();
    std::vector<Open> open;
    size_t at = from;
    do {
        const Token& token = statement.tokens[at];
        if (token.kind == TokenKind::open) {
            if (!open.empty() &&
                ++open.back().operands > file_opcode(nodes[open.back().node].opcode).operand_count)
                mistake(token.line,
                        "too many operands for " +
                            std::string(file_opcode(nodes[open.back().node].opcode).name));
            ++at;
            nodes.push_back(parse_node_head(statement, at));
            open.push_back({nodes.size() - 1, 0});
        } else if (token.kind == TokenKind::close) {
            const FileOpcode& opcode = file_opcode(nodes[open.back().node].opcode);
            if (open.back().operands != opcode.operand_count)
                mistake(token.line, std::string(opcode.name) + " takes " +
                                        std::to_string(opcode.operand_count) + " operands, found " +
                                        std::to_string(open.back().operands));
            open.pop_back();
            ++at;
        } else {
            mistake(token.line, "unexpected '" + token.text + "' among operands");
        }
    } while (!open.empty());
    if (at < statement.tokens.size())
        mistake(statement.tokens[at].line,
                "unexpected '" + statement.tokens[at].text + "' after the tree");
    return nodes;
}

// Reads the opcode, type and payload of a node; `at` is just after "(".
TreeNode Assembler::parse_node_head(const TextStatement& statement, size_t& at) {
    if (at >= statement.tokens.size() || statement.tokens[at].kind != TokenKind::word)
        mistake(statement.tokens[at - 1].line, "'(' is followed by an opcode");
    const Token& head = statement.tokens[at++];
    std::string_view name = head.text;
    TreeNode node;
    if (size_t colon = name.find(':'); colon != name.npos) {
        auto type = parse_u32(name.substr(colon + 1));
        if (!type)
            mistake(head.line, "'" + head.text + "': the type after ':' is a number");
        node.type = *type;
        name = name.substr(0, colon);
    }
    int opcode = file_opcode_number(name);
    if (opcode < 0 && name.substr(0, 2) == "op") {
        auto number = parse_u32(name.substr(2));
        opcode = number && *number <= kLastFileOpcode ? static_cast<int>(*number) : -1;
    }
    if (opcode < 0)
        mistake(head.line, "unknown opcode '" + std::string(name) + "'");
    node.opcode = static_cast<uint8_t>(opcode);
    size_t payload_end = at;
    while (payload_end < statement.tokens.size() &&
           statement.tokens[payload_end].kind != TokenKind::open &&
           statement.tokens[payload_end].kind != TokenKind::close)
        ++payload_end;
    FieldTokens tokens = sort_tokens(statement, at, payload_end);
    tokens.what = std::string(name);
    FieldParser parser(tokens, arena_, version_, signs_);
    payload_fields(parser, node);
    parser.finish();
    at = payload_end;
    if (at >= statement.tokens.size())
        mistake(head.line, "unclosed '('");
    return node;
}

} // namespace

std::string assemble(std::string_view text) {
    return Assembler(text).run();
}

} // namespace vx::icode::text
