// The symbol record: every variable, parameter and function that a statement
// can name.  Symbols come from the declarations of the I-code stream, from
// passes that need new variables (numbered copies, temporaries), and are
// written back with the output.
//
// A symbol is one arena object: global symbols live in the run's arena,
// local ones in their function's arena (see symbol_table.h), so records are
// never freed one by one.  This header holds the record, its bit values,
// storage classes and attribute lists; the tables are in symbol_table.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx::ir {

class TYPE;
class NODE;
struct FUNINFO;

// ---------------------------------------------------------------------------
// Storage classes, as the stream numbers them (docs/symbols.md has the table).

inline constexpr int8_t SC_NONE = 0;
inline constexpr int8_t SC_AUTO = 1;       // automatic local variable
inline constexpr int8_t SC_EXTERN_DEF = 2; // external, defined here
inline constexpr int8_t SC_STATIC = 3;     // file or function-local static
inline constexpr int8_t SC_REGISTER = 4;   // register local
inline constexpr int8_t SC_EXTERN_REF = 5; // external, declared here only
inline constexpr int8_t SC_NO_STORAGE = 6; // names no storage; filed in no local list
inline constexpr int8_t SC_PARAM = 9;      // parameter
inline constexpr int8_t SC_REGISTER_PARAM = 17;
inline constexpr int8_t SC_REGISTER_TEMP = 22; // compiler temporary kept in a register
inline constexpr int8_t SC_PINNED_PARAM = 27;  // parameter that callers may not specialize

// Classes whose address, when taken, makes the function take a local's address.
bool is_local_storage_class(int8_t storage_class);
// Classes of symbols that never live in memory reachable by other code.
bool starts_outside_memory(int8_t storage_class);
// 2 and 5: visible outside the file.
bool is_external_storage_class(int8_t storage_class);

// ---------------------------------------------------------------------------
// Bits of the 16-bit flags word.

inline constexpr uint16_t SYM_CREGISTER = 0x0010; // lives in a control register
inline constexpr uint16_t SYM_INTERRUPT = 0x0020; // function is an interrupt routine
inline constexpr uint16_t SYM_REGISTER = 0x0080;  // lives in a register
inline constexpr uint16_t SYM_REACHABLE = 0x2000; // other code may reach the variable
inline constexpr uint16_t SYM_VISIBLE = 0xE000;   // visibility: default, extern or protected
inline constexpr uint16_t SYM_EXPORTED = 0xC000;  // globals treated as visible below -o3
inline constexpr uint16_t SYM_NAMED_IN_OUTPUT = 0x8000;
inline constexpr uint16_t SYM_STREAM_BITS = 0x19FF; // what reading keeps of the stream's flags
inline constexpr uint16_t SYM_LOW_BITS = 0x1FFF;    // what a demoted static keeps

// Bits of the flag byte.
inline constexpr uint8_t SYMB_IN_MEMORY = 0x01; // lives where other code may reach it
inline constexpr uint8_t SYMB_DECLARED = 0x04;  // set at creation; parameters are written while set
inline constexpr uint8_t SYMB_DEMOTED_STATIC = 0x10; // a function-local static turned automatic
inline constexpr uint8_t SYMB_INITIALIZED = 0x20;    // has an initializer

// ---------------------------------------------------------------------------

// A source position; an empty file name means no position.
struct SourcePosition {
    std::string file;
    uint32_t line = 0;
    uint32_t column = 0;

    bool known() const { return !file.empty(); }
};

// A symbol attribute list (a symbol pragma): an id and its argument strings.
// Lists are chained newest first and never change once attached, so a copy
// of a symbol may share its chain.
struct AttributeList {
    uint8_t id = 0;
    std::vector<std::string> arguments;
    const AttributeList* next = nullptr; // the older list

    // The argument, or "" when the list has fewer.
    const char* argument(std::size_t index) const {
        return index < arguments.size() ? arguments[index].c_str() : "";
    }
};

