// optvx with its steps still empty passes every input through: the output
// means what the input meant.  Files are compared by a semantic listing
// that leaves out what the writer decides on its own:
//   - type numbers (a type is named by its structure, enums, structs,
//     unions and classes by their tag, listed once in detail) and which
//     types are written (only those something refers to);
//   - the order of the sections, of the initializers (listed by symbol),
//     of the functions (listed by name) and of the local declarations of a
//     function (the writer puts those of nested blocks with the others; a
//     NAME shows which declaration it names);
//   - file numbers (a position shows its file's name);
//   - block records, the I_EL of nested blocks, the records the optimizer
//     ignores on input (kinds 34, 38, 45, 58, 59, 64, 108, 124, unknown
//     kinds, functions of the second form), leaf marks (checked apart) and
//     the symbol flag bits the reader does not keep (only 0x19FF);
//   - the header's version, format and extra word;
//   - how a constant is spelled (ICON or LCON, hexadecimal float text).
// What the reader converts (LOOP, ENDLOOP, EPVAL ...) shows, and the tests
// that exercise it spell out the expected output.
#include "icode/record_reader.h"
#include "icode/text/assembler.h"
#include "icode/text/disassembler.h"
#include "icode/text/text_syntax.h"
#include "support/process_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace vx::icode;
using vx::testing::run_process;
using vx::testing::ScratchDirectory;

const std::string kOptvx = OPTVX_PATH;
const std::filesystem::path kBuildDir = std::filesystem::path(OPTVX_PATH).parent_path();
const std::filesystem::path kSourceDir =
    std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();

// ---- The semantic listing -------------------------------------------------------------

class SemanticListing {
public:
    explicit SemanticListing(std::string bytes);
    const std::string& text() const { return text_; }

private:
    struct Function {
        std::string name;
        std::vector<std::string> lines;
        std::vector<std::string> locals;
        std::vector<std::string> local_names; // by local index
        std::string end_of_locals;
        bool in_body_locals = true;
    };

    void read_section(Section section);
    void take(const Record& record);
    void take_in_function(const Record& record);
    void declare(const SymbolDecl& d);
    std::string position(const SourcePos& pos) const;
    std::string declaration(const SymbolDecl& d);

    const TypeRecord* definition(uint32_t number) const;
    std::string key(uint32_t number);
    std::string key_of(const TypeRecord& r);
    uint32_t qualifiers_of(uint32_t number) const;
    std::string node_type_key(uint32_t number);
    std::string canonical_key(uint32_t number);
    uint32_t real_number(uint32_t number) const;
    std::string details(uint32_t number);
    std::string list_entry(const TypeRecord& r);

    std::string tree(Tree tree, size_t& at);
    std::string tree(Tree t) {
        size_t at = 0;
        return tree(t, at);
    }
    std::string payload(const TreeNode& n);
    std::string constant(const TreeNode& n);
    std::string symbol_name(uint32_t level, uint32_t index) const;

    std::string bytes_;
    std::optional<IcodeStream> stream_;
    std::string text_;
    std::vector<std::string> files_;
    std::map<uint32_t, std::vector<TypeRecord>> types_;
    std::map<uint32_t, std::string> keys_;
    std::set<uint32_t> nominal_;
    std::vector<std::string> global_names_;
    std::vector<std::string> globals_;
    std::vector<std::string> pragmas_;
    std::vector<std::string> top_level_;
    std::map<uint32_t, std::string> initializers_;
    std::map<std::string, std::string> functions_;
    std::optional<Function> function_;
    int nesting_ = 0;
    bool second_form_ = false;
};

SemanticListing::SemanticListing(std::string bytes) : bytes_(std::move(bytes)) {
    stream_ = IcodeStream::open(bytes_);
    if (!stream_)
        throw std::runtime_error("not an I-code file");
    for (Section s :
         {FILENAME_SECTION, TYPE_SECTION, SYMBOL_SECTION, INIT_SECTION, MAIN_PART, PRAGMA_SECTION})
        read_section(s);
    text_ = "file \"" + stream_->header().name + "\"\n";
    for (const std::string& line : pragmas_)
        text_ += line + "\n";
    for (size_t i = 0; i < globals_.size(); ++i)
        text_ += "global " + globals_[i] + "\n";
    for (const std::string& line : top_level_)
        text_ += line + "\n";
    for (const auto& [name, lines] : functions_)
        text_ += lines;
    for (const auto& [index, line] : initializers_)
        text_ += "init " + global_names_.at(index) + ": " + line + "\n";
    std::set<std::string> detail_lines;
    for (std::set<uint32_t> done; done != nominal_;)
        for (uint32_t number : std::set<uint32_t>(nominal_))
            if (done.insert(number).second)
                detail_lines.insert(details(number));
    for (const std::string& line : detail_lines)
        text_ += line + "\n";
}

void SemanticListing::read_section(Section section) {
    if (!stream_->has(section))
        return;
    RecordReader records(*stream_, section);
    records.set_report_unknown_kinds(false);
    while (const Record* record = records.next())
        take(*record);
}

