// Tree nodes: BASE_NODE, the interface through which the I-code file library
// reads and fills a node, and NODE, the optimizer's node.
//
// Every statement and expression of a function is a tree of NODEs made in
// the function's arena.  A node holds its opcode, its type, its operands
// (`left` when the opcode takes one or two, `right` when it takes two), a
// 96-bit value, one payload slot whose meaning depends on the opcode, and a
// few words that the passes annotate.  docs/trees.md shows the layout.
#pragma once

#include "ir/int96.h"
#include "ir/opcode.h"
#include "support/arena.h"
#include "support/check.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx::ir {

class TYPE;         // a type of the type package
struct Symbol;      // a symbol of the symbol tables
struct FieldRecord; // a member of a class, struct or union type
class LABEL_REC;    // a code label of the flow graph

// What the dependence analysis attaches to a DDNODE.  The analysis extends
// the record; the file needs only the number that dependence edges use.
struct DDINFO {
    uint16_t node_number = 0;
};

// Width and signedness of an integral type.
struct IntegerShape {
    unsigned bits = Int96::bits;
    bool is_signed = true;
};

// The value of a floating constant.  Vexar float and double are IEEE single
// precision and long double is IEEE double precision (double is double
// precision in EABI mode); a host double holds each of them exactly, so the
// value is kept as read and rounded to the target's width only by whoever
// computes with it.  Immutable: nodes may share one.
class FconValue {
public:
    explicit FconValue(double value) : value_(value) {}

    // Text in C hexadecimal floating notation ("%a"), or any other form the
    // C library reads; nothing when the text is empty or has trailing junk.
    static std::optional<FconValue> parse(const char* text);

    double value() const { return value_; }
    // "%a" of the value, built on first use and kept.
    const char* hex_text() const;

    // `value` as a floating type of `bits` bits (32 or 64) holds it.
    static double rounded_to_width(double value, unsigned bits);

private:
    double value_;
    mutable char text_[32] = {};
};

// The world a node lives in: where nodes are allocated and what it may ask
// of the type package, the symbol tables and the current function.  One
// record per process; the driver points `arena` at the current function's
// arena (the run's arena while initializers are read), the type package and
// the reader's client install their queries.
struct NodeEnvironment {
    // Nodes and their private copies (SCON bytes, text, intrinsic names,
    // FCON values) are allocated here.
    Arena* arena = nullptr;

    // Width and signedness of an integral type.  Without it, for a node
    // without a type, and for widths outside 1..96, values are taken as
    // 96-bit signed.
    IntegerShape (*integer_shape)(const TYPE* type) = nullptr;
    // The companion type that a FIELD node takes in place of its type.
    TYPE* (*field_companion_type)(TYPE* type) = nullptr;

    // Marks on the current function while a tree is read: a CALL or UCALL
    // payload means the function is not a leaf; NAME and FIELD payloads may
    // carry attribute bits that the function record notes.
    void (*call_read)() = nullptr;
    void (*name_read)(Symbol* symbol) = nullptr;
    void (*field_read)(FieldRecord* member) = nullptr;

    // For the debug printer; without them types are not shown and symbols
    // show as "<symbol>".
    std::string (*type_spelling)(const TYPE* type) = nullptr;
    std::string (*symbol_name)(const Symbol* symbol) = nullptr;
};

// Inline, as every node made asks it for the arena.  The record holds only
// pointers, so it is constant-initialized and needs no guard.
inline NodeEnvironment& node_environment() {
    static constinit NodeEnvironment environment;
    return environment;
}
void reset_node_environment();

// The shape of `type` as the environment reports it.
IntegerShape integer_shape_of(const TYPE* type);

// The file library's view of a node.  The slot order is fixed: getters the
// writer uses, the id, setters the reader uses (which apply the reader's
// rules), the destructor.
class BASE_NODE {
public:
    virtual Symbol* sym() const = 0;                // NAME
    virtual uint8_t field_kind() const = 0;         // FIELD: always 1
    virtual FieldRecord* member() const = 0;        // FIELD
    virtual TYPE* container() const = 0;            // FIELD
    virtual uint32_t icon_unsigned() const = 0;     // ICON: low 32 bits
    virtual int32_t icon_signed() const = 0;        // ICON: low 32 bits
    virtual std::string lcon_text() const = 0;      // ICON/LCON in decimal for the type
    virtual const char* fcon_text() const = 0;      // FCON: "%a"
    virtual const uint8_t* scon_bytes() const = 0;  // SCON
    virtual uint32_t scon_length() const = 0;       // SCON
    virtual uint32_t label_number() const = 0;      // LABEL
    virtual int32_t vreg_number() const = 0;        // opcode 163: not kept, 0
    virtual uint32_t skip_number() const = 0;       // SKIP
    virtual uint32_t switch_number() const = 0;     // SWITCH
    virtual uint32_t ddnode_number() const = 0;     // DDNODE: from dval
    virtual uint32_t ddnode_second() const = 0;     // DDNODE: 0
    virtual uint8_t ddnode_byte() const = 0;        // DDNODE: 0
    virtual uint32_t call_first_number() const = 0; // CALL
    virtual const char* intrinsic_name() const = 0; // ICALL, UICALL, MCALL, UMCALL
    virtual uint32_t call_number() const = 0;       // CALL (second), UCALL

