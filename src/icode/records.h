// The decoded form of every I-code record.
//
// Each record kind has a plain struct that keeps every field of the record
// as it is in the file, so that encoding a decoded record gives back its
// bytes (as long as the file used the shortest encodings).  Texts and byte
// runs are views: into the stream for a decoded record (valid as long as
// the stream's bytes), into the caller's storage for a record to encode.
// Lists (attribute lists, tree nodes, exception-table entries) are spans
// into storage owned by whoever made the record: the RecordReader keeps
// them until its next record.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <variant>

namespace vx::icode {

using Bytes = std::string_view; // raw bytes, may hold NULs

// The record kinds of the file.
enum RecordKind : uint8_t {
    KIND_FUNCTION_BEGIN = 1, // I_BF
    KIND_FUNCTION_END = 2,   // I_EF
    KIND_BLOCK_BEGIN = 3,
    KIND_BLOCK_END = 4,
    KIND_PARAMS_END = 5, // I_EA
    KIND_LOCALS_END = 6, // I_EL
    KIND_HEADER = 8,
    KIND_OPAQUE = 34, // position and uninterpreted bytes
    KIND_SYMBOL = 35,
    KIND_ASM_TEXT = 36, // text with a position
    KIND_LOOP = 38,     // I_LOOP
    KIND_LABEL = 42,
    KIND_FIVE_NUMBERS = 45,
    KIND_STATEMENT = 46,
    KIND_TEXT = 47,       // text without a position
    KIND_DEP_EDGE = 58,   // DDEDGE
    KIND_DEP_VECTOR = 59, // DDVECT
    KIND_EHT_NAMES = 63,  // names of an exception-table entry
    KIND_BYTE_MARK = 64,
    KIND_EHT_ENTRY = 91,
    KIND_EHT = 93,        // exception-handling table
    KIND_ATTRIBUTES = 94, // attribute list
    KIND_TREE_NODE = 101,
    KIND_INITIALIZER = 105,
    KIND_ANNOTATION = 108,
    KIND_PRAGMA = 111, // pragma-section entry
    KIND_TYPE = 116,
    KIND_FUNCTION_BEGIN_2 = 123, // second form
    KIND_IN_LOOP = 124,          // I_INLOOP
    KIND_FUNCTION_END_2 = 125,   // second form
    KIND_FILE_NAME = 126,
    KIND_END_OF_SECTION = 255, // a single 0xFF byte
};

// A source position; file 0 means none (and then line and column are not
// in the file).
struct SourcePos {
    uint32_t file = 0;
    uint32_t line = 0;
    uint32_t column = 0;