void SemanticListing::take(const Record& r) {
    if (second_form_) {
        second_form_ = r.kind != KIND_FUNCTION_END_2;
        return;
    }
    if (function_) {
        take_in_function(r);
        return;
    }
    if (const auto* t = std::get_if<TypeRecord>(&r.body))
        types_[t->number].push_back(*t);
    else if (const auto* f = std::get_if<FileName>(&r.body))
        files_.emplace_back(f->name);
    else if (const auto* d = std::get_if<SymbolDecl>(&r.body))
        declare(*d);
    else if (const auto* p = std::get_if<PragmaEntry>(&r.body)) {
        std::string line = "pragma " + std::to_string(p->id);
        for (std::string_view s : p->strings)
            line += " \"" + std::string(s) + "\"";
        pragmas_.push_back(line);
    } else if (const auto* i = std::get_if<Initializer>(&r.body)) {
        std::string line;
        for (Tree value : i->values)
            line += tree(value);
        initializers_[i->symbol] = line;
    } else if (const auto* a = std::get_if<AsmText>(&r.body)) {
        top_level_.push_back("asm \"" + std::string(a->text) + "\" " + position(a->pos));
    } else if (const auto* t = std::get_if<Text>(&r.body)) {
        top_level_.push_back("text \"" + std::string(t->text) + "\"");
    } else if (const auto* b = std::get_if<FunctionBegin>(&r.body)) {
        function_ = Function{global_names_.at(b->symbol), {}, {}, {}, {}, true};
        function_->lines.push_back("function " + function_->name + " " + position(b->pos));
        nesting_ = 1;
    } else if (r.kind == KIND_FUNCTION_BEGIN_2) {
        second_form_ = true;
    }
}

void SemanticListing::take_in_function(const Record& r) {
    Function& f = *function_;
    if (const auto* d = std::get_if<SymbolDecl>(&r.body)) {
        f.local_names.push_back(std::string(d->name) + position(d->pos));
        (nesting_ == 1 ? f.lines : f.locals).push_back("decl " + declaration(*d));
    } else if (const auto* e = std::get_if<ParamsEnd>(&r.body)) {
        f.lines.push_back("endparams " + position(e->pos));
        f.end_of_locals = position(e->pos);
        nesting_ = 2;
    } else if (const auto* l = std::get_if<LocalsEnd>(&r.body)) {
        if (nesting_ == 2)
            f.end_of_locals = position(l->pos);
    } else if (r.kind == KIND_BLOCK_BEGIN || r.kind == KIND_BLOCK_END) {
        nesting_ += r.kind == KIND_BLOCK_BEGIN ? 1 : -1;
    } else if (const auto* s = std::get_if<Statement>(&r.body)) {
        f.lines.push_back("stmt " + position(s->pos) + " " + tree(s->tree));
    } else if (const auto* l = std::get_if<LabelDef>(&r.body)) {
        f.lines.push_back("label " + std::to_string(l->label));
    } else if (const auto* a = std::get_if<AsmText>(&r.body)) {
        f.lines.push_back("asm \"" + std::string(a->text) + "\" " + position(a->pos));
    } else if (const auto* t = std::get_if<Text>(&r.body)) {
        f.lines.push_back("text \"" + std::string(t->text) + "\"");
    } else if (const auto* table = std::get_if<ExceptionTable>(&r.body)) {
        for (const EhtEntry& e : table->entries) {
            std::string line = "eht " + std::to_string(e.id) + " " + std::to_string(e.kind) + " " +
                               std::to_string(e.number) + " " + std::to_string(e.count);
            if (e.kind == kEhtCleanupEntry)
                line += " cleanup " + position(e.cleanup_pos) + " " + tree(e.cleanup);
            for (const EhtName& n : e.names)
                line += " \"" + std::string(n.name) + "\" " + std::to_string(n.number) + " " +
                        std::to_string(n.byte);
            f.lines.push_back(line);
        }
    } else if (const auto* end = std::get_if<FunctionEnd>(&r.body)) {
        std::sort(f.locals.begin(), f.locals.end());
        std::string all;
        for (const std::string& line : f.lines) {
            all += "  " + line + "\n";
            if (line.starts_with("endparams")) {
                for (const std::string& local : f.locals)
                    all += "  " + local + "\n";
                all += "  endlocals " + f.end_of_locals + "\n";
            }
        }
        functions_[f.name] = all + "  end " + position(end->pos) + "\n";
        function_.reset();
        nesting_ = 0;
    }
}

void SemanticListing::declare(const SymbolDecl& d) {
    global_names_.push_back(std::string(d.name) + "/" +
                            std::to_string(d.storage_class == 27 ? 9 : d.storage_class));
    globals_.push_back(declaration(d));
}

std::string SemanticListing::position(const SourcePos& pos) const {
    if (pos.file == 0)
        return "@-";
    const std::string file = pos.file <= files_.size() ? files_[pos.file - 1] : "NO_FILE";
    return "@" + file + ":" + std::to_string(pos.line) + ":" + std::to_string(pos.column);
}

// What the reader keeps of a declaration: a size of 22 is 32 with alignment
// 32, class 27 is 9, flags keep the bits 0x19FF.
std::string SemanticListing::declaration(const SymbolDecl& d) {
    const bool old_pointer = d.size == 22;
    char numbers[160];
    std::snprintf(
        numbers, sizeof numbers, " size=%u offset=%u class=%u flags=0x%x align=%u aux=%u,%u ",
        old_pointer ? 32 : d.size, d.offset, d.storage_class == 27 ? 9 : d.storage_class,
        static_cast<unsigned>(d.flags) & 0x19FF, old_pointer ? 32 : d.alignment, d.aux1, d.aux2);
    std::string line = "\"" + std::string(d.name) + "\"" + numbers + "type=" + key(d.type) +
                       " type2=" + key(d.type2) + " " + position(d.pos);
    for (const AttributeList& list : d.attributes) {
        line += " attr " + std::to_string(list.id);
        for (std::string_view s : list.strings)
            line += " \"" + std::string(s) + "\"";
    }
    return line;
}

// ---- Types by structure