    virtual int32_t get_id() const = 0;
    virtual void set_id(int32_t id) = 0;

    virtual void read_name(Symbol* symbol) = 0;
    virtual void read_field(uint8_t kind, FieldRecord* member, TYPE* container) = 0;
    virtual void read_icon(uint32_t bits) = 0;
    virtual void read_lcon(const char* text) = 0;
    virtual void read_fcon(const char* text) = 0;
    virtual void read_scon(const uint8_t* bytes, uint32_t count) = 0;
    virtual void read_label(uint32_t number) = 0;
    virtual void read_vreg(int32_t number) = 0;
    virtual void read_skip(uint32_t number) = 0;
    virtual void read_switch(uint32_t number) = 0;
    virtual void read_ddnode(uint32_t number, uint32_t second, uint8_t byte) = 0;
    virtual void read_call(uint32_t first, uint32_t second) = 0;
    virtual void read_ucall(uint32_t number) = 0;
    virtual void read_intrinsic(const char* name) = 0;

    virtual ~BASE_NODE() = default;

protected:
    BASE_NODE() = default;
    BASE_NODE(const BASE_NODE&) = default;
    BASE_NODE& operator=(const BASE_NODE&) = default;
};

// The payload slot holds, by opcode: the symbol (NAME), the container type
// (FIELD), the value record (FCON), the bytes or text (SCON, ASM), the
// intrinsic's name (ICALL, UICALL, MCALL, UMCALL), the label record (LABEL,
// LABELDEF), the dependence information (DDNODE) or the call number (CALL,
// UCALL).  A FIELD keeps its member record in the value words, as it has no
// value.  Accessors check the opcode: a slot read under the wrong opcode is
// a defect.
class NODE final : public BASE_NODE {
public:
    // Sets the four named fields and clears everything else (id -1, weight
    // -1.0, expression number -1).  The declared type stays null; make_node
    // records it.
    NODE(Opcode op_, TYPE* type_, NODE* left_ = nullptr, NODE* right_ = nullptr)
        : op(op_), type(type_), left(left_), right(right_) {}
    // A reader's node: as above, with the declared type and the reading
    // function's stamp set at once rather than stored again over the
    // defaults just written.
    NODE(Opcode op_, TYPE* type_, uint16_t stamp_)
        : op(op_), type(type_), left(nullptr), right(nullptr), declared_type(type_), stamp(stamp_) {
    }
    NODE(const NODE&) = default;
    NODE& operator=(const NODE&) = default;

    // --- BASE_NODE
    Symbol* sym() const override {
        VX_CHECK(op == NAME);
        return slot_pointer<Symbol>();
    }
    uint8_t field_kind() const override { return 1; }
    FieldRecord* member() const override;
    TYPE* container() const override;
    uint32_t icon_unsigned() const override { return value.low32(); }
    int32_t icon_signed() const override { return static_cast<int32_t>(value.low32()); }
    std::string lcon_text() const override;
    const char* fcon_text() const override;
    const uint8_t* scon_bytes() const override;
    uint32_t scon_length() const override { return value.low32(); }
    uint32_t label_number() const override { return value.low32(); }
    int32_t vreg_number() const override { return 0; }
    uint32_t skip_number() const override { return value.low32(); }
    uint32_t switch_number() const override { return value.low32(); }
    uint32_t ddnode_number() const override;
    uint32_t ddnode_second() const override { return 0; }
    uint8_t ddnode_byte() const override { return 0; }
    uint32_t call_first_number() const override { return value.low32(); }
    const char* intrinsic_name() const override;
    uint32_t call_number() const override;

    int32_t get_id() const override { return id; }
    void set_id(int32_t new_id) override { id = new_id; }

    // Inline: the reader sets a NAME for one node in three.
    void read_name(Symbol* symbol) override {
        set_sym(symbol);
        if (auto note = node_environment().name_read; note != nullptr && symbol != nullptr)
            note(symbol);
    }
    void read_field(uint8_t kind, FieldRecord* member, TYPE* container) override;
    void read_icon(uint32_t bits) override;
    void read_lcon(const char* text) override;
    void read_fcon(const char* text) override;
    void read_scon(const uint8_t* bytes, uint32_t count) override;
    void read_label(uint32_t number) override { value = Int96::from_unsigned(number); }
    void read_vreg(int32_t) override {}
    void read_skip(uint32_t number) override;
    void read_switch(uint32_t number) override;
    void read_ddnode(uint32_t, uint32_t, uint8_t) override {}
    void read_call(uint32_t first, uint32_t second) override;
    void read_ucall(uint32_t number) override;
    void read_intrinsic(const char* name) override;

