// Writes a large I-code file for the pass-through benchmark, through the
// format layer's writer.
//
//   generate OUTPUT MEGABYTES
//
// The file holds MEGABYTES of function bodies: many functions, each with
// parameters, locals and a few hundred statements of the shapes a front end
// writes (assignments over arithmetic, calls with argument lists, loads
// through pointers, conditional branches, labels, a switch).  The shapes are
// chosen by a fixed-seed random generator, so that runs are comparable.
#include "icode/file_header.h"
#include "icode/record_writer.h"
#include "icode/records.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace vx::icode;

// Type numbers of the generated type section.
constexpr uint32_t kInt = 1;
constexpr uint32_t kLong = 2;
constexpr uint32_t kIntPointer = 3;
constexpr uint32_t kFunction = 4;
constexpr uint32_t kFunctionPointer = 5;
constexpr uint32_t kParams = 3; // a, b (int) and p (int *)
constexpr uint32_t kLocals = 6;
constexpr uint32_t kStatementsPerFunction = 400;

class Generator {
public:
    explicit Generator(std::string& out) : writer_(out), random_(20240601) {}

    void function(uint32_t symbol);
    void learn_types();
    void types();
    void files() { writer_.write(FileName{"bench.c"}); }
    void symbols(uint32_t functions);
    RecordWriter& writer() { return writer_; }

private:
    uint32_t pick(uint32_t limit) {
        return std::uniform_int_distribution<uint32_t>(0, limit - 1)(random_);
    }
    SourcePos pos() { return SourcePos{1, ++line_, 1 + pick(40)}; }
    void leaf(uint32_t type);
    void expression(int depth);
    void lvalue();
    void call();
    void statement();
    void declare(const char* name, uint32_t type, uint8_t storage_class);

    TreeNode& node(uint8_t opcode, uint32_t type) {
        TreeNode& n = nodes_.emplace_back();
        n.opcode = opcode;
        n.type = type;
        return n;
    }

    RecordWriter writer_;
    std::mt19937 random_;
    std::vector<TreeNode> nodes_;
    uint32_t line_ = 0;
    uint32_t label_ = 0;
    uint32_t first_label_ = 1; // the current function's first label
};

void Generator::declare(const char* name, uint32_t type, uint8_t storage_class) {
    SymbolDecl s;
    s.name = name;
    s.type = type;
    s.storage_class = storage_class;
    s.size = type == kIntPointer ? 32 : 16;
    s.alignment = s.size;
    s.pos = pos();
    writer_.write(s);
}

// A variable or a constant.
void Generator::leaf(uint32_t type) {
    if (pick(3) == 0) {
        node(4, type).first = pick(1000); // ICON
        return;
    }
    TreeNode& name = node(2, type); // NAME of an int parameter (a, b) or a local
    const uint32_t which = pick(2 + kLocals);
    name.first = which < 2 ? 1 : 2;
    name.second = which < 2 ? which : kParams + which - 2;
}

void Generator::lvalue() {
    if (pick(4) == 0) {
        node(13, kInt);                     // UMULT
        node(6, kIntPointer);               // PLUS
        TreeNode& p = node(2, kIntPointer); // NAME p
        p.first = 1;
        p.second = 2;
        leaf(kInt);
        return;
    }
    TreeNode& name = node(2, kInt);
    name.first = 2;
    name.second = kParams + pick(kLocals);
}

void Generator::expression(int depth) {
    static constexpr uint8_t kOperators[] = {6, 8, 11, 14, 17, 19, 64, 66}; // + - * & | ^ << >>
    if (depth == 0 || pick(3) == 0) {
        leaf(kInt);
        return;
    }
    node(kOperators[pick(sizeof kOperators)], kInt);
    expression(depth - 1);
    expression(depth - 1);
}

// CALL(UAND(NAME f), COMMA(a1, COMMA(a2, a3)))
void Generator::call() {
    TreeNode& c = node(70, kInt);
    c.first = 0;
    c.second = pick(100);
    node(16, kFunctionPointer); // UAND
    TreeNode& f = node(2, kFunction);
    f.first = 0;
    f.second = pick(8);
    node(56, kInt); // COMMA
    expression(1);
    node(56, kInt);
    expression(1);
    TreeNode& p = node(2, kIntPointer);
    p.first = 1;
    p.second = 2;
}

