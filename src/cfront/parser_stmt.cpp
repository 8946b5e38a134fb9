// Statements, written in the parser's shapes: loops as LOOP/ENDLOOP with a
// test in front, if/else and && || ?: at statement level as branches.
#include "cfront/parser.h"

namespace vx::cfront {

void Parser::emit(Node* tree, SourcePos pos) {
    block_->items.push_back({Item::What::Statement, tree, 0, pos, nullptr});
}

void Parser::emit_label(int label) {
    block_->items.push_back({Item::What::Label, nullptr, label, {}, nullptr});
}

namespace {

Node* label_leaf(Program& program, int label) {
    Node* leaf = program.node("LABEL", nullptr);
    leaf->value = label;
    return leaf;
}

} // namespace

void Parser::emit_branch(int label, SourcePos pos) {
    Node* branch = program_.node("BRANCH", nullptr);
    branch->kids = {label_leaf(program_, label)};
    emit(branch, pos);
}

void Parser::emit_cbranch(Node* condition, int label, SourcePos pos) {
    if (condition->op == "ICON") {
        if (condition->value != 0)
            emit_branch(label, pos);
        return;
    }
    Node* branch = program_.node("CBRANCH", nullptr);
    branch->kids = {condition, label_leaf(program_, label)};
    emit(branch, pos);
}

// An expression statement: embedded control (comma, ?:, && ||) at the top
// becomes statements; a value without effects is dropped.
void Parser::emit_expression_statement(Node* tree, SourcePos pos) {
    if (tree->op == "COMMAOP") {
        emit_expression_statement(tree->kids[0], pos);
        emit_expression_statement(tree->kids[1], pos);
        return;
    }
    if (tree->op == "QUEST" || tree->op == "ANDAND" || tree->op == "OROR") {
        if (!Semantics::has_side_effects(tree))
            return;
        const int skip = new_label();
        if (tree->op == "QUEST") {
            const int other = new_label();
            emit_cbranch(sema_.unary("!", tree->kids[0], pos), other, pos);
            emit_expression_statement(tree->kids[1]->kids[0], pos);
            emit_branch(skip, pos);
            emit_label(other);
            emit_expression_statement(tree->kids[1]->kids[1], pos);
        } else {
            Node* test =
                tree->op == "ANDAND" ? sema_.unary("!", tree->kids[0], pos) : tree->kids[0];
            emit_cbranch(test, skip, pos);
            emit_expression_statement(tree->kids[1], pos);
        }
        emit_label(skip);
        return;
    }
    if (tree->op == "SCONV" || tree->op == "PCONV") {
        emit_expression_statement(tree->kids[0], pos);
        return;
    }
    if (!Semantics::has_side_effects(tree))
        return;
    static const char* const statement_roots[] = {
        "ASG",     "PLUSASG", "MINUSASG", "MULTASG", "DIVASG", "MODASG", "SLLASG",   "SRLASG",
        "ANDBASG", "ORBASG",  "XORBASG",  "STASG",   "CALL",   "UCALL",  "PLUSPLUS", "MINMIN"};
    for (const char* op : statement_roots)
        if (tree->op == op) {
            emit(tree, pos);
            return;
        }
    // A value read for its effects only (a volatile read, an operator over
    // calls): each operand in turn.
    if (tree->op == "UMULT" || tree->op == "NAME" || tree->op == "STDOT" || tree->op == "STREF") {
        emit(tree, pos);
        return;
    }
    for (Node* kid : tree->kids)
        emit_expression_statement(kid, pos);
}

int Parser::user_label(const std::string& name) {
    UserLabel& label = user_labels_[name];
    if (label.number == 0) {
        label.number = new_label();
        label.first_use = peek().pos;
    }
    return label.number;
}

void Parser::parse_compound(Block* block) {
    block->begin = peek().pos;
    expect("{");
    Block* outer = block_;
    block_ = block;
    parse_block_items(block);
    block->end = peek().pos;
    expect("}");
    block_ = outer;
}

void Parser::parse_block_items(Block* block) {
    block->locals_end = peek().pos;
    bool seen_statement = false;
    while (!is("}")) {
        if (peek().kind == TokKind::End)
            error_here("expected '}'");
        const bool is_label = peek().kind == TokKind::Ident && is(":", 1);
        if (!is_label && starts_type()) {
            parse_local_declaration();
            if (!seen_statement)
                block->locals_end = peek().pos;
            continue;
        }
        seen_statement = true;
        parse_statement();
    }
}

void Parser::parse_statement() {
    const Token& token = peek();
    const SourcePos pos = token.pos;
    if (token.kind == TokKind::Ident && is(":", 1)) {
        const std::string name = next().text;
        next();
        UserLabel& label = user_labels_[name];
        if (label.defined)
            fail(pos, "duplicate label '" + name + "'");
        if (label.number == 0)
            label.number = new_label();
        label.defined = true;
        emit_label(label.number);
        if (is("}"))
            return; // a label at the end of a block
        parse_statement();
        return;
    }
    if (is("{")) {
        open_scope();
        Block* nested = program_.block();
        parse_compound(nested);
        close_scope();
        block_->items.push_back({Item::What::Nested, nullptr, 0, pos, nested});
        return;
    }
    if (token.kind == TokKind::Keyword) {
        const std::string word = token.text;
        if (word == "if")
            return parse_if();
        if (word == "while")
            return parse_while();
        if (word == "do")
            return parse_do();
        if (word == "for")
            return parse_for();
        if (word == "switch")
            return parse_switch();
        if (word == "case" || word == "default")
            return parse_case();
        if (word == "return")
            return parse_return();
        if (word == "goto")
            return parse_goto();
        if (word == "break" || word == "continue") {
            next();
            std::vector<int>& targets = word == "break" ? break_labels_ : continue_labels_;
            if (targets.empty())
                fail(pos, word + " statement not within " +
                              (word == "break" ? "loop or switch" : "a loop"));
            emit_branch(targets.back(), pos);
            expect(";");
            return;
        }
    }
    if (accept(";"))
        return;
    Node* tree = parse_expression();
    expect(";");
    emit_expression_statement(tree, pos);
}

void Parser::parse_if() {
    const SourcePos pos = next().pos;
    expect("(");
    const SourcePos test_pos = peek().pos;
    Node* test = sema_.condition(parse_expression(), test_pos);
    expect(")");
    const int otherwise = new_label();
    emit_cbranch(sema_.unary("!", test, test_pos), otherwise, pos);
    parse_statement();
    if (accept("else")) {
        const int done = new_label();
        emit_branch(done, pos);
        emit_label(otherwise);
        parse_statement();
        emit_label(done);
    } else {
        emit_label(otherwise);
    }
}

namespace {

Node* loop_node(Program& program, Semantics& sema, const char* op, Node* first, int label) {
    Node* node = program.node(op, nullptr);
    Node* leaf = program.node("LABEL", nullptr);
    leaf->value = label;
    node->kids = {first != nullptr ? first : sema.icon(sema.types().int_type(), 0), leaf};
    return node;
}

} // namespace

// while (c) s:   CBRANCH(!c, exit); LOOP(#0, head); s; continue: ENDLOOP(c, head); exit:
void Parser::parse_while() {
    const SourcePos pos = next().pos;
    expect("(");
    const SourcePos test_pos = peek().pos;
    Node* test = sema_.condition(parse_expression(), test_pos);
    expect(")");
    const int head = new_label(), resume = new_label(), exit = new_label();
    emit_cbranch(sema_.unary("!", test, test_pos), exit, pos);
    emit(loop_node(program_, sema_, "LOOP", nullptr, head), pos);
    break_labels_.push_back(exit);
    continue_labels_.push_back(resume);
    parse_statement();
    break_labels_.pop_back();
    continue_labels_.pop_back();
    emit_label(resume);
    emit(loop_node(program_, sema_, "ENDLOOP", test, head), test_pos);
    emit_label(exit);
}

void Parser::parse_do() {
    const SourcePos pos = next().pos;
    const int head = new_label(), resume = new_label(), exit = new_label();
    emit(loop_node(program_, sema_, "LOOP", nullptr, head), pos);
    break_labels_.push_back(exit);
    continue_labels_.push_back(resume);
    parse_statement();
    break_labels_.pop_back();
    continue_labels_.pop_back();
    expect("while");
    expect("(");
    const SourcePos test_pos = peek().pos;
    Node* test = sema_.condition(parse_expression(), test_pos);
    expect(")");
    expect(";");
    emit_label(resume);
    emit(loop_node(program_, sema_, "ENDLOOP", test, head), test_pos);
    emit_label(exit);
}

void Parser::parse_for() {
    const SourcePos pos = next().pos;
    expect("(");
    // A declaration in the first clause has a block of its own.
    Block* outer = block_;
    Block* scope_block = nullptr;
    if (starts_type()) {
        open_scope();
        scope_block = program_.block();
        scope_block->begin = pos;
        block_ = scope_block;
        parse_local_declaration();
        scope_block->locals_end = peek().pos;
    } else if (!accept(";")) {
        const SourcePos init_pos = peek().pos;
        emit_expression_statement(parse_expression(), init_pos);
        expect(";");
    }
    Node* test = nullptr;
    SourcePos test_pos = peek().pos;
    if (!is(";"))
        test = sema_.condition(parse_expression(), test_pos);
    expect(";");
    Node* step = nullptr;
    const SourcePos step_pos = peek().pos;
    if (!is(")"))
        step = parse_expression();
    expect(")");
    const int head = new_label(), resume = new_label(), exit = new_label();
    if (test != nullptr)
        emit_cbranch(sema_.unary("!", test, test_pos), exit, pos);
    emit(loop_node(program_, sema_, "LOOP", nullptr, head), pos);
    break_labels_.push_back(exit);
    continue_labels_.push_back(resume);
    parse_statement();
    break_labels_.pop_back();
    continue_labels_.pop_back();
    emit_label(resume);
    if (step != nullptr)
        emit_expression_statement(step, step_pos);
    Node* again = test != nullptr ? test : sema_.icon(program_.types.int_type(), 1);
    emit(loop_node(program_, sema_, "ENDLOOP", again, head), test_pos);
    emit_label(exit);
    if (scope_block != nullptr) {
        scope_block->end = peek().pos;
        block_ = outer;
        close_scope();
        block_->items.push_back({Item::What::Nested, nullptr, 0, pos, scope_block});
    }
}

// SWITCH(value, cases) goes in front of the body; its case list is filled
// in once the body has been read.
void Parser::parse_switch() {
    const SourcePos pos = next().pos;
    expect("(");
    const SourcePos value_pos = peek().pos;
    Node* value = sema_.rvalue(parse_expression());
    expect(")");
    if (!value->type->is_integer())
        fail(value_pos, "switch quantity not an integer");
    CType* type = sema_.types().promote(value->type);
    value = sema_.cast(value, type, value_pos);
    Node* statement = program_.node("SWITCH", nullptr);
    emit(statement, pos);
    const int exit = new_label();
    switches_.push_back({type, {}, 0});
    break_labels_.push_back(exit);
    parse_statement();
    break_labels_.pop_back();
    SwitchContext context = switches_.back();
    switches_.pop_back();
    emit_label(exit);

    Node* deflt = program_.node("DEFAULT", nullptr);
    deflt->kids = {label_leaf(program_, context.default_label ? context.default_label : exit)};
    Node* list = deflt;
    for (auto it = context.cases.rbegin(); it != context.cases.rend(); ++it) {
        Node* entry = program_.node("CASE", nullptr);
        entry->kids = {sema_.icon(type, it->first), label_leaf(program_, it->second)};
        Node* link = program_.node("COMMA", nullptr);
        link->kids = {entry, list};
        list = link;
    }
    statement->value = static_cast<int64_t>(context.cases.size());
    statement->kids = {value, list};
}

void Parser::parse_case() {
    const Token& token = next();
    const SourcePos pos = token.pos;
    if (switches_.empty())
        fail(pos, std::string("'") + token.text + "' label not within a switch statement");
    SwitchContext& context = switches_.back();
    const int label = new_label();
    if (token.text == "default") {
        if (context.default_label != 0)
            fail(pos, "multiple default labels in one switch");
        context.default_label = label;
    } else {
        const int64_t value = sema_.wrap(context.type, parse_constant_expression());
        for (const auto& known : context.cases)
            if (known.first == value)
                fail(pos, "duplicate case value");
        context.cases.push_back({value, label});
    }
    expect(":");
    emit_label(label);
    if (!is("}"))
        parse_statement();
}

void Parser::parse_return() {
    const SourcePos pos = next().pos;
    CType* result = function_->symbol->type->unqualified->target;
    if (accept(";")) {
        if (!result->is_void() && function_->symbol->name != "main")
            fail(pos, "'return' with no value, in a function returning non-void");
        Node* ret = program_.node("URETURN", nullptr);
        ret->kids = {program_.node("NOP", nullptr)};
        emit(ret, pos);
        return;
    }
    const SourcePos value_pos = peek().pos;
    Node* value = parse_expression();
    expect(";");
    if (result->is_void()) {
        fail(value_pos, "'return' with a value, in a function returning void");
    }
    value = sema_.assign_convert(value, result, value_pos, "return");
    Node* ret = program_.node("RETURN", result->unqualified);
    ret->kids = {value, program_.node("NOP", nullptr)};
    emit(ret, pos);
}

void Parser::parse_goto() {
    const SourcePos pos = next().pos;
    if (peek().kind != TokKind::Ident)
        error_here("expected label name");
    const int label = user_label(peek().text);
    next();
    expect(";");
    emit_branch(label, pos);
}

} // namespace vx::cfront
