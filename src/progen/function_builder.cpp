// Declarations, scopes and the text of a generated function, and the two
// fixed functions every program has: the checksum of the globals and main.
#include "progen/function_builder.h"
#include "progen/tree_text.h"

#include <algorithm>

namespace vx::progen {

using namespace tree;

namespace {

constexpr int kClassAuto = 1;
constexpr int kClassParam = 9;

Scalar random_scalar(Random& random) {
    return kAllScalars[random.below(6)];
}

int align_of(Scalar s) {
    return std::min(bits(s), 32);
}

const int kArrayLengths[] = {2, 3, 4, 5, 8, 8, 16, 16, 32};

} // namespace

FunctionBuilder::FunctionBuilder(ProgramState& program, int function, uint64_t budget)
    : FunctionBuilder(program, program.functions[static_cast<size_t>(function)], budget) {
    function_index_ = function;
}

FunctionBuilder::FunctionBuilder(ProgramState& program, Function& function, uint64_t budget)
    : program_(program), function_(function), random_(program.random), limits_(program.limits),
      budget_(budget) {}

// ---- Text and cost ----------------------------------------------------------------------

void FunctionBuilder::line(const std::string& text) {
    body_.append(static_cast<size_t>(indent_) * 2, ' ');
    body_ += text;
    body_ += '\n';
}

void FunctionBuilder::statement_line(const std::string& tree) {
    line("stmt " + tree);
    cost_ += multiplier_ * (static_cast<uint64_t>(node_count(tree)) + pending_call_cost_);
    pending_call_cost_ = 0;
}

void FunctionBuilder::label_line(int label) {
    line("label " + std::to_string(label));
}

bool FunctionBuilder::out_of_room() const {
    return statements_left_ <= 0 || cost_ >= budget_;
}

// ---- Declarations -------------------------------------------------------------------------

Var* FunctionBuilder::declare(std::unique_ptr<Var> var, int size_bits, int align_bits) {
    var->level = level_;
    var->index = next_local_++;
    if (var->name.empty())
        var->name = "v" + std::to_string(var->index);
    line("sym \"" + var->name + "\" size=" + std::to_string(size_bits) +
         " class=" + std::to_string(level_ == 1 ? kClassParam : kClassAuto) +
         " type=" + std::to_string(var->type) + " align=" + std::to_string(align_bits));
    Var* raw = var.get();
    locals_.push_back(std::move(var));
    visible_.push_back(raw);
    return raw;
}

Var* FunctionBuilder::declare_scalar(Scalar s, const std::string& prefix) {
    auto var = std::make_unique<Var>();
    var->name = prefix + std::to_string(next_local_);
    var->scalar = s;
    var->type = type_no(s);
    return declare(std::move(var), bits(s), align_of(s));
}

void FunctionBuilder::declare_parameters() {
    for (size_t k = 0; k < function_.params.size(); ++k) {
        const Param& param = function_.params[k];
        auto var = std::make_unique<Var>();
        var->name = "p" + std::to_string(k);
        var->shape = param.shape;
        var->scalar = param.scalar;
        var->length = param.length;
        var->record = param.record;
        var->type = param.type;
        var->initialized = true;
        var->read_only = param.shape == Shape::pointer || (k == 0 && function_.recursive);
        var->points_out = param.shape == Shape::pointer;
        const int size = param.shape == Shape::pointer ? 32 : bits(param.scalar);
        declare(std::move(var), size, std::min(size, 32));
    }
}

// A block's locals: counters for its loops, scalars, and now and then an
// array, a structure, an array of structures and a pointer into one of
// the arrays or structures in scope.
void FunctionBuilder::declare_block_locals() {
    const int counters = random_.range(1, 2);
    for (int i = 0; i < counters; ++i)
        declare_scalar(Scalar::i16, "i")->is_counter = true;
    const int scalars = random_.range(1, level_ == 2 ? 5 : 3);
    for (int i = 0; i < scalars; ++i)
        declare_scalar(random_scalar(random_), "v");
    if (random_.chance(50)) {
        auto var = std::make_unique<Var>();
        var->name = "a" + std::to_string(next_local_);
        var->shape = Shape::array;
        var->scalar = random_scalar(random_);
        var->length = kArrayLengths[random_.below(std::size(kArrayLengths))];
        var->type = program_.types.array_of(var->scalar, var->length);
        const int size = bits(var->scalar) * var->length;
        const int align = align_of(var->scalar);
        declare(std::move(var), size, align);
    }
    const auto& records = program_.types.records();
    if (!records.empty() && random_.chance(35)) {
        auto var = std::make_unique<Var>();
        const bool many = random_.chance(50);
        var->record = static_cast<int>(random_.below(static_cast<uint32_t>(records.size())));
        const RecordType& record = records[static_cast<size_t>(var->record)];
        var->name = (many ? "r" : "s") + std::to_string(next_local_);
        var->shape = many ? Shape::record_array : Shape::record;
        var->length = many ? random_.range(2, 6) : 0;
        var->type = many ? program_.types.record_array(record, var->length) : record.type_no;
        const int size = record.size_bits * (many ? var->length : 1);
        declare(std::move(var), size, record.align_bits);
    }
    if (random_.chance(45)) {
        // A pointer to an array or a structure already in scope.
        std::vector<const Var*> targets;
        for (const Var* var : all_vars())
            if (var->shape == Shape::array || var->shape == Shape::record ||
                var->shape == Shape::record_array)
                targets.push_back(var);
        if (!targets.empty()) {
            const Var* target = random_.pick(targets);
            auto var = std::make_unique<Var>();
            var->name = "q" + std::to_string(next_local_);
            var->shape = Shape::pointer;
            var->points_out = target->is_global();
            if (target->shape == Shape::array) {
                var->scalar = target->scalar;
                var->length = target->length;
                var->type = pointer_type_no(target->scalar);
            } else {
                var->record = target->record;
                var->type = records[static_cast<size_t>(target->record)].pointer_type_no;
            }
            var->reset = unary("UAND", var->type, name(target->type, target->level, target->index));
            declare(std::move(var), 32, 32);
        }
    }
}

void FunctionBuilder::initialize_block_locals(size_t first) {
    for (size_t i = first; i < visible_.size(); ++i) {
        initialize(*visible_[i]);
        visible_[i]->initialized = true;
    }
}

void FunctionBuilder::initialize(Var& var) {
    const int level = var.level, at = var.index;
    switch (var.shape) {
    case Shape::scalar: {
        const int t = type_no(var.scalar);
        const std::string value = var.is_counter       ? int_constant(0)
                                  : random_.chance(50) ? random_constant(var.scalar)
                                                       : expr(var.scalar, 1);
        statement_line(binary("ASG", t, name(t, level, at), value));
        return;
    }
    case Shape::array:
        if (var.length <= 4) {
            const int t = type_no(var.scalar), p = pointer_type_no(var.scalar);
            for (int k = 0; k < var.length; ++k) {
                const std::string address =
                    binary("PLUS", p, unary("UAND", p, name(var.type, level, at)),
                           int_constant(k * words(var.scalar)));
                statement_line(
                    binary("ASG", t, unary("UMULT", t, address),
                           random_.chance(50) ? random_constant(var.scalar) : expr(var.scalar, 1)));
            }
            return;
        }
        return fill_array(var);
    case Shape::record: {
        const RecordType& record = program_.types.records()[static_cast<size_t>(var.record)];
        for (size_t m = 0; m < record.fields.size(); ++m) {
            const Scalar s = record.fields[m].scalar;
            const std::string field = "(FIELD:" + std::to_string(type_no(s)) + " 1 " +
                                      std::to_string(m) + " " + std::to_string(record.type_no) +
                                      ")";
            statement_line(binary("ASG", type_no(s),
                                  binary("STDOT", type_no(s), name(var.type, level, at), field),
                                  random_constant(s)));
        }
        return;
    }
    case Shape::record_array:
        return fill_record_array(var);
    case Shape::pointer:
        statement_line(binary("ASG", var.type, name(var.type, level, at), var.reset));
        return;
    }
}

void FunctionBuilder::fill_array(Var& var) {
    Var* counter = free_counter();
    const std::string i = name(2, counter->level, counter->index);
    const int head = new_label(), test = new_label();
    const int t = type_no(var.scalar), p = pointer_type_no(var.scalar);
    statement_line(binary("ASG", 2, i, int_constant(0)));
    statement_line("(BRANCH " + label(test) + ")");
    label_line(head);
    std::string offset = i;
    if (words(var.scalar) > 1)
        offset = binary("MULT", 2, i, int_constant(words(var.scalar)));
    const std::string element =
        unary("UMULT", t,
              binary("PLUS", p, unary("UAND", p, name(var.type, var.level, var.index)), offset));
    const std::string value =
        binary("XORB", t,
               binary("MULT", t, convert(Scalar::i16, var.scalar, i), random_constant(var.scalar)),
               random_constant(var.scalar));
    const uint64_t saved = multiplier_;
    multiplier_ *= static_cast<uint64_t>(var.length);
    statement_line(binary("ASG", t, element, value));
    statement_line(binary("PLUSPLUS", 2, i, int_constant(1)));
    label_line(test);
    statement_line("(CBRANCH " + binary("LT", 2, i, int_constant(var.length)) + " " + label(head) +
                   ")");
    multiplier_ = saved;
}

void FunctionBuilder::fill_record_array(Var& var) {
    const RecordType& record = program_.types.records()[static_cast<size_t>(var.record)];
    Var* counter = free_counter();
    const std::string i = name(2, counter->level, counter->index);
    const int head = new_label();
    statement_line(binary("ASG", 2, i, int_constant(0)));
    label_line(head);
    const uint64_t saved = multiplier_;
    multiplier_ *= static_cast<uint64_t>(var.length);
    const std::string element =
        unary("UMULT", record.type_no,
              binary("PLUS", record.pointer_type_no,
                     unary("UAND", record.pointer_type_no, name(var.type, var.level, var.index)),
                     binary("MULT", 2, i, int_constant(record.words()))));
    for (size_t m = 0; m < record.fields.size(); ++m) {
        const Scalar s = record.fields[m].scalar;
        const std::string field = "(FIELD:" + std::to_string(type_no(s)) + " 1 " +
                                  std::to_string(m) + " " + std::to_string(record.type_no) + ")";
        statement_line(
            binary("ASG", type_no(s), binary("STDOT", type_no(s), element, field),
                   binary("PLUS", type_no(s), convert(Scalar::i16, s, i), random_constant(s))));
    }
    statement_line(binary("PLUSPLUS", 2, i, int_constant(1)));
    statement_line("(CBRANCH " + binary("LT", 2, i, int_constant(var.length)) + " " + label(head) +
                   ")");
    multiplier_ = saved;
}

void FunctionBuilder::open_scope() {
    scope_marks_.push_back(visible_.size());
}

void FunctionBuilder::close_scope() {
    visible_.resize(scope_marks_.back());
    scope_marks_.pop_back();
}

// ---- The function -----------------------------------------------------------------------

void FunctionBuilder::build() {
    statements_left_ =
        random_.range(limits_.statements_per_function / 2, limits_.statements_per_function);
    body_ = "func " + std::to_string(function_.symbol) + "    ; " + function_.name +
            (function_.pure ? " (pure)" : "") + (function_.recursive ? " (recursive)" : "") + "\n";
    level_ = 1;
    open_scope();
    declare_parameters();
    line("endparams");
    level_ = 2;
    open_scope();
    const size_t first = visible_.size();
    declare_block_locals();
    line("endlocals");
    initialize_block_locals(first);
    while (!out_of_room())
        statement();
    final_return();
    body_ += "endfunc\n";
    const uint64_t calls = function_.recursive ? static_cast<uint64_t>(function_.max_depth) + 1 : 1;
    function_.cost = (cost_ + 10) * calls;
    function_.text = std::move(body_);
    function_.generated = true;
}

namespace {

std::string printf_call(ProgramState& program, const ProgramState::Format& format,
                        const std::vector<std::string>& values) {
    std::string list = values.empty() ? "" : values.back();
    for (size_t i = values.size(); i-- > 0;)
        list = i + 1 == values.size() ? list : binary("COMMA", 0, values[i], list);
    const std::string format_address =
        unary("UAND", kCharPointerType, name(format.type, 0, format.symbol));
    list = values.empty() ? format_address : binary("COMMA", 0, format_address, list);
    return "(CALL:2 " + std::to_string(values.size() + 1) + " " +
           std::to_string(program.next_call_number++) + " " +
           unary("UAND", program.printf_pointer_type,
                 name(program.printf_type, 0, program.printf_symbol)) +
           " " + list + ")";
}

} // namespace

// checksum = checksum * 33 + value, over every global, element and field
// (64-bit values in two halves).
Function FunctionBuilder::build_checksum(ProgramState& program, int symbol) {
    Function f;
    f.name = "checksum";
    f.symbol = symbol;
    f.result = Scalar::u32;
    f.generated = true;
    FunctionBuilder b(program, f, UINT64_MAX);
    b.body_ = "func " + std::to_string(symbol) + "    ; checksum\n";
    b.line("endparams");
    b.level_ = 2;
    b.open_scope();
    Var* sum = b.declare_scalar(Scalar::u32, "ck");
    Var* counter = b.declare_scalar(Scalar::i16, "i");
    b.line("endlocals");
    const int u = type_no(Scalar::u32);
    const std::string ck = name(u, sum->level, sum->index);
    const std::string i = name(2, counter->level, counter->index);
    b.statement_line(binary("ASG", u, ck, constant(Scalar::u32, 5381)));
    auto mix = [&](Scalar s, const std::string& value) {
        b.statement_line(binary("ASG", u, ck,
                                binary("PLUS", u, binary("MULT", u, ck, constant(Scalar::u32, 33)),
                                       convert(s, Scalar::u32, value))));
        if (bits(s) == 64)
            b.statement_line(binary(
                "XORBASG", u, ck,
                convert(s, Scalar::u32, binary("SRL", type_no(s), value, int_constant(32)))));
    };
    for (const auto& global : program.globals) {
        const Var& g = *global;
        const auto& records = program.types.records();
        if (g.shape == Shape::scalar) {
            mix(g.scalar, name(g.type, 0, g.index));
            continue;
        }
        const std::string object = name(g.type, 0, g.index);
        if (g.shape == Shape::record) {
            const RecordType& record = records[static_cast<size_t>(g.record)];
            for (size_t m = 0; m < record.fields.size(); ++m) {
                const Scalar s = record.fields[m].scalar;
                mix(s, binary("STDOT", type_no(s), object,
                              "(FIELD:" + std::to_string(type_no(s)) + " 1 " + std::to_string(m) +
                                  " " + std::to_string(record.type_no) + ")"));
            }
            continue;
        }
        const int head = b.new_label();
        b.statement_line(binary("ASG", 2, i, int_constant(0)));
        b.label_line(head);
        if (g.shape == Shape::array) {
            const int p = pointer_type_no(g.scalar);
            std::string offset = i;
            if (words(g.scalar) > 1)
                offset = binary("MULT", 2, i, int_constant(words(g.scalar)));
            mix(g.scalar, unary("UMULT", type_no(g.scalar),
                                binary("PLUS", p, unary("UAND", p, object), offset)));
        } else {
            const RecordType& record = records[static_cast<size_t>(g.record)];
            const std::string element =
                unary("UMULT", record.type_no,
                      binary("PLUS", record.pointer_type_no,
                             unary("UAND", record.pointer_type_no, object),
                             binary("MULT", 2, i, int_constant(record.words()))));
            for (size_t m = 0; m < record.fields.size(); ++m) {
                const Scalar s = record.fields[m].scalar;
                mix(s, binary("STDOT", type_no(s), element,
                              "(FIELD:" + std::to_string(type_no(s)) + " 1 " + std::to_string(m) +
                                  " " + std::to_string(record.type_no) + ")"));
            }
        }
        b.statement_line(binary("PLUSPLUS", 2, i, int_constant(1)));
        b.statement_line("(CBRANCH " + binary("LT", 2, i, int_constant(g.length)) + " " +
                         label(head) + ")");
    }
    b.statement_line(binary("RETURN", u, ck, nop()));
    b.body_ += "endfunc\n";
    f.cost = b.cost_;
    f.text = std::move(b.body_);
    return f;
}

// main calls every function its budget allows, in order, printing what
// each returns, then prints the checksum of the globals and returns it.
Function FunctionBuilder::build_main(ProgramState& program, int symbol, const Function& checksum) {
    Function f;
    f.name = "main";
    f.symbol = symbol;
    f.result = Scalar::i16;
    f.generated = true;
    FunctionBuilder b(program, f, program.limits.budget);
    b.body_ = "func " + std::to_string(symbol) + "    ; main\n";
    b.line("endparams");
    b.level_ = 2;
    b.open_scope();
    Var* result = b.declare_scalar(Scalar::i32, "r");
    Var* sum = b.declare_scalar(Scalar::u32, "ck");
    b.line("endlocals");
    const int l = type_no(Scalar::i32), u = type_no(Scalar::u32);
    const std::string r = name(l, result->level, result->index);
    const std::string ck = name(u, sum->level, sum->index);
    for (size_t j = 0; j < program.functions.size(); ++j) {
        const Function& callee = program.functions[j];
        if (b.cost_ + callee.cost > b.budget_)
            continue;
        b.no_effects_ = false;
        auto call = b.call_text(callee, 0, false);
        if (!call)
            continue;
        b.pending_call_cost_ += callee.cost;
        if (callee.returns_void) {
            b.statement_line(*call);
            b.statement_line(
                printf_call(program, program.void_format, {int_constant(static_cast<int>(j))}));
        } else {
            b.statement_line(binary("ASG", l, r, convert(callee.result, Scalar::i32, *call)));
            b.statement_line(
                printf_call(program, program.value_format, {int_constant(static_cast<int>(j)), r}));
        }
    }
    b.statement_line(binary(
        "ASG", u, ck,
        "(UCALL:" + std::to_string(u) + " " + std::to_string(program.next_call_number++) + " " +
            unary("UAND", checksum.pointer_type, name(checksum.type, 0, checksum.symbol)) + ")"));
    b.statement_line(printf_call(program, program.checksum_format, {ck}));
    b.statement_line(binary("RETURN", 2, convert(Scalar::u32, Scalar::i16, ck), nop()));
    b.body_ += "endfunc    ; estimated work " + std::to_string(b.cost_) + "\n";
    f.cost = b.cost_;
    f.text = std::move(b.body_);
    return f;
}

} // namespace vx::progen
