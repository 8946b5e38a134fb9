// The optimizer's forms of statement trees, made as trees are read.
//
// The node factory applies the creation rules (a UCALL clears the leaf
// mark, an SCONV to an enum takes the enum's integer type, a PCONV to a
// character pointer may become ISP2CHAR), and every node is converted once
// its operands are (children first):
//
//   - a node of enum type takes the enum's integer type (qualifiers kept);
//   - a NAME of an external reference (class 5) names the external
//     definition (class 2) of the same name and a compatible type instead;
//   - UAND of a local's NAME (through STDOTs) marks the function as taking
//     the address of a local;
//   - ENDLOOP becomes CBRANCH; SCONV of vector type becomes VSCONV;
//     PMCONV becomes MULT (its operand converted first when it is of
//     another size);
//   - EPVAL goes, its operand takes its place and its id;
//   - ASSERT takes its operand's operands (the operand node is kept in the
//     ASSERT's `aux`, so that the output can restore it);
//   - NASSERT becomes ICON 0 when "disable:nasserts" says assertions are
//     not to be used, else marks the function;
//   - REAL and IMAG of a vector over a NAME, UMULT or STDOT become VFIELD
//     with lane 0 or 1; VFIELD keeps the file's form (vector, lane), which
//     is the optimizer's vector-field form.
//
// CALL keeps its argument list: the file's right-leaning COMMA chain is the
// optimizer's argument form.  MCALL and UMCALL stay as they are while the
// optimizer knows no intrinsic.  LOOP, a statement, becomes a label
// definition in the reader client.
#pragma once

#include "ir/function_info.h"
#include "ir/node.h"
#include "ir/symbol.h"
#include "ir/type.h"
#include "support/switches.h"

#include <array>
#include <unordered_map>
#include <vector>

namespace vx::ir {
class TYPE_PKG;
} // namespace vx::ir

namespace vx::icode {

// With this switch on, a PCONV to a pointer to char or unsigned char
// becomes ISP2CHAR (when char and int have the same size).
inline constexpr sw::SwitchHandle enable_isp2char{"enable:isp2char"};
// With this switch on, NASSERT assertions are not used: each becomes ICON 0.
inline constexpr sw::SwitchHandle disable_nasserts{"disable:nasserts"};

// What converting the trees of a statement found out.
struct ConversionNotes {
    bool has_nasserts = false;
    std::vector<ir::Symbol*> restrict_globals;
    std::vector<ir::FieldRecord*> restrict_members;
};

class StatementConverter {
public:
    explicit StatementConverter(ir::TYPE_PKG& package) : package_(package) {}

    // The function whose trees are read (nullptr for initializers) and the
    // stamp its nodes get.
    // The node memory left from the function before is dropped, as its
    // arena is released once the function is written.
    void set_function(ir::FUNINFO* function, uint16_t stamp) {
        function_ = function;
        stamp_ = stamp;
        slots_.drop();
        plain_type_ = nullptr;
    }

    // Inline for the nodes that no rule touches, which are most of a file.
    // Every node made here carries the function's stamp from the start, so
    // that convert_unless_stopping() need not store it again.
    ir::NODE* make_node(ir::Opcode op, ir::TYPE* type) {
        if (kMadeByRules[op])
            return make_stamped_node_by_rules(op, type);
        return slots_.make(op, type, stamp_);
    }
    // make_node() for the nodes of one tree, after begin_tree(): the arena
    // the nodes go to does not change while a tree is read, so it is looked
    // up once per tree rather than once per node.
    void begin_tree() { slots_.follow_arena(); }
    ir::NODE* make_tree_node(ir::Opcode op, ir::TYPE* type) {
        if (kMadeByRules[op])
            return make_stamped_node_by_rules(op, type);
        return slots_.make_in_followed_arena(op, type, stamp_);
    }
    ir::NODE* convert(ir::NODE* node) {
        node->stamp = stamp_;
        if ((kConverted[node->op] && !names_local(node)) ||
            (node->type != nullptr && node->type->is_enum()))
            return convert_by_rules(node);
        return node;
    }

    // Whether convert() would stop the run on this node: a conversion to a
    // vector type of an operand that is not a vector, written or made for a
    // PMCONV.
    static bool would_stop(const ir::NODE* node) {
        return (node->op == ir::SCONV || node->op == ir::PMCONV) && would_stop_slowly(node);
    }

    // convert(), or nullptr where would_stop() holds: what the reader does
    // with each node once its operands are complete, with one look at the
    // opcode for the nodes no rule touches.  Only for nodes made by
    // make_node() or make_tree_node(), which are stamped already.
    ir::NODE* convert_unless_stopping(ir::NODE* node) {
        if (kConverted[node->op])
            return would_stop(node) ? nullptr : convert(node);
        if (node->type != plain_type_ && node->type != nullptr) {
            if (node->type->is_enum())
                return convert_by_rules(node);
            plain_type_ = node->type;
        }
        return node;
    }

    ConversionNotes& notes() { return notes_; }

    // The integer type that stands for an enum type (qualifiers kept).
    ir::TYPE* integer_of_enum(ir::TYPE* type);

private:
    // A NAME of a local symbol (or of none), which no rule changes.
    static bool names_local(const ir::NODE* node) {
        if (node->op != ir::NAME)
            return false;
        const ir::Symbol* symbol = node->sym();
        return symbol == nullptr || symbol->level != 0;
    }

    // The opcodes that convert() looks at beyond their type, and those that
    // make_node() makes by its rules.
    static const std::array<bool, 256> kConverted;
    static const std::array<bool, 256> kMadeByRules;

    static bool would_stop_slowly(const ir::NODE* node);
    ir::NODE* make_node_by_rules(ir::Opcode op, ir::TYPE* type);
    ir::NODE* make_stamped_node_by_rules(ir::Opcode op, ir::TYPE* type) {
        ir::NODE* node = make_node_by_rules(op, type);
        node->stamp = stamp_;
        return node;
    }
    ir::NODE* convert_by_rules(ir::NODE* node);
    ir::NODE* convert_name(ir::NODE* node);
    void note_local_address(const ir::NODE* node);
    void note_restrict_member(const ir::NODE* node);
    ir::NODE* convert_sconv(ir::NODE* node);
    ir::NODE* convert_pmconv(ir::NODE* node);
    ir::NODE* convert_nassert(ir::NODE* node);
    ir::NODE* convert_assert(ir::NODE* node);
    ir::NODE* convert_vector_part(ir::NODE* node);
    ir::Symbol* external_definition(ir::Symbol* reference);
    bool becomes_isp2char(ir::Opcode op, const ir::TYPE* type) const;

    ir::TYPE_PKG& package_;
    ir::FUNINFO* function_ = nullptr;
    uint16_t stamp_ = 0;
    ConversionNotes notes_;
    ir::NodeSlots slots_;
    // The type last seen by convert_unless_stopping() that is not an enum
    // (a type's kind never changes); forgotten with each function.
    const ir::TYPE* plain_type_ = nullptr;
    std::unordered_map<ir::TYPE*, ir::TYPE*> enum_integers_;
    std::unordered_map<ir::Symbol*, ir::Symbol*> definitions_;
};

// True for a restrict-qualified pointer (qualifier bit 64): the pointers
// whose uses the scopes record.
bool is_restrict_pointer(const ir::TYPE* type);

} // namespace vx::icode