    // --- Payload for the passes (no reader rules, no marks).
    void set_sym(Symbol* symbol) {
        VX_CHECK(op == NAME);
        set_slot_pointer(symbol);
    }
    void set_field(FieldRecord* member, TYPE* container);
    const FconValue* fcon() const;
    void set_fcon(const FconValue* value);
    // SCON bytes (not NUL-terminated in the file; a NUL follows the copy)
    // with the count in the value.
    void set_scon(std::string_view bytes);
    // The text of an ASM statement; its record kind is the value.
    const char* text() const;
    void set_text(std::string_view text);
    void set_intrinsic_name(std::string_view name);
    LABEL_REC* label() const;
    void set_label(LABEL_REC* label);
    DDINFO* dval() const;
    void set_dval(DDINFO* info);
    void set_call_number(uint32_t number);

    // The value as the node's type holds it.
    Int96 value_for_type() const;
    // An ICON's value from the 32 bits a file holds: sign-extended when
    // `is_signed` (read_icon passes whether the node's type is signed).
    void set_icon_bits(uint32_t bits, bool is_signed) {
        value =
            is_signed ? Int96::from_signed(static_cast<int32_t>(bits)) : Int96::from_unsigned(bits);
    }

    // --- Fields.  Grouped by size so that the record stays small.
    Opcode op;
    uint16_t flags = 0; // per-pass flag bits
    int32_t id = -1;    // the number an EPVAL carried; -1 for none
    TYPE* type;
    NODE* left;
    NODE* right;
    TYPE* declared_type = nullptr; // the type the node was made with
    Int96 value;                   // see the payload table
    int32_t expr = -1;             // expression (triple) number; -1 for none
    double weight = -1.0;          // a per-pass estimate; -1.0 for none
    void* aux = nullptr;           // owned by the pass that sets it
    uint16_t stamp = 0;            // the reading function's stamp
    uint16_t aux16[2] = {0, 0};    // owned by the pass that sets them

private:
    template <typename T> T* slot_pointer() const { return reinterpret_cast<T*>(payload_); }
    template <typename T> void set_slot_pointer(T* pointer) {
        payload_ = reinterpret_cast<std::uintptr_t>(pointer);
    }
    std::uintptr_t payload_ = 0;
};

// The node factory: a node in the environment's arena, with `type` recorded
// as its declared type as well.  Inline: the reader makes every node of a
// file through it.
//
// Nodes are placed in the arena without a finalizer: a NODE owns nothing
// outside the arena, so skipping its (empty) destructor is safe, and a
// finalizer per node would cost more than the node's own payload.
inline NODE* make_node(Opcode op, TYPE* type, NODE* left = nullptr, NODE* right = nullptr) {
    Arena* arena = node_environment().arena;
    VX_CHECK(arena != nullptr);
    NODE* node = new (arena->allocate(sizeof(NODE), alignof(NODE))) NODE(op, type, left, right);
    node->declared_type = type;
    return node;
}
// Memory for nodes made one after the other, taken from the environment's
// arena a run of nodes at a time, so that a reader making every node of a
// file bumps a pointer of its own instead of asking the arena for each.
// The run left over is dropped whenever the environment's arena changes, and
// when the owner calls drop() (before the arena it took the run from can be
// released).
class NodeSlots {
public:
    static constexpr std::size_t kNodesPerRun = 16;

    NODE* make(Opcode op, TYPE* type, uint16_t stamp = 0) {
        follow_arena();
        return make_in_followed_arena(op, type, stamp);
    }
    // For a caller making many nodes while the environment's arena surely
    // stays the same (the nodes of one tree): follow_arena() once, then
    // make_in_followed_arena() for each node, which does not look at the
    // environment.
    void follow_arena() {
        if (Arena* arena = node_environment().arena; arena != arena_)
            arena_ = arena, next_ = end_ = nullptr;
    }
    NODE* make_in_followed_arena(Opcode op, TYPE* type, uint16_t stamp = 0) {
        if (next_ == end_)
            take_run(arena_);
        NODE* node = new (next_) NODE(op, type, stamp);
        next_ += sizeof(NODE);
        return node;
    }
    void drop() { arena_ = nullptr, next_ = end_ = nullptr; }

private:
    void take_run(Arena* arena);

    Arena* arena_ = nullptr;
    std::byte* next_ = nullptr;
    std::byte* end_ = nullptr;
};

// A copy of one node in the environment's arena, sharing its operands and
// payload.
NODE* copy_node(const NODE* node);
// A copy of a whole tree; payloads are shared (they are never changed in
// place).  Follows `right` by iteration.
NODE* copy_tree(const NODE* root);

// A floating constant's value record in the environment's arena.
const FconValue* new_fcon_value(double value);
// A copy of `text` with a NUL after it, in the environment's arena.
const char* copy_to_arena(std::string_view text);

} // namespace vx::ir
