// Expressions, lvalues and calls of a generated function.  Every operation
// that could be undefined is guarded where it is made: divisors are made
// non-zero (and, when signed, never -1), shift counts are masked below the
// width, indices are masked or bounded by the loop that makes them.
#include "progen/function_builder.h"
#include "progen/tree_text.h"

namespace vx::progen {

using namespace tree;

namespace {

const char* const kArithmetic[] = {"PLUS", "MINUS", "MULT", "ANDB", "ORB", "XORB"};

bool is_power_of_two(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

Scalar random_scalar(Random& random) {
    return kAllScalars[random.below(6)];
}

} // namespace

bool FunctionBuilder::readable(const Var& var) const {
    if (!var.initialized || &var == scratch_)
        return false;
    for (const Var* walking : walking_)
        if (walking == &var)
            return false;
    return true;
}

// A pure function changes nothing its caller can see: no global, nothing
// behind a pointer it was given.
bool FunctionBuilder::writable(const Var& var) const {
    if (!readable(var))
        return false;
    if (var.shape == Shape::pointer)
        return !(function_.pure && var.points_out);
    if (var.read_only || var.is_counter)
        return false;
    return !(function_.pure && var.is_global());
}

std::vector<const Var*> FunctionBuilder::all_vars() const {
    std::vector<const Var*> vars(visible_.begin(), visible_.end());
    for (const auto& global : program_.globals)
        vars.push_back(global.get());
    return vars;
}

std::string FunctionBuilder::random_constant(Scalar s) {
    const int width = bits(s);
    switch (random_.below(10)) {
    case 0:
        return constant(s, 0);
    case 1:
        return constant(s, 1);
    case 2:
        return constant(s, -1);
    case 3:
        // The extremes: the most negative value, or all ones.
        return constant(s, is_signed(s) ? static_cast<int64_t>(~uint64_t{0} << (width - 1)) : -1);
    case 4:
        return constant(s, is_signed(s) ? (int64_t)((uint64_t{1} << (width - 1)) - 1)
                                        : (int64_t)(uint64_t{1} << (width - 1)));
    case 5:
        return constant(
            s, static_cast<int64_t>(uint64_t{1} << random_.below(static_cast<uint32_t>(width))));
    case 6:
    case 7:
        return constant(s, random_.range(-100, 100));
    default:
        return constant(s, static_cast<int64_t>(random_.next()));
    }
}

std::string FunctionBuilder::expr(Scalar want, int depth) {
    if (depth <= 0 || random_.chance(20))
        return leaf(want);
    const int roll = random_.range(0, 99);
    if (roll < 28) {
        const char* op = kArithmetic[random_.below(6)];
        return binary(op, type_no(want), expr(want, depth - 1), expr(want, depth - 1));
    }
    if (roll < 36)
        return binary(random_.chance(50) ? "DIV" : "MOD", type_no(want), expr(want, depth - 1),
                      guarded_divisor(want, depth - 1));
    if (roll < 43)
        return binary(random_.chance(50) ? "SLL" : "SRL", type_no(want), expr(want, depth - 1),
                      shift_count(want, depth - 1));
    if (roll < 49)
        return unary(random_.chance(50) ? "UMINUS" : "NOTB", type_no(want), expr(want, depth - 1));
    if (roll < 59)
        return comparison(want, depth - 1);
    if (roll < 65) {
        if (random_.chance(30))
            return unary("EXCLAIM", type_no(want), expr(random_scalar(random_), depth - 1));
        const Scalar a = random_scalar(random_), b = random_scalar(random_);
        return binary(random_.chance(50) ? "ANDAND" : "OROR", type_no(want), expr(a, depth - 1),
                      expr(b, depth - 1));
    }
    if (roll < 72) {
        const std::string test = condition(depth - 1);
        const std::string then_value = expr(want, depth - 1);
        const std::string else_value = expr(want, depth - 1);
        return binary("QUEST", type_no(want), test,
                      binary("COLON", type_no(want), then_value, else_value));
    }
    if (roll < 80) {
        const Scalar from = random_scalar(random_);
        return convert(from, want, expr(from, depth - 1));
    }
    if (roll < 88) {
        if (auto call = self_call(want, depth - 1))
            return *call;
        if (auto call = pure_call(want, depth - 1))
            return *call;
        return leaf(want);
    }
    if (roll < 94)
        return scratch_effect(want, depth - 1);
    return leaf(want);
}

// An expression without side effects, fit to be evaluated twice.
std::string FunctionBuilder::pure_expr(Scalar want, int depth) {
    const bool saved = no_effects_;
    no_effects_ = true;
    std::string text = expr(want, depth);
    no_effects_ = saved;
    return text;
}

std::string FunctionBuilder::leaf(Scalar want) {
    if (random_.chance(30))
        return random_constant(want);
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (auto value = lvalue(Access::read))
            return convert(value->type, want, value->text);
    }
    return random_constant(want);
}

std::string FunctionBuilder::condition(int depth) {
    if (random_.chance(60))
        return comparison(Scalar::i16, depth);
    return expr(random_scalar(random_), depth);
}

std::string FunctionBuilder::comparison(Scalar want, int depth) {
    static const char* const kSigned[] = {"EQ", "NEQ", "LT", "LE", "GT", "GE"};
    static const char* const kUnsigned[] = {"EQ", "NEQ", "ULT", "ULE", "UGT", "UGE"};
    const Scalar operands = random_scalar(random_);
    const char* op = (is_signed(operands) ? kSigned : kUnsigned)[random_.below(6)];
    const Scalar result = random_.chance(70) ? Scalar::i16 : want;
    const std::string left = expr(operands, depth);
    const std::string right =
        random_.chance(50) ? random_constant(operands) : expr(operands, depth);
    return convert(result, want, binary(op, type_no(result), left, right));
}

// Never zero, and for a signed type never -1 (the most negative value
// divided by -1 overflows).
std::string FunctionBuilder::guarded_divisor(Scalar s, int depth) {
    const int t = type_no(s);
    const int form = random_.range(0, 2);
    if (form == 0) {
        int64_t c = random_.range(2, 50);
        if (random_.chance(30) && is_signed(s))
            c = -c;
        return constant(s, c);
    }
    if (form == 1) {
        std::string value = expr(s, depth);
        if (is_signed(s))
            value = binary("ANDB", t, value, constant(s, random_.chance(50) ? 0x7f : 0x3fff));
        return binary("ORB", t, value, constant(s, 1));
    }
    const std::string value = pure_expr(s, depth);
    std::string bad = binary("EQ", 2, value, constant(s, 0));
    if (is_signed(s))
        bad = binary("OROR", 2, bad, binary("EQ", 2, value, constant(s, -1)));
    return binary("QUEST", t, bad, binary("COLON", t, constant(s, random_.range(2, 9)), value));
}

std::string FunctionBuilder::shift_count(Scalar s, int depth) {
    if (random_.chance(40))
        return int_constant(random_.range(0, bits(s) - 1));
    const Scalar from = random_scalar(random_);
    return binary("ANDB", 2, convert(from, Scalar::i16, expr(from, depth)),
                  int_constant(bits(s) - 1));
}

// An index below `length`, already multiplied by the element size.
std::string FunctionBuilder::index(int length, int scale) {
    std::string text;
    std::vector<const Var*> counters;
    for (const Var* var : visible_)
        if (var->is_counter && var->active_bound > 0 && var->active_bound <= length &&
            readable(*var))
            counters.push_back(var);
    const int roll = random_.range(0, 99);
    if (!counters.empty() && roll < 40) {
        const Var* counter = random_.pick(counters);
        text = name(type_no(Scalar::i16), counter->level, counter->index);
    } else if (roll < 65) {
        text = int_constant(random_.range(0, length - 1));
    } else {
        const bool saved = no_effects_;
        no_effects_ = true;
        const Scalar from = random_scalar(random_);
        const std::string value = expr(from, 1);
        no_effects_ = saved;
        if (is_power_of_two(length)) {
            text = binary("ANDB", 2, convert(from, Scalar::i16, value), int_constant(length - 1));
        } else {
            text = convert(Scalar::u16, Scalar::i16,
                           binary("MOD", type_no(Scalar::u16), convert(from, Scalar::u16, value),
                                  constant(Scalar::u16, length)));
        }
    }
    if (scale > 1)
        text = binary("MULT", 2, text, int_constant(scale));
    return text;
}

// The one side effect an expression may hold: on the statement's scratch
// variable, which nothing else in the statement reads or writes.
std::string FunctionBuilder::scratch_effect(Scalar want, int depth) {
    if (scratch_ == nullptr || scratch_used_ || no_effects_)
        return leaf(want);
    scratch_used_ = true;
    const Scalar s = scratch_->scalar;
    const int t = type_no(s);
    const std::string target = name(t, scratch_->level, scratch_->index);
    std::string effect;
    switch (random_.below(5)) {
    case 0:
        effect = binary("PLUSPLUS", t, target, constant(s, 1));
        break;
    case 1:
        effect = binary("MINMIN", t, target, constant(s, 1));
        break;
    case 2:
        effect = binary("ASG", t, target, expr(s, depth));
        break;
    case 3:
        effect = binary(random_.chance(50) ? "PLUSASG" : "XORBASG", t, target, expr(s, depth));
        break;
    default:
        effect = binary("MINUSASG", t, target, constant(s, random_.range(1, 3)));
        break;
    }
    if (random_.chance(30))
        return binary("COMMAOP", type_no(want), effect, expr(want, depth));
    return convert(s, want, effect);
}

std::optional<FunctionBuilder::Lvalue> FunctionBuilder::lvalue(Access access) {
    std::vector<const Var*> candidates;
    for (const Var* var : all_vars())
        if (access == Access::read ? readable(*var) : writable(*var))
            candidates.push_back(var);
    if (candidates.empty())
        return std::nullopt;
    return lvalue_of(*random_.pick(candidates), access);
}

std::optional<FunctionBuilder::Lvalue> FunctionBuilder::lvalue_of(const Var& var, Access) {
    const int level = var.level, at = var.index;
    switch (var.shape) {
    case Shape::scalar:
        return Lvalue{name(type_no(var.scalar), level, at), var.scalar, &var};
    case Shape::array: {
        const int t = type_no(var.scalar), p = pointer_type_no(var.scalar);
        const std::string base = unary("UAND", p, name(var.type, level, at));
        return Lvalue{
            unary("UMULT", t, binary("PLUS", p, base, index(var.length, words(var.scalar)))),
            var.scalar, &var};
    }
    case Shape::pointer: {
        if (var.points_to_record()) {
            const RecordType& record = program_.types.records()[static_cast<size_t>(var.record)];
            const size_t m = random_.below(static_cast<uint32_t>(record.fields.size()));
            const Scalar s = record.fields[m].scalar;
            const std::string field = "(FIELD:" + std::to_string(type_no(s)) + " 1 " +
                                      std::to_string(m) + " " + std::to_string(record.type_no) +
                                      ")";
            return Lvalue{binary("STREF", type_no(s), name(var.type, level, at), field), s, &var};
        }
        const int t = type_no(var.scalar), p = pointer_type_no(var.scalar);
        const std::string pointer = name(p, level, at);
        if (random_.chance(25))
            return Lvalue{unary("UMULT", t, pointer), var.scalar, &var};
        return Lvalue{
            unary("UMULT", t, binary("PLUS", p, pointer, index(var.length, words(var.scalar)))),
            var.scalar, &var};
    }
    case Shape::record:
    case Shape::record_array: {
        const RecordType& record = program_.types.records()[static_cast<size_t>(var.record)];
        const size_t m = random_.below(static_cast<uint32_t>(record.fields.size()));
        const Scalar s = record.fields[m].scalar;
        const std::string field = "(FIELD:" + std::to_string(type_no(s)) + " 1 " +
                                  std::to_string(m) + " " + std::to_string(record.type_no) + ")";
        std::string object = name(var.type, level, at);
        if (var.shape == Shape::record_array) {
            const std::string base = unary("UAND", record.pointer_type_no, object);
            object = unary(
                "UMULT", record.type_no,
                binary("PLUS", record.pointer_type_no, base, index(var.length, record.words())));
        }
        return Lvalue{binary("STDOT", type_no(s), object, field), s, &var};
    }
    }
    return std::nullopt;
}

// A callee that may run here without breaking the budget.
std::optional<int> FunctionBuilder::pick_callee(bool pure_only, bool need_value) {
    std::vector<int> candidates;
    const auto& functions = program_.functions;
    for (size_t j = static_cast<size_t>(function_index_ + 1); j < functions.size(); ++j) {
        const Function& callee = functions[j];
        if (!callee.generated || (pure_only && !callee.pure) || (need_value && callee.returns_void))
            continue;
        const uint64_t more = multiplier_ * (pending_call_cost_ + callee.cost + 20);
        if (cost_ + more > budget_)
            continue;
        candidates.push_back(static_cast<int>(j));
    }
    if (candidates.empty())
        return std::nullopt;
    return random_.pick(candidates);
}

std::optional<std::string> FunctionBuilder::pure_call(Scalar want, int depth) {
    if (no_effects_)
        return std::nullopt;
    auto callee = pick_callee(true, true);
    if (!callee)
        return std::nullopt;
    const Function& f = program_.functions[static_cast<size_t>(*callee)];
    auto text = call_text(f, depth, false);
    if (!text)
        return std::nullopt;
    pending_call_cost_ += f.cost;
    return convert(f.result, want, *text);
}

// Bounded recursion: the remaining depth, tested before the call, goes down
// by one.  Only outside loops and once per body, so the work grows linearly
// with the depth.
std::optional<std::string> FunctionBuilder::self_call(Scalar want, int depth) {
    if (!function_.recursive || self_call_done_ || multiplier_ != 1 || no_effects_ ||
        random_.chance(50))
        return std::nullopt;
    auto text = call_text(function_, depth, true);
    if (!text)
        return std::nullopt;
    self_call_done_ = true;
    const int t = type_no(function_.result);
    const std::string depth_name = name(2, 1, 0);
    const std::string test = binary("GT", 2, depth_name, int_constant(0));
    const std::string quest =
        binary("QUEST", t, test, binary("COLON", t, *text, random_constant(function_.result)));
    return convert(function_.result, want, quest);
}

std::optional<std::string> FunctionBuilder::call_text(const Function& callee, int depth,
                                                      bool recursion) {
    std::vector<std::string> arguments;
    for (size_t i = 0; i < callee.params.size(); ++i) {
        const Param& param = callee.params[i];
        if (i == 0 && callee.recursive) {
            arguments.push_back(recursion ? binary("MINUS", 2, name(2, 1, 0), int_constant(1))
                                          : int_constant(random_.range(0, callee.max_depth)));
            continue;
        }
        if (param.shape == Shape::pointer) {
            auto pointer = pointer_argument(param);
            if (!pointer)
                return std::nullopt;
            arguments.push_back(*pointer);
            continue;
        }
        arguments.push_back(random_.chance(30) ? random_constant(param.scalar)
                                               : expr(param.scalar, depth));
    }
    const int result = callee.returns_void ? kVoidType : type_no(callee.result);
    const std::string callee_address =
        unary("UAND", callee.pointer_type, name(callee.type, 0, callee.symbol));
    const int number = program_.next_call_number++;
    if (arguments.empty())
        return "(UCALL:" + std::to_string(result) + " " + std::to_string(number) + " " +
               callee_address + ")";
    std::string list = arguments.back();
    for (size_t i = arguments.size() - 1; i-- > 0;)
        list = binary("COMMA", 0, arguments[i], list);
    return "(CALL:" + std::to_string(result) + " " + std::to_string(arguments.size()) + " " +
           std::to_string(number) + " " + callee_address + " " + list + ")";
}

// The start of an array (or a later element, so that enough remain) that
// the parameter may reach.
std::optional<std::string> FunctionBuilder::pointer_argument(const Param& param) {
    std::vector<std::string> choices;
    for (const Var* var : all_vars()) {
        if (!readable(*var))
            continue;
        if (param.record >= 0) {
            const RecordType& record = program_.types.records()[static_cast<size_t>(param.record)];
            if (var->record != param.record)
                continue;
            if (var->shape == Shape::record) {
                choices.push_back(
                    unary("UAND", param.type, name(var->type, var->level, var->index)));
            } else if (var->shape == Shape::record_array) {
                const int k = random_.range(0, var->length - 1);
                choices.push_back(
                    binary("PLUS", param.type,
                           unary("UAND", param.type, name(var->type, var->level, var->index)),
                           int_constant(k * record.words())));
            } else if (var->shape == Shape::pointer) {
                choices.push_back(name(param.type, var->level, var->index));
            }
            continue;
        }
        if (var->scalar != param.scalar || var->length < param.length)
            continue;
        if (var->shape == Shape::array) {
            const int k = random_.range(0, var->length - param.length);
            std::string base = unary("UAND", param.type, name(var->type, var->level, var->index));
            if (k > 0)
                base = binary("PLUS", param.type, base, int_constant(k * words(param.scalar)));
            choices.push_back(base);
        } else if (var->shape == Shape::pointer && var->record < 0) {
            choices.push_back(name(param.type, var->level, var->index));
        }
    }
    if (choices.empty())
        return std::nullopt;
    return random_.pick(choices);
}

} // namespace vx::progen