void Generator::statement() {
    nodes_.clear();
    switch (pick(10)) {
    case 0:
        node(109, 0); // CBRANCH
        node(83, kInt);
        expression(2);
        expression(1);
        // A label of this function already defined: labels belong to
        // their function, and a branch elsewhere is not a program.
        node(1, 0).first = first_label_ + pick(label_ - first_label_ + 1);
        break;
    case 1:
        node(58, kInt); // ASG of a call
        lvalue();
        call();
        break;
    case 2:
        node(7, kInt); // PLUSASG
        lvalue();
        expression(2);
        break;
    default:
        node(58, kInt); // ASG
        lvalue();
        expression(3);
        break;
    }
    writer_.write(Statement{pos(), nodes_});
}

void Generator::function(uint32_t symbol) {
    writer_.write(FunctionBegin{pos(), symbol});
    declare("a", kInt, 9);
    declare("b", kInt, 9);
    declare("p", kIntPointer, 9);
    writer_.write(ParamsEnd{pos()});
    static const char* const kLocalNames[] = {"i", "j", "k", "s", "t", "u"};
    for (const char* name : kLocalNames)
        declare(name, kInt, 1);
    writer_.write(LocalsEnd{pos()});
    first_label_ = label_ + 1;
    writer_.write(LabelDef{++label_});
    for (uint32_t i = 0; i < kStatementsPerFunction; ++i) {
        if (pick(12) == 0)
            writer_.write(LabelDef{++label_});
        statement();
    }
    nodes_.clear();
    node(36, kInt); // RETURN
    leaf(kInt);
    node(0, 0);
    writer_.write(Statement{pos(), nodes_});
    writer_.write(FunctionEnd{pos()});
}

std::vector<TypeRecord> type_records() {
    return {
        {kInt, TC_INT, IntType{1, 16, 16, 0, 0}},
        {kLong, TC_LONG, IntType{1, 32, 32, 0, 0}},
        {kIntPointer, TC_POINTER, PointerType{kInt, 32, 32}},
        {kFunction, TC_FUNCTION, FunctionType{kInt, {}}},
        {kFunction, TC_LIST_BEGIN, ListMark{0}},
        {kFunction, TC_PARAM, ParamEntry{kInt, 0, 0, "a"}},
        {kFunction, TC_PARAM, ParamEntry{kInt, 0, 0, "b"}},
        {kFunction, TC_PARAM, ParamEntry{kIntPointer, 0, 0, "p"}},
        {kFunction, TC_LIST_END, ListMark{0}},
        {kFunctionPointer, TC_POINTER, PointerType{kFunction, 32, 32}},
    };
}

// The signs of ICON values follow the types, which the main part comes
// before in the file: they are learned first.
void Generator::learn_types() {
    for (const TypeRecord& record : type_records())
        writer_.type_signs().learn(record);
}

void Generator::types() {
    for (const TypeRecord& record : type_records())
        writer_.write(record);
}

void Generator::symbols(uint32_t functions) {
    for (uint32_t i = 0; i < functions; ++i) {
        SymbolDecl s;
        const std::string name = "f" + std::to_string(i);
        s.name = name;
        s.storage_class = 2;
        s.type = kFunction;
        s.alignment = 16;
        s.pos = SourcePos{1, i + 1, 1};
        writer_.write(s);
    }
}

bool append_to(FILE* file, std::string& bytes) {
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    bytes.clear();
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: generate OUTPUT MEGABYTES\n");
        return 1;
    }
    const size_t wanted = std::strtoull(argv[2], nullptr, 10) << 20;
    FILE* file = std::fopen(argv[1], "wb");
    if (!file)
        return 1;

    FileHeader header;
    header.name = "bench.c";
    std::string out = encode_file_header(header);
    size_t offset = 0;
    Generator generator(out);
    generator.learn_types();

    size_t body_bytes = 0;
    uint32_t functions = 0;
    while (body_bytes < wanted) {
        const size_t before = out.size();
        generator.function(functions++);
        body_bytes += out.size() - before;
        offset += out.size();
        if (!append_to(file, out))
            return 1;
    }
    generator.writer().end_section();

    auto section = [&](Section which, auto&& write) {
        header.section_offsets[which] = static_cast<uint32_t>(offset + out.size());
        write();
        generator.writer().end_section();
    };
    section(TYPE_SECTION, [&] { generator.types(); });
    section(FILENAME_SECTION, [&] { generator.files(); });
    section(SYMBOL_SECTION, [&] { generator.symbols(functions); });
    offset += out.size();
    if (!append_to(file, out))
        return 1;

    const std::string final_header = encode_file_header(header);
    if (std::fseek(file, 0, SEEK_SET) != 0 ||
        std::fwrite(final_header.data(), 1, final_header.size(), file) != final_header.size())
        return 1;
    std::fclose(file);
    std::printf("%u functions, %zu bytes of function bodies, %zu bytes in all\n", functions,
                body_bytes, offset);
    return 0;
}