// Working fields of passes, carried along by copy symbol.  Named after
// their first users; each is meaningful only while its pass runs.
struct SymbolPassData {
    uint32_t reference_count = 0; // uses counted by dead-assignment removal, lcse, fast_CP
    uint32_t value_number = 0;    // lcse value / alias numbering
    int16_t assignment_count = 0; // fast_CP; -1 excludes the variable
    bool address_taken = false;   // fast_CP
    NODE* known_value = nullptr;  // fast_CP: the assignment holding the current value
    void* pass_link = nullptr;    // per-pass chaining
    uint32_t scratch[3] = {};
};

struct Symbol {
    std::string name;
    uint32_t size = 0;  // bits
    int32_t offset = 0; // frame offset or storage address class from the producer
    int8_t storage_class = SC_NONE;
    int8_t declared_storage_class = SC_NONE;
    uint16_t flags = 0;
    TYPE* type = nullptr;          // the type the optimizer uses
    TYPE* declared_type = nullptr; // as read
    TYPE* second_type = nullptr;
    uint32_t alignment = 0;        // bits
    uint32_t stream_words[2] = {}; // the two numbers of the declaration, written back unchanged
    SourcePosition position;
    const AttributeList* attributes = nullptr; // newest first
    SymbolPassData pass;
    std::vector<NODE*> initializer; // initializer trees, up to ENDINIT
    int table_level = 0;            // 0: global table
    uint32_t table_index = 0;       // position in the global or local table
    uint32_t file_offset = 0;       // I_BF or initializer record in the file last written
    int option_set = 0;             // option set of this symbol's function
    Symbol* next = nullptr;         // link of the list that holds the symbol
    uint8_t level = 0;              // 0 global, 1 parameters, 2+ locals of nested blocks
    uint32_t declaration_number = 0;
    int16_t candidate = -1; // LVA candidate number / live-range mark; -1 none
    uint8_t flag_byte = 0;
    unsigned sequence = 0; // creation order in the run: orders functions below -o2
    // The function record that the name leads to, once looked up (see
    // function_record_of); a cache, so it may be set on a const symbol.
    mutable FUNINFO* function_record = nullptr;
};

// The fields a symbol is created with.
struct SymbolFields {
    std::string_view name;
    uint32_t size = 0;
    int32_t offset = 0;
    int8_t storage_class = SC_NONE;
    uint16_t flags = 0;
    TYPE* type = nullptr; // the declared type
    TYPE* second_type = nullptr;
    uint32_t alignment = 0;
    SourcePosition position;
};

// Fills a fresh record: the fields, the optimizer's type for the declared
// one, the flag byte of a new symbol and the level.  Stops the run when the
// size disagrees with a non-function type's size.
void init_symbol(Symbol& symbol, const SymbolFields& fields, uint8_t level);

// "cregister", "register", "extern", "static" or "".
const char* storage_class_text(const Symbol& symbol);

// The newest list with this id, or nullptr.
const AttributeList* find_attribute(const Symbol& symbol, uint8_t id);

bool is_function(const Symbol& symbol);

// A chain of symbols linked through `next`, with its tail and count.
class SymbolList {
public:
    class iterator {
    public:
        using value_type = Symbol*;
        using difference_type = std::ptrdiff_t;
        iterator() = default;
        explicit iterator(Symbol* at) : at_(at) {}
        Symbol* operator*() const { return at_; }
        iterator& operator++() {
            at_ = at_->next;
            return *this;
        }
        iterator operator++(int) {
            iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const iterator&) const = default;

    private:
        Symbol* at_ = nullptr;
    };

    iterator begin() const { return iterator(head_); }
    iterator end() const { return iterator(); }
    Symbol* front() const { return head_; }
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

    void push_back(Symbol* symbol);
    // Unlinks the symbol; false when it is not on this list.
    bool remove(Symbol* symbol);
    // Forgets the chain (the records stay where they are).
    void clear();

private:
    Symbol* head_ = nullptr;
    Symbol* tail_ = nullptr;
    std::size_t count_ = 0;
};

} // namespace vx::ir
