#include "cfront/semantic.h"

#include <map>

namespace vx::cfront {

namespace {

const std::map<std::string, std::string>& arithmetic_opcodes() {
    static const std::map<std::string, std::string> table = {
        {"+", "PLUS"}, {"-", "MINUS"}, {"*", "MULT"}, {"/", "DIV"}, {"%", "MOD"},
        {"<<", "SLL"}, {">>", "SRL"},  {"&", "ANDB"}, {"|", "ORB"}, {"^", "XORB"}};
    return table;
}

std::string compare_opcode(const std::string& op, bool is_unsigned) {
    if (op == "==")
        return "EQ";
    if (op == "!=")
        return "NEQ";
    static const std::map<std::string, std::string> table = {
        {"<", "LT"}, {"<=", "LE"}, {">", "GT"}, {">=", "GE"}};
    return (is_unsigned ? "U" : "") + table.at(op);
}

bool is_pointer(const Node* node) {
    return node->type->kind == Kind::Pointer;
}

} // namespace

Node* Semantics::make(const std::string& op, CType* type, std::vector<Node*> kids) {
    Node* node = program_.node(op, type);
    node->kids = std::move(kids);
    return node;
}

int64_t Semantics::wrap(CType* type, int64_t value) const {
    const uint32_t bits = type->kind == Kind::Int ? type->bits() : 32;
    if (bits >= 64)
        return value;
    const uint64_t mask = (uint64_t{1} << bits) - 1;
    uint64_t low = static_cast<uint64_t>(value) & mask;
    if (!type->is_unsigned() && (low >> (bits - 1)) != 0)
        low |= ~mask;
    return static_cast<int64_t>(low);
}

Node* Semantics::icon(CType* type, int64_t value) {
    Node* node = program_.node("ICON", type->unqualified);
    node->value = wrap(type, value);
    return node;
}

Node* Semantics::fcon(CType* type, double value) {
    Node* node = program_.node("FCON", type->unqualified);
    node->fvalue = value;
    return node;
}

Node* Semantics::name(Symbol* symbol) {
    Node* node = program_.node("NAME", symbol->type);
    node->symbol = symbol;
    return node;
}

// A string literal is an unnamed static array with the bytes as its
// initializer; the expression names that array.
Node* Semantics::string_literal(const std::string& bytes, SourcePos pos) {
    auto owned = std::make_unique<Symbol>();
    Symbol* symbol = owned.get();
    program_.symbol_store.push_back(std::move(owned));
    symbol->name = "$S" + std::to_string(++string_count_);
    CType* array =
        types_.array_of(types_.integer(IntKind::Char), static_cast<int64_t>(bytes.size()) + 1);
    symbol->type = array;
    symbol->storage = SC_STATIC;
    symbol->pos = pos;
    symbol->defined = true;
    symbol->index = static_cast<int>(program_.globals.size());
    Node* init = program_.node("SCON", array);
    init->bytes = bytes + std::string(1, '\0');
    symbol->initializer.push_back(init);
    symbol->has_initializer = true;
    program_.globals.push_back(symbol);
    return name(symbol);
}

bool Semantics::is_lvalue(const Node* node) {
    if (node->op == "NAME")
        return node->type->kind != Kind::Function;
    return node->op == "UMULT" || node->op == "STDOT" || node->op == "STREF";
}

bool Semantics::has_side_effects(const Node* node) {
    static const char* const effects[] = {
        "ASG",     "PLUSASG", "MINUSASG", "MULTASG", "DIVASG", "MODASG", "SLLASG",   "SRLASG",
        "ANDBASG", "ORBASG",  "XORBASG",  "STASG",   "CALL",   "UCALL",  "PLUSPLUS", "MINMIN"};
    for (const char* op : effects)
        if (node->op == op)
            return true;
    if (node->type != nullptr && (node->type->quals & Q_VOLATILE) && is_lvalue(node))
        return true;
    for (const Node* kid : node->kids)
        if (has_side_effects(kid))
            return true;
    return false;
}

bool Semantics::is_null_pointer(const Node* node) {
    if (node->op != "ICON" || node->value != 0)
        return false;
    return node->type->kind == Kind::Int ||
           (node->type->kind == Kind::Pointer && node->type->target->is_void());
}

Node* Semantics::rvalue(Node* node) {
    CType* type = node->type;
    if (type->kind == Kind::Array) {
        CType* pointer = types_.pointer_to(type->target);
        if (node->op == "UMULT")
            return make("PCONV", pointer, {node->kids[0]});
        return make("UAND", pointer, {node});
    }
    if (type->kind == Kind::Function)
        return make("UAND", types_.pointer_to(type), {node});
    return node;
}

Node* Semantics::condition(Node* node, SourcePos pos) {
    node = rvalue(node);
    if (!node->type->is_scalar())
        fail(pos, "used " + type_name(node->type) + " where a scalar is required");
    return node;
}

// The conversion itself, once it is known to be allowed.
Node* Semantics::convert(Node* node, CType* to) {
    CType* from = node->type->unqualified;
    CType* target = to->unqualified;
    if (target->is_void())
        return node;
    // An enum and its int are compatible types, but a value changing
    // between them is still written as a conversion.
    const bool enum_change = from != target && (from->is_enum() || target->is_enum());
    if (same_type(from, target) && !enum_change)
        return node->op == "ICON" && node->type != target ? icon(target, node->value) : node;
    if (node->op == "ICON" && (target->kind == Kind::Int || target->kind == Kind::Pointer))
        return icon(target, node->value);
    if (node->op == "ICON" && target->kind == Kind::Float)
        return fcon(target, from->is_unsigned()
                                ? static_cast<double>(static_cast<uint64_t>(node->value))
                                : static_cast<double>(node->value));
    if (node->op == "FCON" && target->kind == Kind::Float)
        return fcon(target, node->fvalue);
    if (node->op == "FCON" && target->kind == Kind::Int)
        return icon(target, static_cast<int64_t>(node->fvalue));
    if (from->kind == Kind::Pointer || target->kind == Kind::Pointer)
        return make("PCONV", target, {node});
    return make("SCONV", target, {node});
}

Node* Semantics::cast(Node* node, CType* to, SourcePos pos) {
    node = rvalue(node);
    CType* target = to->unqualified;
    if (target->is_void())
        return node; // the value is dropped where it is used

    if (!target->is_scalar())
        fail(pos, "cannot cast to " + type_name(to));
    if (!node->type->is_scalar())
        fail(pos, "cannot cast " + type_name(node->type) + " to " + type_name(to));
    if (target->kind == Kind::Float && node->type->kind == Kind::Pointer)
        fail(pos, "cannot cast a pointer to a floating type");
    return convert(node, target);
}

Node* Semantics::assign_convert(Node* node, CType* to, SourcePos pos, const char* what) {
    node = rvalue(node);
    CType* target = to->unqualified;
    CType* from = node->type->unqualified;
    if (target->kind == Kind::Struct) {
        if (!same_type(from, target))
            fail(pos, std::string("incompatible types in ") + what + ": " + type_name(from) +
                          " to " + type_name(to));
        return node;
    }
    if (target->is_arithmetic() && from->is_arithmetic())
        return convert(node, target);
    if (target->kind == Kind::Pointer) {
        if (is_null_pointer(node) || from->kind == Kind::Pointer)
            return convert(node, target);
        if (from->kind == Kind::Int)
            return convert(node, target); // allowed with a warning by most compilers
    }
    if (target->kind == Kind::Int && from->kind == Kind::Pointer)
        return convert(node, target);
    fail(pos, std::string("incompatible types in ") + what + ": " + type_name(from) + " to " +
                  type_name(to));
}

// Integer constant folding at the width and signedness of the result type.
Node* Semantics::fold(const std::string& op, CType* type, Node* left, Node* right) {
    if (left->op != "ICON" || (right != nullptr && right->op != "ICON"))
        return nullptr;
    if (type->kind != Kind::Int)
        return nullptr;
    const bool is_unsigned = left->type->is_unsigned();
    const uint64_t ua = static_cast<uint64_t>(left->value);
    const int64_t a = left->value;
    const uint64_t ub = right ? static_cast<uint64_t>(right->value) : 0;
    const int64_t b = right ? right->value : 0;
    int64_t r = 0;
    if (op == "PLUS")
        r = static_cast<int64_t>(ua + ub);
    else if (op == "MINUS")
        r = static_cast<int64_t>(ua - ub);
    else if (op == "MULT")
        r = static_cast<int64_t>(ua * ub);
    else if (op == "DIV" || op == "MOD") {
        if (b == 0 || (!is_unsigned && b == -1 && a == INT64_MIN))
            return nullptr;
        if (is_unsigned)
            r = static_cast<int64_t>(op == "DIV" ? ua / ub : ua % ub);
        else
            r = op == "DIV" ? a / b : a % b;
    } else if (op == "SLL" || op == "SRL") {
        if (b < 0 || b >= static_cast<int64_t>(type->bits()))
            return nullptr;
        if (op == "SLL")
            r = static_cast<int64_t>(ua << b);
        else
            r = is_unsigned ? static_cast<int64_t>(ua >> b) : a >> b;
    } else if (op == "ANDB")
        r = a & b;
    else if (op == "ORB")
        r = a | b;
    else if (op == "XORB")
        r = a ^ b;
    else if (op == "EQ")
        r = a == b;
    else if (op == "NEQ")
        r = a != b;
    else if (op == "LT")
        r = a < b;
    else if (op == "LE")
        r = a <= b;
    else if (op == "GT")
        r = a > b;
    else if (op == "GE")
        r = a >= b;
    else if (op == "ULT")
        r = ua < ub;
    else if (op == "ULE")
        r = ua <= ub;
    else if (op == "UGT")
        r = ua > ub;
    else if (op == "UGE")
        r = ua >= ub;
    else if (op == "UMINUS")
        r = static_cast<int64_t>(0 - ua);
    else if (op == "NOTB")
        r = ~a;
    else if (op == "EXCLAIM")
        r = a == 0;
    else
        return nullptr;
    return icon(type, r);
}

Node* Semantics::arithmetic(const std::string& op, Node* left, Node* right, SourcePos pos) {
    const std::string& opcode = arithmetic_opcodes().at(op);
    const bool integer_only =
        op == "%" || op == "<<" || op == ">>" || op == "&" || op == "|" || op == "^";
    if (!left->type->is_arithmetic() || !right->type->is_arithmetic() ||
        (integer_only && (!left->type->is_integer() || !right->type->is_integer())))
        fail(pos, "invalid operands to binary " + op + " (" + type_name(left->type) + " and " +
                      type_name(right->type) + ")");
    if (op == "<<" || op == ">>") {
        // The shift count keeps its own (promoted) type.
        CType* type = types_.promote(left->type);
        left = convert(left, type);
        right = convert(right, types_.promote(right->type));
        if (Node* folded = fold(opcode, type, left, right))
            return folded;
        return make(opcode, type, {left, right});
    }
    CType* type = types_.common_type(left->type, right->type);
    left = convert(left, type);
    right = convert(right, type);
    if (Node* folded = fold(opcode, type, left, right))
        return folded;
    return make(opcode, type, {left, right});
}

// The offset is an integer of at least int's width, scaled to words; an
// unsigned int is widened so that offsets above 32767 stay positive.
Node* Semantics::scaled(Node* offset, CType* pointer_type, SourcePos pos) {
    CType* element = pointer_type->target;
    if (!element->is_complete() && !element->is_void())
        fail(pos, "arithmetic on a pointer to an incomplete type");
    CType* type = types_.promote(offset->type);
    if (type->ikind == IntKind::UInt)
        type = types_.integer(IntKind::Long);
    else if (type->bits() > 32)
        type = types_.integer(type->is_unsigned() ? IntKind::ULong : IntKind::Long);
    offset = convert(offset, type);
    const uint32_t words = element->is_void() ? 1 : element->words();
    if (words == 1)
        return offset;
    Node* factor = icon(type, words);
    if (Node* folded = fold("MULT", type, offset, factor))
        return folded;
    return make("MULT", type, {offset, factor});
}

Node* Semantics::pointer_offset(const std::string& op, Node* pointer, Node* offset, SourcePos pos) {
    if (!offset->type->is_integer())
        fail(pos, "invalid operands to binary " + op);
    Node* words = scaled(offset, pointer->type, pos);
    if (words->op == "ICON" && words->value == 0)
        return pointer;
    return make(op == "+" ? "PLUS" : "MINUS", pointer->type->unqualified, {pointer, words});
}

Node* Semantics::compare(const std::string& op, Node* left, Node* right, SourcePos pos) {
    CType* result = types_.int_type();
    if (left->type->is_arithmetic() && right->type->is_arithmetic()) {
        CType* type = types_.common_type(left->type, right->type);
        left = convert(left, type);
        right = convert(right, type);
        const std::string opcode = compare_opcode(op, type->is_unsigned());
        if (Node* folded = fold(opcode, result, left, right))
            return folded;
        return make(opcode, result, {left, right});
    }
    if (is_pointer(left) && is_null_pointer(right))
        right = convert(right, left->type);
    else if (is_pointer(right) && is_null_pointer(left))
        left = convert(left, right->type);
    else if (!is_pointer(left) || !is_pointer(right))
        fail(pos, "invalid operands to binary " + op + " (" + type_name(left->type) + " and " +
                      type_name(right->type) + ")");
    return make(compare_opcode(op, true), result, {left, right});
}

Node* Semantics::binary(const std::string& op, Node* left, Node* right, SourcePos pos) {
    left = rvalue(left);
    right = rvalue(right);
    if (op == "==" || op == "!=" || op == "<" || op == "<=" || op == ">" || op == ">=")
        return compare(op, left, right, pos);
    if (op == "+" && is_pointer(left))
        return pointer_offset(op, left, right, pos);
    if (op == "+" && is_pointer(right))
        return pointer_offset(op, right, left, pos);
    if (op == "-" && is_pointer(left) && is_pointer(right)) {
        CType* type = types_.int_type();
        Node* words = make("MINUS", type, {left, right});
        const uint32_t size = left->type->target->words();
        if (size <= 1)
            return words;
        return make("DIV", type, {words, icon(type, size)});
    }
    if (op == "-" && is_pointer(left))
        return pointer_offset(op, left, right, pos);
    return arithmetic(op, left, right, pos);
}

Node* Semantics::logical(const std::string& op, Node* left, Node* right, SourcePos pos) {
    left = condition(left, pos);
    right = condition(right, pos);
    CType* type = types_.int_type();
    if (left->op == "ICON" && right->op == "ICON") {
        const bool a = left->value != 0, b = right->value != 0;
        return icon(type, op == "&&" ? (a && b) : (a || b));
    }
    return make(op == "&&" ? "ANDAND" : "OROR", type, {left, right});
}

Node* Semantics::unary(const std::string& op, Node* operand, SourcePos pos) {
    operand = rvalue(operand);
    if (op == "!") {
        operand = condition(operand, pos);
        if (Node* folded = fold("EXCLAIM", types_.int_type(), operand, nullptr))
            return folded;
        return make("EXCLAIM", types_.int_type(), {operand});
    }
    if (!operand->type->is_arithmetic() || (op == "~" && !operand->type->is_integer()))
        fail(pos, "invalid operand to unary " + op + " (" + type_name(operand->type) + ")");
    CType* type = types_.promote(operand->type);
    operand = convert(operand, type);
    if (op == "+")
        return operand;
    const std::string opcode = op == "-" ? "UMINUS" : "NOTB";
    if (op == "-" && operand->op == "FCON")
        return fcon(type, -operand->fvalue);
    if (Node* folded = fold(opcode, type, operand, nullptr))
        return folded;
    return make(opcode, type, {operand});
}

Node* Semantics::conditional(Node* test, Node* yes, Node* no, SourcePos pos) {
    test = condition(test, pos);
    yes = rvalue(yes);
    no = rvalue(no);
    CType* type = nullptr;
    if (yes->type->is_arithmetic() && no->type->is_arithmetic()) {
        type = types_.common_type(yes->type, no->type);
    } else if (yes->type->is_void() || no->type->is_void()) {
        type = types_.void_type();
    } else if (is_pointer(yes) && is_null_pointer(no)) {
        type = yes->type->unqualified;
    } else if (is_pointer(no) && is_null_pointer(yes)) {
        type = no->type->unqualified;
    } else if (is_pointer(yes) && is_pointer(no)) {
        type = yes->type->target->is_void() ? no->type->unqualified : yes->type->unqualified;
        // The result points to a type with the qualifiers of both.
        type = types_.pointer_to(
            types_.qualified(type->target, yes->type->target->quals | no->type->target->quals));
    } else if (yes->type->is_struct() && same_type(yes->type, no->type)) {
        type = yes->type->unqualified;
    } else {
        fail(pos, "type mismatch in conditional expression (" + type_name(yes->type) + " and " +
                      type_name(no->type) + ")");
    }
    yes = convert(yes, type);
    no = convert(no, type);
    if (test->op == "ICON" && yes->op == "ICON" && no->op == "ICON")
        return test->value != 0 ? yes : no;
    return make("QUEST", type, {test, make("COLON", type, {yes, no})});
}

Node* Semantics::comma(Node* left, Node* right) {
    right = rvalue(right);
    return make("COMMAOP", right->type, {left, right});
}

void Semantics::require_modifiable(Node* target, SourcePos pos) {
    if (!is_lvalue(target))
        fail(pos, "lvalue required as left operand of assignment");
    if (target->type->kind == Kind::Array)
        fail(pos, "assignment to an array");
    if (target->type->quals & Q_CONST)
        fail(pos, "assignment of a read-only location");
}

Node* Semantics::assign(const std::string& op, Node* target, Node* value, SourcePos pos) {
    require_modifiable(target, pos);
    CType* type = target->type->unqualified;
    if (op == "=") {
        value = assign_convert(value, type, pos, "assignment");
        if (type->kind == Kind::Struct)
            return make("STASG", type, {target, value});
        return make("ASG", type, {target, value});
    }
    const std::string arith = op.substr(0, op.size() - 1);
    value = rvalue(value);
    if (type->kind == Kind::Pointer) {
        if (arith != "+" && arith != "-")
            fail(pos, "invalid operands to " + op);
        if (!value->type->is_integer())
            fail(pos, "invalid operands to " + op);
        return make(arith == "+" ? "PLUSASG" : "MINUSASG", type,
                    {target, scaled(value, type, pos)});
    }
    const std::string opcode = arithmetic_opcodes().at(arith);
    // Computing at the target's type gives C's result when the low bits of
    // the result only depend on the low bits of the operands, or when the
    // usual conversions would not change the width or signedness.
    bool direct = false;
    if (type->is_integer() && value->type->is_integer()) {
        CType* common = arith == "<<" || arith == ">>" ? types_.promote(type)
                                                       : types_.common_type(type, value->type);
        const bool same_shape =
            common->bits() == type->bits() && common->is_unsigned() == type->is_unsigned();
        direct = same_shape || arith == "+" || arith == "-" || arith == "*" || arith == "&" ||
                 arith == "|" || arith == "^" || arith == "<<";
    } else if (!type->is_arithmetic() || !value->type->is_arithmetic()) {
        fail(pos, "invalid operands to " + op);
    }
    if (direct) {
        if (arith == "<<" || arith == ">>")
            value = convert(value, types_.promote(value->type));
        else
            value = convert(value, type);
        return make(opcode + "ASG", type, {target, value});
    }
    // Otherwise: target = (type)(target op value), which reads the target's
    // address twice and so needs a target without side effects.
    if (has_side_effects(target))
        fail(pos,
             "compound assignment '" + op + "' with mixed types on this operand is not supported");
    Node* computed = binary(arith, target, value, pos);
    return make("ASG", type, {target, convert(computed, type)});
}

Node* Semantics::increment(bool up, bool postfix, Node* target, SourcePos pos) {
    require_modifiable(target, pos);
    CType* type = target->type->unqualified;
    if (!type->is_scalar())
        fail(pos, std::string("wrong type argument to ") + (up ? "increment" : "decrement"));
    Node* step = type->kind == Kind::Pointer ? scaled(icon(types_.int_type(), 1), type, pos)
                 : type->kind == Kind::Float ? fcon(type, 1.0)
                                             : icon(type, 1);
    if (postfix)
        return make(up ? "PLUSPLUS" : "MINMIN", type, {target, step});
    return make(up ? "PLUSASG" : "MINUSASG", type, {target, step});
}

Node* Semantics::address_of(Node* node, SourcePos pos) {
    if (node->type->kind == Kind::Function)
        return make("UAND", types_.pointer_to(node->type), {node});
    if (!is_lvalue(node))
        fail(pos, "lvalue required as unary '&' operand");
    CType* pointer = types_.pointer_to(node->type);
    if (node->op == "UMULT")
        return node->kids[0]->type == pointer ? node->kids[0]
                                              : make("PCONV", pointer, {node->kids[0]});
    return make("UAND", pointer, {node});
}

Node* Semantics::dereference(Node* node, SourcePos pos) {
    node = rvalue(node);
    if (!is_pointer(node))
        fail(pos, "invalid type argument of unary '*' (have '" + type_name(node->type) + "')");
    CType* target = node->type->target;
    if (target->kind == Kind::Function)
        return node;
    if (target->is_void())
        fail(pos, "dereferencing a 'void *' pointer");
    // *&x is x, unless the address came from an array's decay.
    if (node->op == "UAND" && same_type(node->kids[0]->type, target))
        return node->kids[0];
    return make("UMULT", target, {node});
}

Node* Semantics::index(Node* base, Node* subscript, SourcePos pos) {
    base = rvalue(base);
    subscript = rvalue(subscript);
    if (!is_pointer(base))
        std::swap(base, subscript);
    if (!is_pointer(base) || !subscript->type->is_integer())
        fail(pos, "subscripted value is neither array nor pointer");
    return dereference(binary("+", base, subscript, pos), pos);
}

Node* Semantics::member(Node* base, const std::string& field_name, bool arrow, SourcePos pos) {
    CType* record = nullptr;
    if (arrow) {
        base = rvalue(base);
        if (!is_pointer(base) || !base->type->target->is_struct())
            fail(pos, "invalid type argument of '->' (have '" + type_name(base->type) + "')");
        record = base->type->target;
    } else {
        if (!base->type->is_struct())
            fail(pos, "request for member '" + field_name + "' in something not a structure");
        if (!is_lvalue(base))
            fail(pos, "member access on a structure that is not an lvalue is not supported");
        record = base->type;
    }
    const StructInfo& info = *record->info;
    if (!info.complete)
        fail(pos, "invalid use of incomplete type '" + type_name(record) + "'");
    const Field* field = info.find(field_name);
    if (field == nullptr)
        fail(pos, "'" + type_name(record) + "' has no member named '" + field_name + "'");
    // A member of a const or volatile structure is itself qualified.
    CType* type = types_.qualified(field->type, record->quals & (Q_CONST | Q_VOLATILE));
    Node* selector = program_.node("FIELD", type);
    selector->value2 = field - info.fields.data();
    selector->container = record->unqualified;
    if (!arrow && base->op == "UMULT")
        return make("STREF", type, {base->kids[0], selector});
    return make(arrow ? "STREF" : "STDOT", type, {base, selector});
}

Node* Semantics::call(Node* callee, std::vector<Node*> arguments, SourcePos pos) {
    callee = rvalue(callee);
    if (!is_pointer(callee) || callee->type->target->kind != Kind::Function)
        fail(pos, "called object is not a function or function pointer");
    CType* function = callee->type->target->unqualified;
    if (function->prototyped) {
        const size_t count = function->params.size();
        if (arguments.size() < count || (arguments.size() > count && !function->variadic))
            fail(pos, std::string(arguments.size() < count ? "too few" : "too many") +
                          " arguments to function");
    }
    std::vector<Node*> converted;
    for (size_t i = 0; i < arguments.size(); ++i) {
        Node* argument = rvalue(arguments[i]);
        if (function->prototyped && i < function->params.size())
            argument = assign_convert(argument, function->params[i], pos, "argument");
        else if (argument->type->is_arithmetic())
            argument = convert(argument, argument->type->kind == Kind::Float
                                             ? types_.floating(std::max(argument->type->fkind, 1))
                                             : types_.promote(argument->type));
        if (argument->type->is_struct())
            argument = make("STARG", argument->type->unqualified, {argument});
        converted.push_back(argument);
    }
    CType* result = function->target->unqualified;
    if (result->kind == Kind::Struct && !result->info->complete)
        fail(pos, "calling a function with an incomplete return type");
    ++call_number_;
    if (converted.empty()) {
        Node* node = make("UCALL", result, {callee});
        node->value = call_number_;
        return node;
    }
    Node* list = converted.back();
    for (size_t i = converted.size() - 1; i-- > 0;)
        list = make("COMMA", nullptr, {converted[i], list});
    Node* node = make("CALL", result, {callee, list});
    node->value = static_cast<int64_t>(converted.size());
    node->value2 = call_number_;
    return node;
}

Node* Semantics::size_of(CType* type, SourcePos pos) {
    if (!type->is_complete())
        fail(pos, "invalid application of 'sizeof' to an incomplete type");
    return icon(types_.integer(IntKind::UInt), type->words());
}

} // namespace vx::cfront