const TypeRecord* SemanticListing::definition(uint32_t number) const {
    auto found = types_.find(number);
    if (found == types_.end())
        return nullptr;
    for (const TypeRecord& r : found->second)
        if (type_code_defines(r.code))
            return &r;
    return nullptr;
}

std::string SemanticListing::key(uint32_t number) {
    if (number == 0)
        return "none";
    auto found = keys_.find(number);
    if (found != keys_.end())
        return found->second;
    const TypeRecord* r = definition(number);
    std::string k = r ? key_of(*r) : "undefined";
    keys_[number] = k;
    return k;
}

std::string tag_of(std::string_view tag) {
    return tag.empty() || tag.starts_with("$$fake") ? "<anonymous>" : std::string(tag);
}

std::string sized(uint32_t size, uint32_t alignment) {
    return " s" + std::to_string(size) + " a" + std::to_string(alignment);
}

std::string SemanticListing::key_of(const TypeRecord& r) {
    const std::string kw = text::type_code_keyword(r.code) ? text::type_code_keyword(r.code) : "?";
    return std::visit(
        [&](const auto& b) -> std::string {
            using B = std::decay_t<decltype(b)>;
            if constexpr (std::is_same_v<B, IntType>)
                return kw + " e" + std::to_string(b.explicitly_signed) +
                       sized(b.size, b.alignment) + " b" + std::to_string(b.boolean_byte);
            else if constexpr (std::is_same_v<B, FloatType>)
                return kw + sized(b.size, b.alignment);
            else if constexpr (std::is_same_v<B, FixedType>)
                return "fixed(" + key(b.underlying) + ") f" + std::to_string(b.fraction_bits) +
                       " g" + std::to_string(b.flag) + sized(b.size, b.alignment);
            else if constexpr (std::is_same_v<B, TypedefType>)
                return "typedef " + std::string(b.name) + "(" + key(b.target) + ")" +
                       sized(b.size, b.alignment) + " f" + std::to_string(b.flags) + " g" +
                       std::to_string(b.flags2) + " " + position(b.pos);
            else if constexpr (std::is_same_v<B, PointerType>)
                return kw + "(" + key(b.target) + ")" +
                       (b.size == 22 && r.code == TC_POINTER ? sized(32, 32)
                                                             : sized(b.size, b.alignment));
            else if constexpr (std::is_same_v<B, QualifiedType>)
                return "qual" + std::to_string(b.qualifiers) + "(" + key(b.base) + ")" +
                       sized(b.size, b.alignment);
            else if constexpr (std::is_same_v<B, ArrayType>)
                return "array[" + std::to_string(b.count) + "](" + key(b.element) + ")" +
                       sized(b.size, b.alignment) + " f" + std::to_string(b.flags) + " c" +
                       std::to_string(b.complete) + " v" + std::to_string(b.is_vector);
            else if constexpr (std::is_same_v<B, MemberPointerType>)
                return "memptr(" + key(b.member) + "," + key(b.class_type) + ")" +
                       sized(b.size, b.alignment);
            else if constexpr (std::is_same_v<B, FunctionType>) {
                std::string k = "func(" + key(b.return_type) + ";";
                for (uint8_t a : b.attributes)
                    k += std::to_string(a) + ",";
                for (const TypeRecord& e : types_[r.number])
                    if (const auto* p = std::get_if<ParamEntry>(&e.body))
                        k += " " + key(p->type) + "/" + std::to_string(p->byte) + "/" +
                             std::to_string(p->number);
                return k + ")";
            } else if constexpr (std::is_same_v<B, EnumType>) {
                nominal_.insert(r.number);
                return "enum " + tag_of(b.tag);
            } else if constexpr (std::is_same_v<B, ClassType>) {
                nominal_.insert(r.number);
                return std::string(b.category == 1   ? "union "
                                   : b.category == 0 ? "struct "
                                                     : "class ") +
                       tag_of(b.tag);
            } else if constexpr (std::is_same_v<B, ComplexType>)
                return "complex(" + key(b.part) + ")" + sized(b.size, b.alignment);
            else if constexpr (std::is_same_v<B, VoidType>)
                return "void";
            else
                return "code" + std::to_string(r.code);
        },
        r.body);
}

uint32_t SemanticListing::qualifiers_of(uint32_t number) const {
    const TypeRecord* r = definition(number);
    if (!r)
        return 0;
    if (const auto* t = std::get_if<TypedefType>(&r->body))
        return qualifiers_of(t->target);
    if (const auto* q = std::get_if<QualifiedType>(&r->body))
        return q->qualifiers | qualifiers_of(q->base);
    return 0;
}

uint32_t SemanticListing::real_number(uint32_t number) const {
    const TypeRecord* r = definition(number);
    if (!r)
        return number;
    if (const auto* t = std::get_if<TypedefType>(&r->body))
        return real_number(t->target);
    if (const auto* q = std::get_if<QualifiedType>(&r->body))
        return real_number(q->base);
    return number;
}

// A node of enum type has the enum's integer type (qualifiers kept).
std::string SemanticListing::node_type_key(uint32_t number) {
    const TypeRecord* real = definition(real_number(number));
    const auto* e = real ? std::get_if<EnumType>(&real->body) : nullptr;
    if (!e)
        return key(number);
    const uint32_t bits = qualifiers_of(number);
    return bits ? "qual" + std::to_string(bits) + "(" + key(e->underlying) + ")"
                : key(e->underlying);
}

