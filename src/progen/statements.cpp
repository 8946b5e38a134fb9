// Statements of a generated function: assignments, branches, the loop
// shapes a parser writes, switches, nested blocks and calls.  Loops count
// with counters that only their loop writes, so every loop ends, and the
// work of a statement is charged times the trips of the loops around it.
#include "progen/function_builder.h"
#include "progen/tree_text.h"

#include <algorithm>

namespace vx::progen {

using namespace tree;

void FunctionBuilder::block_body(int count) {
    for (int i = 0; i < count && !out_of_room(); ++i)
        statement();
}

void FunctionBuilder::statement() {
    --statements_left_;
    const int roll = random_.range(0, 99);
    const bool can_nest = construct_depth_ < limits_.max_block_depth;
    if (roll < 24)
        return assignment();
    if (roll < 36)
        return compound_assignment();
    if (roll < 42)
        return increment();
    if (roll < 52 && can_nest)
        return if_statement();
    if (roll < 64 && can_nest)
        return loop();
    if (roll < 69 && can_nest)
        return switch_statement();
    if (roll < 75 && can_nest)
        return nested_block();
    if (roll < 84)
        return call_statement();
    if (roll < 87)
        return comma_statement();
    if (roll < 91 && can_nest)
        return pointer_walk();
    if (roll < 96 && !loops_.empty())
        return loop_exit();
    if (roll < 97)
        return early_return();
    assignment();
}

void FunctionBuilder::assignment() {
    std::vector<Var*> scratch_choices;
    for (Var* var : visible_)
        if (var->shape == Shape::scalar && writable(*var))
            scratch_choices.push_back(var);
    if (!scratch_choices.empty() && random_.chance(40)) {
        scratch_ = random_.pick(scratch_choices);
        scratch_used_ = false;
    }
    auto target = lvalue(Access::write);
    if (target) {
        const std::string value = expr(target->type, random_.range(1, 4));
        statement_line(binary("ASG", type_no(target->type), target->text, value));
    }
    scratch_ = nullptr;
    scratch_used_ = true;
}

void FunctionBuilder::compound_assignment() {
    static const char* const kPlain[] = {"PLUSASG", "MINUSASG", "MULTASG",
                                         "ANDBASG", "ORBASG",   "XORBASG"};
    auto target = lvalue(Access::write);
    if (!target)
        return;
    const Scalar s = target->type;
    const int roll = random_.range(0, 9);
    std::string op, value;
    if (roll < 6) {
        op = kPlain[random_.below(6)];
        value = expr(s, random_.range(0, 3));
    } else if (roll < 8) {
        op = roll == 6 ? "DIVASG" : "MODASG";
        value = guarded_divisor(s, random_.range(0, 2));
    } else {
        op = roll == 8 ? "SLLASG" : "SRLASG";
        value = shift_count(s, random_.range(0, 2));
    }
    statement_line(binary(op.c_str(), type_no(s), target->text, value));
}

void FunctionBuilder::increment() {
    auto target = lvalue(Access::write);
    if (!target)
        return;
    const Scalar s = target->type;
    const char* op = random_.chance(50) ? "PLUSPLUS" : "MINMIN";
    if (random_.chance(30))
        op = random_.chance(50) ? "PLUSASG" : "MINUSASG"; // the prefix forms
    statement_line(binary(op, type_no(s), target->text, constant(s, 1)));
}

void FunctionBuilder::if_statement() {
    ++construct_depth_;
    const std::string test = condition(random_.range(1, 3));
    const bool has_else = random_.chance(50);
    const int skip = new_label(), end = new_label();
    if (random_.chance(50)) {
        statement_line("(CBRANCH " + unary("EXCLAIM", 2, test) + " " + label(skip) + ")");
        block_body(random_.range(1, 3));
        if (has_else)
            statement_line("(BRANCH " + label(end) + ")");
        label_line(skip);
        if (has_else) {
            block_body(random_.range(1, 3));
            label_line(end);
        }
    } else {
        // The else part first, the then part at the branch's target.
        statement_line("(CBRANCH " + test + " " + label(skip) + ")");
        if (has_else)
            block_body(random_.range(1, 2));
        statement_line("(BRANCH " + label(end) + ")");
        label_line(skip);
        block_body(random_.range(1, 3));
        label_line(end);
    }
    --construct_depth_;
}

Var* FunctionBuilder::free_counter() {
    std::vector<Var*> counters;
    for (Var* var : visible_)
        if (var->is_counter && var->active_bound == 0 &&
            std::find(walking_.begin(), walking_.end(), var) == walking_.end())
            counters.push_back(var);
    if (counters.empty())
        return nullptr;
    return random_.pick(counters);
}

// Four shapes: a for loop entered at its test, a while loop in LOOP and
// ENDLOOP form, a do-while loop, and a count-down loop that tests the
// decremented counter.
void FunctionBuilder::loop() {
    Var* counter = free_counter();
    if (counter == nullptr || out_of_room())
        return assignment();
    const uint64_t room = limits_.max_multiplier / multiplier_;
    if (room < 2)
        return assignment();
    const int max_trips = static_cast<int>(std::min<uint64_t>(limits_.max_trips, room));
    const int trips = random_.range(1, max_trips);
    ++construct_depth_;
    cost_ += multiplier_ * static_cast<uint64_t>(trips) * 8; // the test and the step
    counted_loop(*counter, trips, random_.range(0, 3));
    --construct_depth_;
}

void FunctionBuilder::counted_loop(Var& counter, int trips, int shape) {
    const std::string i = name(2, counter.level, counter.index);
    const int head = new_label(), next = new_label(), done = new_label(), test = new_label();
    const bool count_down = shape == 3;
    const std::string bound = int_constant(trips);
    if (count_down) {
        statement_line(binary("ASG", 2, i, bound));
        label_line(head);
    } else if (shape == 0) {
        statement_line(binary("ASG", 2, i, int_constant(0)));
        statement_line("(BRANCH " + label(test) + ")");
        label_line(head);
    } else if (shape == 1) {
        statement_line(binary("ASG", 2, i, int_constant(0)));
        statement_line("(CBRANCH " + unary("EXCLAIM", 2, binary("LT", 2, i, bound)) + " " +
                       label(done) + ")");
        statement_line(binary("LOOP", 0, int_constant(0), label(head)));
    } else {
        statement_line(binary("ASG", 2, i, int_constant(0)));
        label_line(head);
    }
    counter.active_bound = count_down ? trips + 1 : trips;
    loops_.push_back({next, done});
    const uint64_t saved = multiplier_;
    multiplier_ *= static_cast<uint64_t>(trips);
    if (random_.chance(25) && construct_depth_ < limits_.max_block_depth)
        nested_block();
    else
        block_body(random_.range(1, 4));
    multiplier_ = saved;
    loops_.pop_back();
    counter.active_bound = 0;
    label_line(next);
    if (count_down) {
        statement_line(
            "(CBRANCH " +
            binary("NEQ", 2, binary("MINUSASG", 2, i, int_constant(1)), int_constant(0)) + " " +
            label(head) + ")");
    } else {
        const bool postfix = random_.chance(60);
        statement_line(binary(postfix ? "PLUSPLUS" : "PLUSASG", 2, i, int_constant(1)));
        if (shape == 0)
            label_line(test);
        const std::string again = binary("LT", 2, i, bound);
        if (shape == 1)
            statement_line(binary("ENDLOOP", 0, again, label(head)));
        else
            statement_line("(CBRANCH " + again + " " + label(head) + ")");
    }
    label_line(done);
}

void FunctionBuilder::loop_exit() {
    const LoopLabels& labels = loops_.back();
    const int target = random_.chance(50) ? labels.break_label : labels.continue_label;
    statement_line("(CBRANCH " + condition(random_.range(1, 2)) + " " + label(target) + ")");
}

void FunctionBuilder::switch_statement() {
    ++construct_depth_;
    std::string value = expr(Scalar::i16, random_.range(1, 3));
    if (random_.chance(70))
        value = binary("ANDB", 2, value, int_constant(7));
    const int cases = random_.range(1, 5);
    std::vector<int> values;
    while (static_cast<int>(values.size()) < cases) {
        const int v = random_.chance(80) ? random_.range(0, 7) : random_.range(-50, 50);
        if (std::find(values.begin(), values.end(), v) == values.end())
            values.push_back(v);
    }
    const bool has_default = random_.chance(60);
    const int end = new_label();
    std::vector<int> labels;
    for (int i = 0; i < cases + (has_default ? 1 : 0); ++i)
        labels.push_back(new_label());
    std::vector<std::string> entries;
    for (int i = 0; i < cases; ++i)
        entries.push_back(binary("CASE", 0, int_constant(values[static_cast<size_t>(i)]),
                                 label(labels[static_cast<size_t>(i)])));
    if (has_default)
        entries.push_back(unary("DEFAULT", 0, label(labels.back())));
    std::string list = entries.back();
    for (size_t i = entries.size() - 1; i-- > 0;)
        list = binary("COMMA", 0, entries[i], list);
    statement_line("(SWITCH " + std::to_string(cases) + " " + value + " " + list + ")");
    if (!has_default)
        statement_line("(BRANCH " + label(end) + ")");
    // The bodies in a shuffled order; some fall through into the next.
    std::vector<int> order = labels;
    for (size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[random_.below(static_cast<uint32_t>(i))]);
    for (size_t i = 0; i < order.size(); ++i) {
        label_line(order[i]);
        block_body(random_.range(1, 2));
        if (i + 1 < order.size() && random_.chance(70))
            statement_line("(BRANCH " + label(end) + ")");
    }
    label_line(end);
    --construct_depth_;
}

void FunctionBuilder::nested_block() {
    ++construct_depth_;
    line("block");
    ++indent_;
    ++level_;
    open_scope();
    const size_t first = visible_.size();
    declare_block_locals();
    line("endlocals");
    initialize_block_locals(first);
    block_body(random_.range(1, limits_.statements_per_block_max));
    close_scope();
    --level_;
    --indent_;
    line("endblock");
    --construct_depth_;
}

// A call whose value is dropped or kept in a local.  A callee that writes
// globals is called only here, so no other part of the statement can see
// what it changes.
void FunctionBuilder::call_statement() {
    auto callee = pick_callee(function_.pure, false);
    if (!callee)
        return assignment();
    const Function& f = program_.functions[static_cast<size_t>(*callee)];
    auto call = call_text(f, random_.range(0, 2), false);
    if (!call)
        return assignment();
    pending_call_cost_ += f.cost;
    std::vector<Var*> targets;
    for (Var* var : visible_)
        if (var->shape == Shape::scalar && writable(*var))
            targets.push_back(var);
    if (f.returns_void || targets.empty() || random_.chance(25))
        return statement_line(*call);
    const Var* target = random_.pick(targets);
    const int t = type_no(target->scalar);
    statement_line(binary("ASG", t, name(t, target->level, target->index),
                          convert(f.result, target->scalar, *call)));
}

void FunctionBuilder::comma_statement() {
    auto first = lvalue(Access::write);
    auto second = lvalue(Access::write);
    if (!first || !second)
        return assignment();
    const std::string a =
        binary("ASG", type_no(first->type), first->text, expr(first->type, random_.range(0, 2)));
    const std::string b =
        binary("ASG", type_no(second->type), second->text, expr(second->type, random_.range(0, 2)));
    statement_line(binary("COMMAOP", type_no(second->type), a, b));
}

// A pointer stepping through its array, then set back to the array's
// start.  While it walks, nothing else reads it.
void FunctionBuilder::pointer_walk() {
    std::vector<Var*> pointers;
    for (Var* var : visible_)
        if (var->shape == Shape::pointer && var->record < 0 && !var->reset.empty() &&
            readable(*var))
            pointers.push_back(var);
    Var* counter = free_counter();
    if (pointers.empty() || counter == nullptr ||
        multiplier_ * static_cast<uint64_t>(limits_.max_trips) > limits_.max_multiplier)
        return assignment();
    Var* p = random_.pick(pointers);
    const bool may_write = !(function_.pure && p->points_out);
    const int trips = p->length;
    ++construct_depth_;
    cost_ += multiplier_ * static_cast<uint64_t>(trips) * 8;
    const std::string i = name(2, counter->level, counter->index);
    const int s_type = type_no(p->scalar), p_type = pointer_type_no(p->scalar);
    const std::string pointer = name(p_type, p->level, p->index);
    const std::string step = int_constant(words(p->scalar));
    const int head = new_label(), next = new_label(), done = new_label();
    statement_line(binary("ASG", 2, i, int_constant(0)));
    label_line(head);
    walking_.push_back(p);
    counter->active_bound = trips;
    loops_.push_back({next, done});
    const uint64_t saved = multiplier_;
    multiplier_ *= static_cast<uint64_t>(trips);
    const bool post_increment = random_.chance(50);
    const std::string element =
        post_increment ? unary("UMULT", s_type, binary("PLUSPLUS", p_type, pointer, step))
                       : unary("UMULT", s_type, pointer);
    auto target = lvalue(Access::write);
    if (may_write && (random_.chance(50) || !target)) {
        const char* op = random_.chance(50) ? "ASG" : "PLUSASG";
        statement_line(binary(op, s_type, element, expr(p->scalar, 2)));
    } else if (target) {
        statement_line(binary("ASG", type_no(target->type), target->text,
                              binary("XORB", type_no(target->type), expr(target->type, 1),
                                     convert(p->scalar, target->type, element))));
    } else {
        statement_line(element);
    }
    block_body(random_.range(0, 2));
    multiplier_ = saved;
    loops_.pop_back();
    label_line(next);
    if (!post_increment)
        statement_line(binary("PLUSPLUS", p_type, pointer, step));
    statement_line(binary("PLUSPLUS", 2, i, int_constant(1)));
    statement_line("(CBRANCH " + binary("LT", 2, i, int_constant(trips)) + " " + label(head) + ")");
    label_line(done);
    counter->active_bound = 0;
    walking_.pop_back();
    statement_line(binary("ASG", p_type, pointer, p->reset));
    --construct_depth_;
}

void FunctionBuilder::early_return() {
    const int skip = new_label();
    statement_line("(CBRANCH " + unary("EXCLAIM", 2, condition(1)) + " " + label(skip) + ")");
    if (function_.returns_void)
        statement_line("(URETURN (NOP))");
    else
        statement_line(
            binary("RETURN", type_no(function_.result), expr(function_.result, 2), nop()));
    label_line(skip);
}

void FunctionBuilder::final_return() {
    if (function_.returns_void) {
        statement_line("(URETURN (NOP))");
        return;
    }
    statement_line(binary("RETURN", type_no(function_.result),
                          expr(function_.result, random_.range(1, 3)), nop()));
}

} // namespace vx::progen
