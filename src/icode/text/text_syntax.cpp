#include "icode/text/text_syntax.h"

#include <charconv>

namespace vx::icode::text {

namespace {

struct RecordWord {
    const char* keyword;
    RecordBody empty;
};

const RecordWord kRecordWords[] = {
    {"func", FunctionBegin{}},
    {"endfunc", FunctionEnd{}},
    {"block", BlockBegin{}},
    {"endblock", BlockEnd{}},
    {"endparams", ParamsEnd{}},
    {"endlocals", LocalsEnd{}},
    {"opaque", OpaqueRecord{}},
    {"sym", SymbolDecl{}},
    {"asm", AsmText{}},
    {"loop", LoopInfo{}},
    {"label", LabelDef{}},
    {"five", FiveNumbers{}},
    {"stmt", Statement{}},
    {"text", Text{}},
    {"ddedge", DepEdge{}},
    {"ddvect", DepVector{}},
    {"mark", ByteMark{}},
    {"eht", ExceptionTable{}},
    {"lone-attr", AttributeList{}},
    {"init", Initializer{}},
    {"annot", Annotation{}},
    {"pragma", PragmaEntry{}},
    {"type", TypeRecord{}},
    {"func2", FunctionBegin2{}},
    {"inloop", InLoop{}},
    {"endfunc2", FunctionEnd2{}},
    {"file", FileName{}},
};

uint8_t kind_of(const RecordBody& body) {
    return std::visit(
        [](const auto& record) -> uint8_t {
            using T = std::decay_t<decltype(record)>;
            if constexpr (std::is_same_v<T, UnknownRecord>)
                return 0;
            else
                return T::kKind;
        },
        body);
}

struct TypeWord {
    uint8_t code;
    const char* keyword;
};

constexpr TypeWord kTypeWords[] = {
    {TC_BOOL, "bool"},       {TC_CHAR, "char"},
    {TC_UCHAR, "uchar"},     {TC_WCHAR, "wchar"},
    {TC_SHORT, "short"},     {TC_USHORT, "ushort"},
    {TC_INT, "int"},         {TC_UINT, "uint"},
    {TC_LONG, "long"},       {TC_ULONG, "ulong"},
    {TC_LLONG, "llong"},     {TC_ULLONG, "ullong"},
    {TC_FLOAT, "float"},     {TC_DOUBLE, "double"},
    {TC_LDOUBLE, "ldouble"}, {TC_FIXED, "fixed"},
    {TC_TYPEDEF, "typedef"}, {TC_POINTER, "ptr"},
    {TC_REFERENCE, "ref"},   {TC_QUALIFIED, "qual"},
    {TC_ARRAY, "array"},     {TC_MEMBER_POINTER, "memptr"},
    {TC_FUNCTION, "func"},   {TC_PARAM, "param"},
    {TC_ENUM, "enum"},       {TC_ENUMERATOR, "enumerator"},
    {TC_CLASS, "csu"},       {TC_CLASS_EXTRA, "csux"},
    {TC_FIELD, "field"},     {TC_BASE, "base"},
    {TC_LIST3, "entry3"},    {TC_LIST4, "entry4"},
    {TC_LIST5, "entry5"},    {TC_LIST6, "entry6"},
    {TC_LIST8, "entry8"},    {TC_LIST9, "entry9"},
    {TC_COMPLEX, "complex"}, {TC_VOID, "void"},
    {TC_LIST_BEGIN, "list"}, {TC_LIST_END, "endlist"},
};

constexpr const char* kSectionWords[] = {"pragma", "init", "types", "files", "symbols", "main"};

} // namespace

const char* record_keyword(uint8_t kind) {
    for (const RecordWord& word : kRecordWords)
        if (kind_of(word.empty) == kind)
            return word.keyword;
    return nullptr;
}

std::optional<RecordBody> record_for_keyword(std::string_view keyword) {
    for (const RecordWord& word : kRecordWords)
        if (keyword == word.keyword)
            return word.empty;
    return std::nullopt;
}

const char* type_code_keyword(uint8_t code) {
    for (const TypeWord& word : kTypeWords)
        if (word.code == code)
            return word.keyword;
    return nullptr;
}

int type_code_for_keyword(std::string_view keyword) {
    for (const TypeWord& word : kTypeWords)
        if (keyword == word.keyword)
            return word.code;
    if (keyword.substr(0, 4) != "code")
        return -1;
    std::string_view digits = keyword.substr(4);
    unsigned code = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), code);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        code > 255)
        return -1;
    return static_cast<int>(code);
}

const char* section_keyword(Section section) {
    return kSectionWords[section];
}

std::optional<Section> section_for_keyword(std::string_view keyword) {
    for (int s = 0; s <= MAIN_PART; ++s)
        if (keyword == kSectionWords[s])
            return static_cast<Section>(s);
    return std::nullopt;
}

} // namespace vx::icode::text