// A FIELD node's type is its canonical form: typedefs and enums seen
// through.
std::string SemanticListing::canonical_key(uint32_t number) {
    const TypeRecord* r = definition(number);
    if (!r)
        return key(number);
    if (const auto* t = std::get_if<TypedefType>(&r->body))
        return canonical_key(t->target);
    if (const auto* e = std::get_if<EnumType>(&r->body))
        return canonical_key(e->underlying);
    if (const auto* p = std::get_if<PointerType>(&r->body))
        return text::type_code_keyword(r->code) + std::string("(") + canonical_key(p->target) +
               ")" + sized(p->size, p->alignment);
    return key(number);
}

std::string SemanticListing::details(uint32_t number) {
    const TypeRecord* r = definition(number);
    std::string line = "type " + key(number) + ":";
    const bool old = stream_->version() < -81;
    if (const auto* e = std::get_if<EnumType>(&r->body)) {
        line += sized(e->size, e->alignment) + " under=" + key(e->underlying) +
                " flags=" + std::to_string(old ? tag_of(e->tag) == "<anonymous>" : e->flags) + " " +
                position(e->pos);
    } else if (const auto* c = std::get_if<ClassType>(&r->body)) {
        line += " category=" + std::to_string(c->category) +
                " complete=" + std::to_string(c->complete) +
                " flags2=" + std::to_string(c->flags2) + sized(c->size, c->alignment) +
                " special=" + std::to_string(c->special) +
                " flags=" + std::to_string(old ? tag_of(c->tag) == "<anonymous>" : c->flags) + " " +
                position(c->pos);
        if (r->code == TC_CLASS_EXTRA) {
            line += " x" + std::to_string(c->extra_number);
            for (uint8_t x : c->extra_flags)
                line += "," + std::to_string(x);
        } else {
            line += " cflag=" + std::to_string(c->class_flag);
        }
    }
    std::map<int, std::string> lists; // by list kind, in the order the writer keeps
    int open = -1;
    for (const TypeRecord& e : types_[number]) {
        if (e.code == TC_LIST_BEGIN)
            open = std::get<ListMark>(e.body).list;
        else if (!type_code_defines(e.code) && e.code != TC_LIST_END)
            lists[open] += " " + list_entry(e);
    }
    for (const auto& [kind, entries] : lists)
        line += " list" + std::to_string(kind) + "[" + entries + " ]";
    return line;
}

std::string SemanticListing::list_entry(const TypeRecord& r) {
    return std::visit(
        [&](const auto& b) -> std::string {
            using B = std::decay_t<decltype(b)>;
            if constexpr (std::is_same_v<B, EnumeratorEntry>)
                return std::string(b.name) + "=" + std::to_string(b.value) + position(b.pos);
            else if constexpr (std::is_same_v<B, FieldEntry>)
                return std::to_string(b.number) + ":" + std::string(b.name) + ":" + key(b.type) +
                       ":" + std::to_string(b.byte) + ":" + std::to_string(b.offset) + ":" +
                       std::to_string(b.fti) + ":" + std::to_string(b.bits) + ":" +
                       std::to_string(b.flag1) + "," + std::to_string(b.flag2) + "," +
                       std::to_string(b.flag3) + position(b.pos);
            else if constexpr (std::is_same_v<B, ParamEntry>)
                return key(b.type) + ":" + std::to_string(b.byte) + ":" + std::to_string(b.number) +
                       ":" + std::string(b.name);
            else if constexpr (std::is_same_v<B, BaseEntry>)
                return "base:" + key(b.type) + ":" + std::to_string(b.offset) + ":" +
                       std::to_string(b.byte1) + "," + std::to_string(b.byte2);
            else if constexpr (std::is_same_v<B, List3Entry>)
                return std::to_string(b.number) + ":" + std::to_string(b.byte);
            else if constexpr (std::is_same_v<B, NamedTypeEntry>)
                return std::string(b.name) + ":" + key(b.type) + ":" + std::to_string(b.byte);
            else if constexpr (std::is_same_v<B, TypeEntry>)
                return key(b.type);
            else if constexpr (std::is_same_v<B, List9Entry>) {
                std::string e = std::string(b.name) + ":" + key(b.type) + ":" +
                                std::to_string(b.byte1) + ":" + std::to_string(b.number);
                for (uint8_t x : b.bytes)
                    e += "," + std::to_string(x);
                return e;
            } else
                return "?";
        },
        r.body);
}

// ---- Trees

std::string SemanticListing::tree(Tree t, size_t& at) {
    const TreeNode& n = t[at++];
    const FileOpcode& op = file_opcode(n.opcode);
    std::string text =
        "(" + (op.name.empty() ? "op" + std::to_string(n.opcode) : std::string(op.name));
    if (n.opcode == 4 || n.opcode == 25)
        text = "(CONST";
    text += ":" + (n.opcode == 26 ? canonical_key(n.type) : node_type_key(n.type)) + payload(n);
    for (int i = 0; i < op.operand_count; ++i)
        text += " " + tree(t, at);
    return text + ")";
}

std::string SemanticListing::symbol_name(uint32_t level, uint32_t index) const {
    if (level == 4294967295u)
        return "none";
    if (level == 0)
        return "G:" + global_names_.at(index);
    return "L:" + function_->local_names.at(index);
}

std::string SemanticListing::payload(const TreeNode& n) {
    switch (payload_kind(n.opcode)) {
    case Payload::symbol:
        return " " + symbol_name(n.first, n.second);
    case Payload::counted:
    case Payload::intrinsic:
        return " \"" + std::string(n.text) + "\"";
    case Payload::integer:
    case Payload::decimal:
        return " " + constant(n);
    case Payload::hex_float: {
        char text[40];
        std::snprintf(text, sizeof text, " %a", std::strtod(std::string(n.text).c_str(), nullptr));
        return text;
    }
    case Payload::field:
        return " " + std::to_string(n.byte) + " member " + std::to_string(n.first) + " of " +
               key(n.second);
    case Payload::call:
        return " " + std::to_string(n.first) + " " + std::to_string(n.second);
    case Payload::none:
        return "";
    default:
        return " " + std::to_string(n.first);
    }
}

