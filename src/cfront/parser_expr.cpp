// Expressions, by precedence climbing over the binary operators.
#include "cfront/parser.h"

namespace vx::cfront {

namespace {

int precedence(const Token& token) {
    if (token.kind != TokKind::Punct)
        return -1;
    static const std::pair<const char*, int> table[] = {
        {"||", 1}, {"&&", 2}, {"|", 3}, {"^", 4},  {"&", 5},  {"==", 6},
        {"!=", 6}, {"<", 7},  {">", 7}, {"<=", 7}, {">=", 7}, {"<<", 8},
        {">>", 8}, {"+", 9},  {"-", 9}, {"*", 10}, {"/", 10}, {"%", 10}};
    for (const auto& [spelling, level] : table)
        if (token.text == spelling)
            return level;
    return -1;
}

bool is_assignment(const Token& token) {
    if (token.kind != TokKind::Punct)
        return false;
    static const char* const ops[] = {
        "=", "+=", "-=", "*=", "/=", "%=", "<<=", ">>=", "&=", "|=", "^="};
    for (const char* op : ops)
        if (token.text == op)
            return true;
    return false;
}

} // namespace

Node* Parser::parse_expression() {
    Node* node = parse_assignment();
    while (is(",")) {
        next();
        node = sema_.comma(node, parse_assignment());
    }
    return node;
}

Node* Parser::parse_assignment() {
    Node* left = parse_conditional();
    if (!is_assignment(peek()))
        return left;
    const Token& op = next();
    const std::string spelling = op.text;
    const SourcePos pos = op.pos;
    Node* right = parse_assignment();
    return sema_.assign(spelling, left, right, pos);
}

Node* Parser::parse_conditional() {
    Node* test = parse_binary(1);
    if (!is("?"))
        return test;
    const SourcePos pos = next().pos;
    Node* yes = parse_expression();
    expect(":");
    Node* no = parse_conditional();
    return sema_.conditional(test, yes, no, pos);
}

Node* Parser::parse_binary(int min_precedence) {
    Node* left = parse_cast();
    while (true) {
        const int level = precedence(peek());
        if (level < min_precedence)
            return left;
        const Token& op = next();
        const std::string spelling = op.text;
        const SourcePos pos = op.pos;
        Node* right = parse_binary(level + 1);
        if (spelling == "&&" || spelling == "||")
            left = sema_.logical(spelling, left, right, pos);
        else
            left = sema_.binary(spelling, left, right, pos);
    }
}

Node* Parser::parse_cast() {
    if (is("(") && starts_type(1)) {
        const SourcePos pos = next().pos;
        CType* type = parse_type_name();
        expect(")");
        if (is("{"))
            fail(pos, "compound literals are not supported");
        return sema_.cast(parse_cast(), type, pos);
    }
    return parse_unary();
}

Node* Parser::parse_unary() {
    const Token& token = peek();
    const SourcePos pos = token.pos;
    if (token.kind == TokKind::Punct) {
        const std::string op = token.text;
        if (op == "++" || op == "--") {
            next();
            return sema_.increment(op == "++", false, parse_unary(), pos);
        }
        if (op == "&") {
            next();
            return sema_.address_of(parse_cast(), pos);
        }
        if (op == "*") {
            next();
            return sema_.dereference(parse_cast(), pos);
        }
        if (op == "+" || op == "-" || op == "~" || op == "!") {
            next();
            return sema_.unary(op, parse_cast(), pos);
        }
    }
    if (is("sizeof")) {
        next();
        CType* type = nullptr;
        if (is("(") && starts_type(1)) {
            next();
            type = parse_type_name();
            expect(")");
        } else {
            type = parse_unary()->type;
        }
        return sema_.size_of(type, pos);
    }
    return parse_postfix(parse_primary());
}

Node* Parser::parse_postfix(Node* node) {
    while (true) {
        const SourcePos pos = peek().pos;
        if (accept("[")) {
            Node* subscript = parse_expression();
            expect("]");
            node = sema_.index(node, subscript, pos);
        } else if (accept("(")) {
            std::vector<Node*> arguments;
            if (!is(")")) {
                do
                    arguments.push_back(parse_assignment());
                while (accept(","));
            }
            expect(")");
            node = sema_.call(node, std::move(arguments), pos);
        } else if (accept(".")) {
            node = sema_.member(node, expect_identifier(), false, pos);
        } else if (accept("->")) {
            node = sema_.member(node, expect_identifier(), true, pos);
        } else if (accept("++")) {
            node = sema_.increment(true, true, node, pos);
        } else if (accept("--")) {
            node = sema_.increment(false, true, node, pos);
        } else {
            return node;
        }
    }
}

// Integer constants take the first type of their list that holds them, at
// the target's sizes (int 16 bits, long 32, long long 64).
Node* Parser::integer_literal(const Token& token) {
    const uint64_t value = token.value;
    const std::string& suffix = token.suffix;
    const bool u = suffix.find('u') != std::string::npos;
    const size_t longs = suffix.find("ll") != std::string::npos  ? 2
                         : suffix.find('l') != std::string::npos ? 1
                                                                 : 0;
    std::vector<IntKind> candidates;
    auto add = [&](IntKind signed_kind, IntKind unsigned_kind) {
        if (!u)
            candidates.push_back(signed_kind);
        if (u || !token.decimal)
            candidates.push_back(unsigned_kind);
    };
    if (longs == 0)
        add(IntKind::Int, IntKind::UInt);
    if (longs <= 1)
        add(IntKind::Long, IntKind::ULong);
    add(IntKind::LLong, IntKind::ULLong);
    if (!u && token.decimal)
        candidates.push_back(IntKind::ULLong); // too large for long long: unsigned
    for (IntKind kind : candidates) {
        CType* type = program_.types.integer(kind);
        const uint32_t bits = type->bits();
        const uint64_t max = type->is_unsigned()
                                 ? (bits == 64 ? UINT64_MAX : (uint64_t{1} << bits) - 1)
                                 : (uint64_t{1} << (bits - 1)) - 1;
        if (value <= max)
            return sema_.icon(type, static_cast<int64_t>(value));
    }
    fail(token.pos, "integer constant is too large for its type");
}

Node* Parser::parse_primary() {
    const Token& token = peek();
    const SourcePos pos = token.pos;
    switch (token.kind) {
    case TokKind::IntLit:
        next();
        return integer_literal(token);
    case TokKind::CharLit:
        next();
        return sema_.icon(program_.types.int_type(), static_cast<int64_t>(token.value));
    case TokKind::FloatLit:
        next();
        return sema_.fcon(program_.types.floating(token.suffix == "f"   ? 0
                                                  : token.suffix == "l" ? 2
                                                                        : 1),
                          token.fvalue);
    case TokKind::StringLit: {
        std::string bytes;
        while (peek().kind == TokKind::StringLit)
            bytes += next().text;
        return sema_.string_literal(bytes, pos);
    }
    case TokKind::Ident: {
        next();
        Entity* entity = lookup(token.text);
        if (entity == nullptr) {
            if (is("("))
                fail(pos, "implicit declaration of function '" + token.text + "'");
            fail(pos, "'" + token.text + "' undeclared");
        }
        if (entity->what == Entity::What::Constant)
            return sema_.icon(entity->type, entity->value);
        if (entity->what == Entity::What::Typedef)
            fail(pos, "unexpected type name '" + token.text + "'");
        return sema_.name(entity->symbol);
    }
    default:
        break;
    }
    if (accept("(")) {
        Node* node = parse_expression();
        expect(")");
        return node;
    }
    if (is("union"))
        fail(pos, "unions are not supported");
    error_here("expected expression");
}

} // namespace vx::cfront
