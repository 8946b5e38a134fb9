// The type rules of C at the target's sizes: builds typed trees in I-code
// shapes, with every implicit conversion written out (SCONV, PCONV), pointer
// arithmetic scaled in words and integer constants folded.
#pragma once

#include "cfront/program.h"

#include <optional>
#include <string>
#include <vector>

namespace vx::cfront {

class Semantics {
public:
    explicit Semantics(Program& program) : program_(program), types_(program.types) {}

    TypeTable& types() { return types_; }

    Node* icon(CType* type, int64_t value);
    Node* fcon(CType* type, double value);
    Node* name(Symbol* symbol);
    Node* string_literal(const std::string& bytes, SourcePos pos);

    // Arrays decay to pointers to their first element, functions to their
    // address.
    Node* rvalue(Node* node);
    // A value tested for non-zero (conditions, operands of && || !).
    Node* condition(Node* node, SourcePos pos);

    Node* cast(Node* node, CType* to, SourcePos pos);
    // Conversion as by assignment (also for arguments and return values).
    Node* assign_convert(Node* node, CType* to, SourcePos pos, const char* what);

    Node* binary(const std::string& op, Node* left, Node* right, SourcePos pos);
    Node* unary(const std::string& op, Node* operand, SourcePos pos);
    Node* logical(const std::string& op, Node* left, Node* right, SourcePos pos);
    Node* conditional(Node* test, Node* yes, Node* no, SourcePos pos);
    Node* comma(Node* left, Node* right);
    Node* assign(const std::string& op, Node* target, Node* value, SourcePos pos);
    Node* increment(bool up, bool postfix, Node* target, SourcePos pos);
    Node* address_of(Node* node, SourcePos pos);
    Node* dereference(Node* node, SourcePos pos);
    Node* index(Node* base, Node* subscript, SourcePos pos);
    Node* member(Node* base, const std::string& field, bool arrow, SourcePos pos);
    Node* call(Node* callee, std::vector<Node*> arguments, SourcePos pos);
    Node* size_of(CType* type, SourcePos pos);

    void start_function() { call_number_ = 0; }

    static bool is_constant(const Node* node) { return node->op == "ICON"; }
    static bool is_lvalue(const Node* node);
    static bool has_side_effects(const Node* node);
    static bool is_null_pointer(const Node* node);
    int64_t wrap(CType* type, int64_t value) const;

private:
    Node* make(const std::string& op, CType* type, std::vector<Node*> kids);
    Node* convert(Node* node, CType* to);
    Node* arithmetic(const std::string& op, Node* left, Node* right, SourcePos pos);
    Node* compare(const std::string& op, Node* left, Node* right, SourcePos pos);
    Node* pointer_offset(const std::string& op, Node* pointer, Node* offset, SourcePos pos);
    Node* scaled(Node* offset, CType* pointer_type, SourcePos pos);
    Node* fold(const std::string& op, CType* type, Node* left, Node* right);
    void require_modifiable(Node* target, SourcePos pos);

    Program& program_;
    TypeTable& types_;
    int call_number_ = 0;
    int string_count_ = 0;
};

} // namespace vx::cfront