// ICON and LCON alike: the value in decimal.
std::string SemanticListing::constant(const TreeNode& n) {
    if (n.opcode == 25)
        return std::string(n.text);
    return stream_->type_signs().is_signed(n.type) ? std::to_string(static_cast<int32_t>(n.first))
                                                   : std::to_string(n.first);
}

std::string semantic(const std::string& bytes) {
    return SemanticListing(bytes).text();
}

// ---- Running optvx ------------------------------------------------------------------------

class Roundtrip : public ::testing::Test {
protected:
    vx::testing::ProcessResult optvx(std::vector<std::string> args) {
        return run_process(kOptvx, args, dir.path());
    }
    // Assembles `text` into `name` and runs optvx on it; the output's bytes.
    std::string pass(const std::string& text, std::vector<std::string> options = {},
                     const std::string& name = "in.icode") {
        dir.write(name, text::assemble(text));
        return pass_file(name, std::move(options));
    }
    // The steps leave functions as read (debug:passthrough): what comes out
    // is what the reader and writer make of the input.
    std::string pass_file(const std::string& name, std::vector<std::string> options = {}) {
        options.insert(options.begin(), "--debug=passthrough");
        options.push_back(name);
        options.push_back("out.icode");
        auto r = optvx(options);
        EXPECT_EQ(r.status, 0) << r.err;
        return dir.read("out.icode");
    }
    // The run's output means what `expected` (a text) means, and reading
    // the output again changes nothing more.
    void expect_output_means(const std::string& output, const std::string& expected) {
        EXPECT_EQ(semantic(output), semantic(text::assemble(expected)));
        dir.write("again.icode", output);
        const std::string twice = pass_file("again.icode");
        EXPECT_EQ(semantic(twice), semantic(output));
    }

    ScratchDirectory dir;
};

TEST_F(Roundtrip, EveryExamplePassesThroughUnchanged) {
    std::vector<std::filesystem::path> files{kSourceDir / "examples" / "empty.icode"};
    // Only the assembled examples: a run of optvx on one leaves its
    // information file and debug log beside it.
    for (const auto& entry : std::filesystem::directory_iterator(kBuildDir / "examples"))
        if (entry.path().extension() == ".icode")
            files.push_back(entry.path());
    ASSERT_GE(files.size(), 4u);
    for (const auto& path : files) {
        dir.write("example.icode", dir.read(path.string()));
        const std::string input = dir.read("example.icode");
        const std::string output = pass_file("example.icode");
        EXPECT_EQ(semantic(output), semantic(input)) << path;
    }
}

// Every record kind, every type code and every payload, with the
// conversions the reader makes spelled out in the expected output.
const char kEveryRecord[] = R"(icode -73 600 "all.c" word=7
section main
asm "top level one" @1:1:1
text "top level two"
lone-attr 12 "x"
five 1 2 3 4 5
opaque @1:1:2 rest=<0102>
func 3 @1:3:5
  sym "p" size=22 class=27 type=4 align=16 @1:3:14 aux1=3 aux2=4
  sym "e" size=16 class=9 flags=0x7e0f type=6 align=16 @1:3:20
    attr 75 "throw" "1"
  endparams @1:4:1
  sym "s" size=16 class=1 type=1 align=16 @1:5:9
    attr 12 "hello" "world"
  endlocals @1:6:5
  loop 1 parent=0 min=1 max=10 factor=1 flags=2
  inloop 1 level=-1 index=-1 flags=1
  ddvect 3 flags=1 elements=1:2,0:-1
  ddedge 1 2 3
  annot 1 0 a=1 b=-2 type=1 level=-1 index=0
  annot 2 1 a=1 b=2 type=1 level=0 index=0
  annot 3 2 a=4
  mark 76
  block @1:7:1
    sym "t" size=16 class=1 type=1 align=16 @1:7:9
    endlocals @1:7:12
    stmt @1:8:9 (ASG:1 (NAME:1 3 3) (ICON:1 5))
  endblock @1:9:1
  stmt @1:10:1 (CBRANCH (EXCLAIM:1 (NAME:1 2 2)) (LABEL 9))
  stmt @1:10:2 (LOOP (ICON:1 0) (LABEL 8))
  stmt @1:11:3 (ASG:1 (NAME:1 2 2) (EPVAL 12 (PLUS:1 (NAME:1 2 2) (ICON:1 1))))
  stmt @1:11:4 (ENDLOOP (LT:1 (NAME:1 2 2) (ICON:1 10)) (LABEL 8))
  label 9
  asm "nop" @1:12:1
  text "* dropped"
  text "kept text"
  stmt @1:13:1 (ASG:6 (NAME:6 1 1) (ICON:6 2))
  stmt @1:13:2 (ASG:3 (NAME:3 0 0) (LCON:3 "-5"))
  stmt @1:13:3 (ASG:3 (NAME:3 0 0) (LCON:3 "5000000000"))
  stmt @1:13:4 (ASG:11 (NAME:11 0 2) (FCON:11 "0x1.8p+0"))
  stmt @1:13:5 (ASG:2 (UMULT:2 (NAME:4 1 0)) (SCON:2 "a\0b"))
  stmt @1:13:6 (ASG:1 (STREF:1 (NAME:13 0 5) (FIELD:1 1 1 12)) (ICON:1 1))
  stmt @1:14:1 (UCALL:1 4 (UAND:7 (NAME:5 0 1)))
  stmt @1:14:2 (CALL:1 2 3 (UAND:7 (NAME:5 0 4)) (COMMA:1 (NAME:1 2 2) (NAME:1 2 3)))
  stmt @1:14:3 (MCALL:1 "__intrinsic" (NAME:1 2 2))
  stmt @1:14:4 (UMCALL:1 "__other")
  stmt @1:14:5 (SWITCH 4 (NAME:1 2 2) (COMMA (CASE (ICON:1 1) (LABEL 9)) (DEFAULT (LABEL 8))))
  stmt @1:14:6 (SKIP 3 (NOP))
  stmt @1:14:7 (PMCONV:1 (NAME:1 2 2) (ICON:1 4))
  stmt @1:14:8 (SCONV:14 (NAME:14 0 6))
  stmt @1:14:9 (ASSERT (LT:1 (NAME:1 2 2) (ICON:1 3)))
  stmt @1:14:10 (NASSERT (NAME:1 2 2))
  stmt @1:14:11 (DDNODE 7 0 0 (NAME:1 2 2))
  stmt @1:14:12 (ASG:1 (NAME:1 2 2) (REAL:1 (NAME:14 0 6)))
  eht
    entry 1 1 0 0
    cleanup (UCALL:1 0 (UAND:7 (NAME:5 0 1)))
    entry 2 2 0 2
    names "int" 3 0 "long" 4 1
  stmt @1:15:1 (RETURN:1 (NAME:1 2 2) (NOP))