    bool operator==(const SourcePos&) const = default;
};

// One tree node.  Which payload members are used depends on the opcode's
// payload kind (opcode_table.h):
//   label      first = label number
//   symbol     first = level, second = index
//   counted    text = the bytes
//   integer    first = the value's 32 bits (signed when the type is)
//   hex_float, decimal, intrinsic   text
//   field      byte = kind, first = member index, second = container type
//   number     first
//   call       first, second
//   ddnode     first = node number, second, byte
//   vreg       first = the value's 32 bits (signed)
struct TreeNode {
    uint8_t opcode = 0;
    uint8_t byte = 0;
    uint32_t type = 0;
    uint32_t first = 0;
    uint32_t second = 0;
    std::string_view text;
};

// A whole tree in preorder: each node is followed by its left subtree (when
// it has one or two operands) and then its right subtree (two operands).
using Tree = std::span<const TreeNode>;

// -- Records of the main part --------------------------------------------

struct FunctionBegin { // 1
    static constexpr RecordKind kKind = KIND_FUNCTION_BEGIN;
    SourcePos pos;
    uint32_t symbol = 0; // index in the global table
};

struct FunctionEnd { // 2
    static constexpr RecordKind kKind = KIND_FUNCTION_END;
    SourcePos pos;
};

struct BlockBegin { // 3
    static constexpr RecordKind kKind = KIND_BLOCK_BEGIN;
    SourcePos pos;
};

struct BlockEnd { // 4
    static constexpr RecordKind kKind = KIND_BLOCK_END;
    SourcePos pos;
};

struct ParamsEnd { // 5
    static constexpr RecordKind kKind = KIND_PARAMS_END;
    SourcePos pos;
};

struct LocalsEnd { // 6
    static constexpr RecordKind kKind = KIND_LOCALS_END;
    SourcePos pos;
};

struct OpaqueRecord { // 34
    static constexpr RecordKind kKind = KIND_OPAQUE;
    SourcePos pos;
    Bytes rest;
};

struct AttributeList { // 94
    static constexpr RecordKind kKind = KIND_ATTRIBUTES;
    uint32_t id = 0;
    std::span<const std::string_view> strings;
};

// Followed in the file by its attribute lists, one kind-94 record each.
struct SymbolDecl { // 35
    static constexpr RecordKind kKind = KIND_SYMBOL;
    std::string_view name;
    uint32_t size = 0; // bits; 22 stands for a 32-bit pointer
    uint32_t offset = 0;
    uint8_t storage_class = 0;
    int32_t flags = 0; // s16
    uint32_t type = 0;
    uint32_t type2 = 0;
    uint32_t alignment = 0;
    uint32_t aux1 = 0;
    uint32_t aux2 = 0;
    SourcePos pos;
    std::span<const AttributeList> attributes; // at most 255
};

struct AsmText { // 36
    static constexpr RecordKind kKind = KIND_ASM_TEXT;
    std::string_view text;
    SourcePos pos;
};

struct LoopInfo { // 38
    static constexpr RecordKind kKind = KIND_LOOP;
    uint32_t loop = 0;
    uint32_t parent = 0;
    uint32_t min_trips = 0;
    uint32_t max_trips = 0;
    uint32_t trip_factor = 0;
    int32_t flags = 0; // s16
};

struct LabelDef { // 42
    static constexpr RecordKind kKind = KIND_LABEL;
    uint32_t label = 0;
};

struct FiveNumbers { // 45
    static constexpr RecordKind kKind = KIND_FIVE_NUMBERS;
    std::array<uint32_t, 5> numbers{};
};

// Followed in the file by its tree.
struct Statement { // 46
    static constexpr RecordKind kKind = KIND_STATEMENT;
    SourcePos pos;
    Tree tree;
};

struct Text { // 47
    static constexpr RecordKind kKind = KIND_TEXT;
    std::string_view text;
};

struct DepEdge { // 58
    static constexpr RecordKind kKind = KIND_DEP_EDGE;
    uint32_t source = 0;
    uint32_t target = 0;
    uint32_t vector = 0;
};

struct DepVector { // 59
    static constexpr RecordKind kKind = KIND_DEP_VECTOR;
    uint32_t number = 0;
    uint8_t flags = 0;
    Bytes elements; // two bytes each: direction, signed distance; at most 255
};

struct ByteMark { // 64
    static constexpr RecordKind kKind = KIND_BYTE_MARK;
    uint8_t value = 0;
};

// One name of a kind-2 exception-table entry (inside a kind-63 record).
struct EhtName {
    std::string_view name;
    uint32_t number = 0;
    uint8_t byte = 0;
};

// One entry of an exception table: a kind-91 record, then for kind 1 a
// kind-46 record and the cleanup tree, for kind 2 a kind-63 name list.
struct EhtEntry {
    uint32_t id = 0;
    uint32_t kind = 0;
    uint32_t number = 0;
    uint32_t count = 0; // for kind 2 the number of names
    SourcePos cleanup_pos;
    Tree cleanup;
    std::span<const EhtName> names;
};

constexpr uint32_t kEhtCleanupEntry = 1;
constexpr uint32_t kEhtNamesEntry = 2;

// Followed in the file by its entries.
struct ExceptionTable { // 93
    static constexpr RecordKind kKind = KIND_EHT;
    std::span<const EhtEntry> entries;
};

// Followed in the file by its value trees; the last one is an ENDINIT leaf.
struct Initializer { // 105
    static constexpr RecordKind kKind = KIND_INITIALIZER;
    uint32_t symbol = 0;
    std::span<const Tree> values;
};

struct Annotation { // 108
    static constexpr RecordKind kKind = KIND_ANNOTATION;
    uint32_t number = 0;
    uint8_t form = 0;
    uint32_t a = 0;     // forms 0, 1, 2
    uint32_t b = 0;     // forms 0 (signed) and 1
    uint32_t type = 0;  // forms 0, 1
    int32_t level = 0;  // forms 0, 1; -1 for no symbol
    uint32_t index = 0; // forms 0, 1
    Bytes rest;         // the body after the form byte, for any other form
};

struct PragmaEntry { // 111
    static constexpr RecordKind kKind = KIND_PRAGMA;
    uint32_t id = 0;
    std::span<const std::string_view> strings;
};

struct FunctionBegin2 { // 123
    static constexpr RecordKind kKind = KIND_FUNCTION_BEGIN_2;
    uint32_t symbol = 0;
    int32_t number = 0;
    uint8_t byte = 0;
    uint32_t number2 = 0;
    SourcePos pos;
};

struct InLoop { // 124
    static constexpr RecordKind kKind = KIND_IN_LOOP;
    uint32_t loop = 0;
    int32_t level = 0; // -1 and -1: no loop control variable
    int32_t index = 0;
    uint8_t flags = 0;
};

struct FunctionEnd2 { // 125
    static constexpr RecordKind kKind = KIND_FUNCTION_END_2;
    SourcePos pos;
};

struct FileName { // 126
    static constexpr RecordKind kKind = KIND_FILE_NAME;
    std::string_view name;
};

// -- Type records (kind 116) -----------------------------------------------

// Type codes.
enum TypeCode : uint8_t {
    TC_BOOL = 0,
    TC_CHAR,
    TC_UCHAR,
    TC_WCHAR,
    TC_SHORT,
    TC_USHORT,
    TC_INT,
    TC_UINT,
    TC_LONG,
    TC_ULONG = 9,
    TC_FLOAT = 10,
    TC_DOUBLE = 11,
    TC_LDOUBLE = 12,
    TC_FIXED = 13,
    TC_TYPEDEF = 14,
    TC_POINTER = 15,
    TC_REFERENCE = 16,
    TC_QUALIFIED = 17,
    TC_ARRAY = 18,
    TC_MEMBER_POINTER = 19,
    TC_FUNCTION = 20,
    TC_PARAM = 21,
    TC_ENUM = 22,
    TC_ENUMERATOR = 23,
    TC_CLASS = 24,
    TC_CLASS_EXTRA = 25,
    TC_FIELD = 28,
    TC_BASE = 29,
    TC_LIST3 = 30,
    TC_LIST4 = 31,
    TC_LIST5 = 32,
    TC_LIST6 = 33,
    TC_LIST8 = 34,
    TC_LIST9 = 35,
    TC_COMPLEX = 36,
    TC_VOID = 49,
    TC_LLONG = 50,
    TC_ULLONG = 51,
    TC_LIST_BEGIN = 254,
    TC_LIST_END = 255,
};

struct IntType { // codes 0..9, 50, 51
    uint8_t explicitly_signed = 0;
    uint32_t size = 0;
    uint32_t alignment = 0;
    uint8_t is_boolean = 0;
    uint8_t boolean_byte = 0;
};

struct FloatType { // codes 10..12
    uint32_t size = 0;
    uint32_t alignment = 0;
};

struct FixedType { // 13
    uint8_t fraction_bits = 0;
    uint8_t flag = 0;
    uint32_t underlying = 0;
    uint32_t size = 0;
    uint32_t alignment = 0;
};

struct TypedefType { // 14
    std::string_view name;
    uint32_t target = 0;
    uint32_t size = 0;
    uint32_t alignment = 0;
    uint8_t flags = 0;
    uint8_t flags2 = 0;
    SourcePos pos;
};

struct PointerType { // 15 pointer, 16 reference
    uint32_t target = 0;
    uint32_t size = 0; // 22 stands for 32 with alignment 32
    uint32_t alignment = 0;
};

struct QualifiedType { // 17
    uint32_t base = 0;
    uint32_t qualifiers = 0;
    uint32_t size = 0;
    uint32_t alignment = 0;
};

struct ArrayType { // 18
    uint32_t element = 0;
    uint32_t count = 0;
    uint32_t size = 0;
    uint32_t alignment = 0;
    uint8_t flags = 0;
    uint8_t complete = 0;
    uint8_t is_vector = 0; // from version -76
    uint8_t extra = 0;     // versions -75 and -74 only
};

struct MemberPointerType { // 19
    uint32_t member = 0;
    uint32_t class_type = 0;
    uint32_t size = 0;
    uint32_t alignment = 0;
};

struct FunctionType { // 20; followed by its parameter list (list kind 0)
    uint32_t return_type = 0;
    std::array<uint8_t, 4> attributes{};
};

struct ParamEntry { // 21
    uint32_t type = 0;
    uint8_t byte = 0;
    uint32_t number = 0;
    std::string_view name;
};

struct EnumType { // 22; followed by its enumerators (list kind 1)
    std::string_view tag;
    uint32_t size = 0;
    uint32_t alignment = 0;
    uint32_t underlying = 0;
    uint8_t flags = 0; // from version -81
    SourcePos pos;
};

struct EnumeratorEntry { // 23
    std::string_view name;
    uint32_t value = 0; // 32 bits, signed when the enum's underlying type is
    SourcePos pos;
};

struct ClassType {        // 24, 25; followed by its member lists
    uint8_t category = 0; // 0 struct, 1 union, 2 class, 255 other
    std::string_view tag;
    uint8_t complete = 0;
    uint8_t flags2 = 0;
    uint32_t size = 0;
    uint32_t alignment = 0;
    uint8_t class_flag = 0;               // code 24
    uint32_t extra_number = 0;            // code 25
    std::array<uint8_t, 9> extra_flags{}; // code 25
    uint8_t special = 0;                  // from version -84
    uint8_t flags = 0;                    // from version -81
    SourcePos pos;
};

// Version -86 orders the trailing numbers flag1, bits, flag2 (no flag3);
// later versions bits, flag1, flag2, flag3.
struct FieldEntry { // 28
    uint32_t number = 0;
    std::string_view name;
    uint32_t type = 0;
    uint8_t byte = 0;
    int32_t offset = 0;
    uint8_t fti = 0; // from version -74
    uint32_t bits = 0;
    uint8_t flag1 = 0;
    uint8_t flag2 = 0;
    uint8_t flag3 = 0;
    SourcePos pos;
};

struct BaseEntry { // 29
    uint32_t type = 0;
    int32_t offset = 0;
    uint8_t byte1 = 0;
    uint8_t byte2 = 0;
};

struct List3Entry { // 30
    uint32_t number = 0;
    uint8_t byte = 0;
};

struct NamedTypeEntry { // 31 (byte unused), 34
    std::string_view name;
    uint32_t type = 0;
    uint8_t byte = 0;
};

struct TypeEntry { // 32, 33
    uint32_t type = 0;
};

struct List9Entry { // 35
    std::string_view name;
    uint32_t type = 0;
    uint8_t byte1 = 0;
    int32_t number = 0;
    std::array<uint8_t, 4> bytes{};
};

struct ComplexType { // 36
    uint32_t size = 0;
    uint32_t alignment = 0;
    uint32_t part = 0;
};

struct VoidType {}; // 49

struct ListMark { // 254 list begin, 255 list end
    uint8_t list = 0;
};

// A code this library does not know: the rest of the body, kept as is.
struct UnknownType {
    Bytes rest;
};

using TypeBody =
    std::variant<IntType, FloatType, FixedType, TypedefType, PointerType, QualifiedType, ArrayType,
                 MemberPointerType, FunctionType, ParamEntry, EnumType, EnumeratorEntry, ClassType,
                 FieldEntry, BaseEntry, List3Entry, NamedTypeEntry, TypeEntry, List9Entry,
                 ComplexType, VoidType, ListMark, UnknownType>;

// The body struct that goes with a code.
TypeBody type_body_for(uint8_t code);

// Whether a code defines a type (as opposed to a list entry or mark).
bool type_code_defines(uint8_t code);

struct TypeRecord { // 116
    static constexpr RecordKind kKind = KIND_TYPE;
    uint32_t number = 0; // the type defined, or whose list this is
    uint8_t code = 0;
    TypeBody body;
};

// -- Any record --------------------------------------------------------------

// A record whose kind this library does not know, kept with its body.
struct UnknownRecord {
    uint8_t kind = 0;
    Bytes body;
};

using RecordBody =
    std::variant<FunctionBegin, FunctionEnd, BlockBegin, BlockEnd, ParamsEnd, LocalsEnd,
                 OpaqueRecord, SymbolDecl, AsmText, LoopInfo, LabelDef, FiveNumbers, Statement,
                 Text, DepEdge, DepVector, ByteMark, ExceptionTable, AttributeList, Initializer,
                 Annotation, PragmaEntry, TypeRecord, FunctionBegin2, InLoop, FunctionEnd2,
                 FileName, UnknownRecord>;

// A top-level record with the records that belong to it.
struct Record {
    uint8_t kind = 0;
    size_t offset = 0; // stream offset of its kind byte
    size_t end = 0;    // stream offset after it and the records that belong to it
    RecordBody body;
};

} // namespace vx::icode