endfunc @1:16:1
func2 3 n1=-1 byte=1 n2=3 @1:17:1
  stmt @1:17:2 (NOP)
endfunc2 @1:17:3
asm "top level three" @1:18:1

section init
init 0
  (LCON:3 "123456789012")
  (ENDINIT)
init 2
  (FCON:11 "0x1p-1")
  (ENDINIT)

section pragma
pragma 12 "optimize" "speed"

section types
type 1 int explicit=1 size=16 align=16
type 2 char explicit=1 size=16 align=16
type 3 llong explicit=1 size=64 align=32
type 4 ptr 2 size=22 align=16
type 5 func 1
type 5 list 0
type 5 endlist 0
type 6 enum "color" size=16 align=16 under=1 flags=2 @1:1:6
type 6 list 1
  type 6 enumerator "RED" 0 @1:1:14
  type 6 enumerator "BLUE" -1 @1:1:20
type 6 endlist 1
type 7 ptr 5 size=32 align=32
type 8 func 1 a1=1 a4=1
type 8 list 0
  type 8 param 4 byte=1 number=2 name="p"
  type 8 param 6 name="e"
type 8 endlist 0
type 9 typedef "T" 1 size=16 align=16 flags=1 flags2=2 @1:1:2
type 10 qual 9 quals=3 size=16 align=16
type 11 double size=32 align=32
type 15 csux 2 "" complete=1 size=16 align=16 xnumber=9 x1=1 x9=9
type 12 csu 0 "S" complete=1 size=32 align=16 cflag=1 special=1 flags=4 @1:2:1
type 13 ptr 12 size=32 align=32
type 12 list 7
  type 12 field 0 "a" 10 offset=0 fti=2 bits=3 f1=1 f2=2 f3=3 @1:2:5
  type 12 field 1 "b" 9 offset=16 @1:2:9
  type 12 field 2 "next" 13 offset=32
type 12 endlist 7
type 12 list 2
  type 12 base 15 offset=8 b1=1 b2=2
type 12 endlist 2
type 12 list 3
  type 12 entry3 number=5 byte=6
type 12 endlist 3
type 12 list 4
  type 12 entry4 "m4" 1
type 12 endlist 4
type 12 list 5
  type 12 entry5 2
type 12 endlist 5
type 12 list 6
  type 12 entry6 3
type 12 endlist 6
type 12 list 8
  type 12 entry8 "m8" 1 byte=9
type 12 endlist 8
type 12 list 9
  type 12 entry9 "m9" 1 b1=1 number=-7 b2=2 b3=3 b4=4 b5=5
type 12 endlist 9
type 12 list 0
  type 12 param 1 byte=1 number=4 name="q"
type 12 endlist 0
type 14 array 1 2 size=32 align=16 complete=1 vector=1
type 16 ref 1 size=32 align=32
type 17 memptr 1 15 size=32 align=32
type 18 fixed frac=8 flag=1 under=1 size=16 align=16
type 19 complex size=32 align=16 part=1
type 20 void
type 21 bool explicit=1 size=16 align=16 isbool=1 boolbyte=1
type 22 float size=32 align=32
type 23 ldouble size=64 align=32
type 24 uchar size=16 align=16
type 25 wchar size=16 align=16
type 26 short explicit=1 size=16 align=16
type 27 ushort size=16 align=16
type 28 uint size=16 align=16
type 29 long explicit=1 size=32 align=32
type 30 ulong size=32 align=32
type 31 ullong size=64 align=32
type 32 csu 1 "U" complete=1 size=16 align=16

section files
file "all.c"

section symbols
sym "big" size=64 class=2 type=3 align=32 @1:1:5
sym "g" class=5 type=5 align=16 @1:2:5
sym "d" size=32 class=2 type=11 align=32
sym "f" class=2 type=8 align=16 @1:3:5
  attr 49 "C"
sym "g" class=2 type=5 align=16 @1:2:6
sym "sp" size=32 class=2 type=13 align=32
sym "vec" size=32 class=2 type=14 align=16
sym "uses" size=16 class=3 type=1 align=16
  attr 51 "f"
sym "kinds" size=16 class=2 type=10 align=16 type2=16
sym "more" class=5 type=8 align=16 type2=17
sym "fx" size=16 class=2 type=18 align=16
sym "cx" size=32 class=2 type=19 align=16
sym "vd" class=5 type=20 align=16
sym "b" size=16 class=2 type=21 align=16
sym "fl" size=32 class=2 type=22 align=32
sym "ld" size=64 class=2 type=23 align=32
sym "u1" size=16 class=2 type=24 align=16
sym "u2" size=16 class=2 type=25 align=16
sym "u3" size=16 class=2 type=26 align=16
sym "u4" size=16 class=2 type=27 align=16
sym "u5" size=16 class=2 type=28 align=16
sym "u6" size=32 class=2 type=29 align=16
sym "u7" size=32 class=2 type=30 align=16
sym "u8" size=64 class=2 type=31 align=16
sym "un" size=16 class=2 type=32 align=16
)";

// What optvx makes of it: top-level texts first, nested locals with the
// others, the loop head a label and its back branch a CBRANCH, no EPVAL,
// no "*" text, the external reference g named as its definition, PMCONV a
// MULT, REAL of a vector a VFIELD; every ignored record gone.
std::string expected_every_record() {
    std::string text = kEveryRecord;
    auto replace = [&](const std::string& from, const std::string& to) {
        const size_t at = text.find(from);
        if (at == std::string::npos)
            throw std::runtime_error("no " + from);
        text.replace(at, from.size(), to);
    };
    replace("  stmt @1:10:2 (LOOP (ICON:1 0) (LABEL 8))", "  label 8");
    replace("(EPVAL 12 (PLUS:1 (NAME:1 2 2) (ICON:1 1)))", "(PLUS:1 (NAME:1 2 2) (ICON:1 1))");
    replace("(ENDLOOP (LT:1", "(CBRANCH (LT:1");
    replace("  text \"* dropped\"\n", "");
    replace("(UCALL:1 4 (UAND:7 (NAME:5 0 1)))", "(UCALL:1 4 (UAND:7 (NAME:5 0 4)))");
    replace("cleanup (UCALL:1 0 (UAND:7 (NAME:5 0 1)))",
            "cleanup (UCALL:1 0 (UAND:7 (NAME:5 0 4)))");
    replace("(PMCONV:1 (NAME:1 2 2) (ICON:1 4))", "(MULT:1 (NAME:1 2 2) (ICON:1 4))");
    replace("(REAL:1 (NAME:14 0 6))", "(VFIELD:1 (NAME:14 0 6) (ICON:1 0))");
    replace("asm \"top level three\" @1:18:1\n", "");
    // The exception table goes out after the statements.
    const size_t table = text.find("  eht\n");
    const size_t table_end = text.find("  stmt @1:15:1");
    const std::string eht = text.substr(table, table_end - table);
    text.erase(table, eht.size());
    replace("endfunc @1:16:1", eht + "endfunc @1:16:1");
    replace("text \"top level two\"\n",
            "text \"top level two\"\nasm \"top level three\" @1:18:1\n");
    return text;
}

TEST_F(Roundtrip, EveryRecordKindAndStatementConversion) {
    dir.write("in.icode", text::assemble(kEveryRecord));
    auto r = optvx({"--debug=passthrough", "in.icode", "out.icode"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string output = dir.read("out.icode");
    expect_output_means(output, expected_every_record());
}

TEST_F(Roundtrip, AnUnknownRecordKindIsReportedAndDropped) {
    const std::string text = "icode -73 600 \"u.c\"\nsection main\nraw c8 01 00\n"
                             "section symbols\nsym \"v\" size=16 class=2 align=16\n";
    dir.write("in.icode", text::assemble(text));
    auto r = optvx({"in.icode", "out.icode"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "\n///ERROR @0x2c\n\n");
    EXPECT_EQ(semantic(dir.read("out.icode")),
              semantic(text::assemble("icode -73 600 \"u.c\"\nsection symbols\n"
                                      "sym \"v\" size=16 class=2 align=16\n")));
}

// The same program in every version the reader accepts; the fields a
// version lacks are left out.
TEST_F(Roundtrip, EveryInputVersion) {
    const std::string body = R"(
section main
func 0 @1:1:1
  sym "x" size=16 class=9 type=1 align=16
  endparams
  endlocals
  stmt (ASG:1 (STREF:1 (NAME:5 0 1) (FIELD:1 1 1 4)) (ICON:3 -1))
endfunc
section types
type 1 int explicit=1 size=16 align=16
type 2 func 1
type 2 list 0
type 2 endlist 0
type 3 enum "e" size=16 align=16 under=1 @1:1:1
type 3 list 1
  type 3 enumerator "A" -1
type 3 endlist 1
type 4 csu 0 "S" complete=1 size=32 align=16
type 5 ptr 4 size=22 align=16
type 6 array 1 2 size=32 align=16 complete=1
type 4 list 7
  type 4 field 0 "a" 3 offset=0 bits=16 f1=1 f2=2
  type 4 field 1 "b" 6 offset=16
type 4 endlist 7
section files
file "v.c"
section symbols
sym "f" class=2 type=2 align=16
sym "sp" size=22 class=2 type=5 align=32
)";
    const std::string reference = semantic(text::assemble("icode -73 600 \"v.c\"" + body));
    for (int version = -86; version <= -73; ++version) {
        const std::string output = pass("icode " + std::to_string(version) + " 600 \"v.c\"" + body);
        EXPECT_EQ(semantic(output), reference) << "version " << version;
    }
}

TEST_F(Roundtrip, AFileWithoutFunctionsKeepsItsGlobalSymbols) {
    const std::string text = R"(icode -73 600 "g.c"
section types
type 1 int explicit=1 size=16 align=16
section symbols
sym "a" size=16 class=2 type=1 align=16
sym "b" size=16 class=5 type=1 align=16
)";
    const std::string output = pass(text);
    EXPECT_EQ(semantic(output), semantic(text::assemble(text)));
    EXPECT_NE(text::assemble(text).size(), 0u);
    auto stream = IcodeStream::open(output);
    ASSERT_TRUE(stream.has_value());
    std::string listing, error;
    ASSERT_TRUE(text::disassemble(*stream, listing, error));
    EXPECT_NE(listing.find("section symbols\nsym \"a\""), std::string::npos) << listing;
    EXPECT_EQ(listing.find("section init"), std::string::npos);
}

// ---- Options of a function ----------------------------------------------------------------

const char kTwoFunctions[] = R"(icode -73 600 "o.c"
section main
func 0
  endparams
  endlocals
  stmt (RETURN:1 (ICON:1 0) (NOP))
endfunc
func 1
  endparams
  endlocals
  stmt (RETURN:1 (ICON:1 1) (NOP))
endfunc
section pragma
pragma 36 "fast" "-o3 --opt_for_speed=5"
section types
type 1 int explicit=1 size=16 align=16
type 2 func 1
type 2 list 0
type 2 endlist 0
section symbols
sym "fast" class=2 type=2 align=16
sym "plain" class=2 type=2 align=16
)";

TEST_F(Roundtrip, AFunctionRunsWithItsOwnOptionSet) {
    const std::string output = pass(kTwoFunctions, {"--debug_output=1"});
    EXPECT_EQ(semantic(output), semantic(text::assemble(kTwoFunctions)));
    const std::string log = dir.read("in.odb");
    EXPECT_NE(log.find("Option set 1:\n\t--debug=passthrough\n\t--debug_output=1\n\t--info=1\n"
                       "\t--opt_level=3\n\t--opt_for_speed=5\n"),
              std::string::npos)
        << log;
    const size_t fast = log.find("\nUsing option set 1:\n\n\f==== Function fast() ====");
    const size_t plain = log.find("\nUsing option set 0:\n\n\f==== Function plain() ====");
    EXPECT_NE(fast, std::string::npos) << log;
    EXPECT_NE(plain, std::string::npos) << log;
    EXPECT_NE(log.find("[Restoring options --> -o1 -i0 --opt_for_speed=4]\n", fast),
              std::string::npos);
}

TEST_F(Roundtrip, ARejectedOptionTextEndsTheRun) {
    std::string text = kTwoFunctions;
    text.replace(text.find("-o3 --opt_for_speed=5"), 21, "--no_such_option");
    dir.write("in.icode", text::assemble(text));
    auto r = optvx({"in.icode", "out.icode"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--no_such_option"), std::string::npos) << r.err;
    EXPECT_FALSE(dir.exists("out.icode"));
}

// ---- The listing ---------------------------------------------------------------------------

TEST_F(Roundtrip, TracingListsTheRecordsWritten) {
    pass(kTwoFunctions, {"--debug_output=1"});
    const std::string log = dir.read("in.odb");
    for (const char* line :
         {"I_BF\t1\t0\t\t\t;I_BF\n", "I_EA\t5\t0\t\t\t;I_EA\n",
          "\n@\t'L':\tfast is a leaf function.\n", "36\tint                         ; RETURN\n",
          "4\tint                         1\t; ICON\n", "I_EF\t2\t0\t\t\t;I_EF\n",
          "^[Pragma] 36 2 fast -o3 --opt_for_speed=5\n", "#   plain"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}

// ---- Bad input -------------------------------------------------------------------------------

TEST_F(Roundtrip, BadInputEndsTheRunWithItsMessageAndNoOutput) {
    const std::string record_fault = "\nINTERNAL ERROR: Invalid I-code record, aborting\n";
    const std::string eht_fault = "\nINTERNAL ERROR: Invalid EHT record in I-code, aborting\n";
    const std::string types = "section types\ntype 1 int size=16 align=16\n";
    struct Case {
        std::string text;
        std::string ending;
    } cases[] = {
        {"icode -73 600 \"b.c\"\nsection types\ntype 1 ptr 2 size=32 align=32\n",
         "TP>> internal error: invalid forward reference\n"},
        // a tree node with opcode 164
        {"icode -73 600 \"b.c\"\nsection main\nfunc 0\nendparams\nraw 2e 01 00 65 02 a4 "
         "00\nendfunc\n" +
             types + "section symbols\nsym \"f\" class=2 align=16\n",
         record_fault},
        // an exception table of one entry, followed by no entry
        {"icode -73 600 \"b.c\"\nsection main\nfunc 0\nendparams\nraw 5d 01 01\nendfunc\n" + types +
             "section symbols\nsym \"f\" class=2 align=16\n",
         eht_fault},
    };
    for (const Case& c : cases) {
        dir.write("bad.icode", text::assemble(c.text));
        auto r = optvx({"bad.icode", "bad.opt"});
        EXPECT_EQ(r.status, 1) << c.text;
        EXPECT_TRUE(r.err.ends_with(c.ending)) << r.err;
        EXPECT_FALSE(dir.exists("bad.opt")) << c.text;
    }
}

} // namespace
