#include "interp/machine.h"

#include "interp/output.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace vx::interp {

namespace {

// The stack may grow to this many words beyond the image.
constexpr uint64_t kStackWords = 1u << 23;
constexpr size_t kOutputChunk = 1 << 16;

inline uint64_t wrap(uint64_t value, unsigned bits, bool is_signed) {
    if (bits >= 64)
        return value;
    const unsigned shift = 64 - bits;
    return is_signed ? static_cast<uint64_t>(static_cast<int64_t>(value << shift) >> shift)
                     : (value << shift) >> shift;
}

inline uint64_t wrap(const Code* c, uint64_t value) {
    return wrap(value, c->bits, c->is_signed);
}

inline double as_double(uint64_t value) {
    return std::bit_cast<double>(value);
}

// A floating result at the width of `c`.
inline uint64_t floating(const Code* c, double value) {
    if (c->bits == 32)
        value = static_cast<double>(static_cast<float>(value));
    return std::bit_cast<uint64_t>(value);
}

inline bool truth(const Code* c, uint64_t value) {
    return c->cls == Cls::floating ? as_double(value) != 0.0 : value != 0;
}

inline int64_t sign_extended(const Code* c, uint64_t value) {
    return static_cast<int64_t>(wrap(value, c->obits, true));
}

inline uint64_t zero_extended(const Code* c, uint64_t value) {
    return wrap(value, c->obits, false);
}

Shape shape_of_code(const Code* c) {
    return Shape{c->cls, c->bits, c->is_signed, c->words};
}

// The printf arguments of one call.
class CallArguments final : public FormatArguments {
public:
    CallArguments(Machine& machine, const CallSite* site, const std::vector<uint64_t>& values,
                  size_t first)
        : machine_(machine), site_(site), values_(values), position_(first) {}

    // The format string is the first argument.
    bool next(Shape& shape, uint64_t& value) override {
        if (site_ == nullptr || index_ >= site_->args.size())
            return false;
        const Argument& arg = site_->args[index_++];
        if (arg.is_block) {
            position_ += arg.words;
            shape = Shape{Cls::block, 0, false, arg.words};
            value = 0;
            return true;
        }
        shape = shape_of_code(arg.value);
        value = values_[position_++];
        return true;
    }

    std::string string_at(uint64_t address) override {
        std::string text;
        Memory& memory = machine_.memory();
        for (;; ++address) {
            if (!memory.accessible(address, 1))
                machine_.raise(Status::bad_access, "memory access outside every object");
            const uint16_t word = memory.word(address);
            if (word == 0)
                return text;
            text += static_cast<char>(word & 0xff);
        }
    }

private:
    Machine& machine_;
    const CallSite* site_;
    const std::vector<uint64_t>& values_;
    size_t position_;
    size_t index_ = 0;
};

} // namespace

Machine::Machine(ProgramState& state, const RunRequest& request)
    : state_(state), request_(request), memory_(state.image) {
    sp_ = memory_.size();
    stack_limit_ = sp_ + kStackWords;
}

[[noreturn]] void Machine::raise(Status status, std::string what) {
    throw FaultRaised{status, std::move(what)};
}

uint64_t Machine::encode(const Shape& shape, uint64_t value) {
    if (shape.cls == Cls::floating && shape.bits == 32)
        return std::bit_cast<uint32_t>(static_cast<float>(as_double(value)));
    return value;
}

uint64_t Machine::float_to_integer(double value, const Shape& shape) {
    if (std::isnan(value))
        return 0;
    uint64_t bits;
    if (!shape.is_signed && shape.bits == 64 && value >= 9223372036854775808.0)
        bits = value >= 18446744073709551616.0 ? ~uint64_t{0} : static_cast<uint64_t>(value);
    else if (value >= 9223372036854775807.0)
        bits = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    else if (value <= -9223372036854775808.0)
        bits = static_cast<uint64_t>(std::numeric_limits<int64_t>::min());
    else
        bits = static_cast<uint64_t>(static_cast<int64_t>(value));
    return wrap(bits, shape.bits, shape.is_signed);
}

// ---- Memory ---------------------------------------------------------------------------------

void Machine::check(uint64_t address, uint32_t words) {
    if (!memory_.accessible(address, words))
        raise(Status::bad_access, "memory access outside every object");
}

uint64_t Machine::load(uint64_t address, const Code* c) {
    check(address, c->words);
    ++counts_.loads;
    uint64_t raw = memory_.read(address, c->words);
    if (c->bit_width != 0)
        return wrap(raw >> c->bit_pos, c->bit_width, c->is_signed);
    if (c->cls == Cls::floating)
        return c->bits == 32 ? from_double(std::bit_cast<float>(static_cast<uint32_t>(raw))) : raw;
    return wrap(c, raw);
}

// Returns the value as the lvalue now holds it.
uint64_t Machine::store(uint64_t address, const Code* c, uint64_t value) {
    check(address, c->words);
    ++counts_.stores;
    if (c->bit_width != 0) {
        const uint64_t mask =
            (c->bit_width >= 64 ? ~uint64_t{0} : (uint64_t{1} << c->bit_width) - 1) << c->bit_pos;
        const uint64_t old = memory_.read(address, c->words);
        memory_.write(address, c->words, (old & ~mask) | ((value << c->bit_pos) & mask));
        return wrap(value, c->bit_width, c->is_signed);
    }
    if (c->cls == Cls::floating) {
        if (c->bits == 32) {
            const float single = static_cast<float>(as_double(value));
            memory_.write(address, 2, std::bit_cast<uint32_t>(single));
            return from_double(single);
        }
        memory_.write(address, c->words, value);
        return value;
    }
    memory_.write(address, c->words, value);
    return wrap(c, value);
}

void Machine::copy_block(uint64_t to, uint64_t from, uint32_t words) {
    check(from, words);
    check(to, words);
    ++counts_.loads;
    ++counts_.stores;
    std::vector<uint16_t>& w = memory_.words();
    std::memmove(w.data() + to, w.data() + from, words * sizeof(uint16_t));
}

// ---- Evaluation -----------------------------------------------------------------------------

uint64_t Machine::arithmetic(Op op, const Code* c, uint64_t x, uint64_t y) {
    switch (op) {
    case Op::add:
        return wrap(c, x + y);
    case Op::sub:
        return wrap(c, x - y);
    case Op::mul:
        return wrap(c, x * y);
    case Op::div:
    case Op::mod: {
        if (wrap(c, y) == 0)
            raise(Status::division_by_zero, "division by zero");
        if (c->is_signed) {
            const int64_t a = static_cast<int64_t>(x), b = static_cast<int64_t>(y);
            if (b == -1)
                return op == Op::div ? wrap(c, 0 - x) : 0;
            return wrap(c, static_cast<uint64_t>(op == Op::div ? a / b : a % b));
        }
        return wrap(c, op == Op::div ? x / y : x % y);
    }
    case Op::band:
        return x & y;
    case Op::bor:
        return x | y;
    case Op::bxor:
        return x ^ y;
    case Op::shl:
        return y >= c->bits ? 0 : wrap(c, x << y);
    case Op::shr:
        if (c->is_signed)
            return static_cast<uint64_t>(static_cast<int64_t>(x) >> std::min<uint64_t>(y, 63));
        return y >= 64 ? 0 : x >> y;
    case Op::fadd:
        return floating(c, as_double(x) + as_double(y));
    case Op::fsub:
        return floating(c, as_double(x) - as_double(y));
    case Op::fmul:
        return floating(c, as_double(x) * as_double(y));
    case Op::fdiv:
        return floating(c, as_double(x) / as_double(y));
    default:
        raise(Status::unsupported, "an operation the interpreter does not know");
    }
}

uint64_t Machine::convert(const Code* c, uint64_t value) {
    // A conversion whose result addresses a block (`*(struct s *)p` used
    // whole) is an integer conversion of the address.
    if (c->cls != Cls::floating) {
        if (c->ocls == Cls::floating)
            return float_to_integer(as_double(value), shape_of_code(c));
        return wrap(c, value);
    }
    // To floating.
    if (c->ocls == Cls::floating)
        return floating(c, as_double(value));
    if (c->bits == 32) {
        const float single = c->osigned ? static_cast<float>(static_cast<int64_t>(value))
                                        : static_cast<float>(value);
        return from_double(single);
    }
    return from_double(c->osigned ? static_cast<double>(static_cast<int64_t>(value))
                                  : static_cast<double>(value));
}

uint64_t Machine::eval(const Code* c) {
    counts_.ops += c->weight;
    switch (c->op) {
    case Op::constant:
        return static_cast<uint64_t>(c->imm);
    case Op::local_addr:
        return fp_ + static_cast<uint64_t>(c->imm);
    case Op::load_local:
        return load(fp_ + static_cast<uint64_t>(c->imm), c);
    case Op::load_abs:
        return load(static_cast<uint64_t>(c->imm), c);
    case Op::fault:
        raise(static_cast<Status>(c->count), *c->text);
    case Op::load:
        return load(eval(c->a), c);
    case Op::store: {
        const uint64_t address = eval(c->a);
        return store(address, c, eval(c->b));
    }
    case Op::store_local:
        return store(fp_ + static_cast<uint64_t>(c->imm), c, eval(c->b));
    case Op::block_copy: {
        const uint64_t to = eval(c->a);
        copy_block(to, eval(c->b), c->count);
        return to;
    }
    case Op::update:
    case Op::post_update: {
        const uint64_t address = eval(c->a);
        const uint64_t old = load(address, c);
        const uint64_t operand = eval(c->b);
        const uint64_t stored = store(address, c, arithmetic(c->sub, c, old, operand));
        return c->op == Op::update ? stored : old;
    }
    case Op::add_offset:
        return wrap(eval(c->a) + static_cast<uint64_t>(c->imm), 32, false);
    case Op::add:
    case Op::sub:
    case Op::mul:
    case Op::div:
    case Op::mod:
    case Op::band:
    case Op::bor:
    case Op::bxor:
    case Op::shl:
    case Op::shr:
    case Op::fadd:
    case Op::fsub:
    case Op::fmul:
    case Op::fdiv: {
        const uint64_t x = eval(c->a);
        return arithmetic(c->op, c, x, eval(c->b));
    }
    case Op::neg:
        return wrap(c, 0 - eval(c->a));
    case Op::bnot:
        return wrap(c, ~eval(c->a));
    case Op::abs: {
        const uint64_t x = eval(c->a);
        return wrap(c, c->is_signed && static_cast<int64_t>(x) < 0 ? 0 - x : x);
    }
    case Op::fneg:
        return floating(c, -as_double(eval(c->a)));
    case Op::fabs:
        return floating(c, std::fabs(as_double(eval(c->a))));
    case Op::eq:
    case Op::ne:
    case Op::ult:
    case Op::ule:
    case Op::ugt:
    case Op::uge: {
        const uint64_t x = zero_extended(c, eval(c->a));
        const uint64_t y = zero_extended(c, eval(c->b));
        switch (c->op) {
        case Op::eq:
            return x == y;
        case Op::ne:
            return x != y;
        case Op::ult:
            return x < y;
        case Op::ule:
            return x <= y;
        case Op::ugt:
            return x > y;
        default:
            return x >= y;
        }
    }
    case Op::lt:
    case Op::le:
    case Op::gt:
    case Op::ge: {
        const int64_t x = sign_extended(c, eval(c->a));
        const int64_t y = sign_extended(c, eval(c->b));
        switch (c->op) {
        case Op::lt:
            return x < y;
        case Op::le:
            return x <= y;
        case Op::gt:
            return x > y;
        default:
            return x >= y;
        }
    }
    case Op::feq:
    case Op::fne:
    case Op::flt:
    case Op::fle:
    case Op::fgt:
    case Op::fge: {
        const double x = as_double(eval(c->a));
        const double y = as_double(eval(c->b));
        switch (c->op) {
        case Op::feq:
            return x == y;
        case Op::fne:
            return x != y;
        case Op::flt:
            return x < y;
        case Op::fle:
            return x <= y;
        case Op::fgt:
            return x > y;
        default:
            return x >= y;
        }
    }
    case Op::lnot:
        return !truth(c->a, eval(c->a));
    case Op::andand:
        return truth(c->a, eval(c->a)) && truth(c->b, eval(c->b));
    case Op::oror:
        return truth(c->a, eval(c->a)) || truth(c->b, eval(c->b));
    case Op::quest:
        return truth(c->a, eval(c->a)) ? eval(c->b) : eval(c->c);
    case Op::comma:
        eval(c->a);
        return eval(c->b);
    case Op::convert:
        return convert(c, eval(c->a));
    case Op::call:
        return call(c);
    }
    raise(Status::unsupported, "an operation the interpreter does not know");
}

// ---- Calls ------------------------------------------------------------------------------------

uint64_t Machine::call(const Code* c) {
    const CallSite* site = c->site;
    const Function* function = site->direct;
    if (function == nullptr) {
        const uint64_t address = eval(site->callee);
        if (address < kFunctionBase || address - kFunctionBase >= state_.functions.size())
            raise(Status::unknown_function, "call through a pointer that addresses no function");
        function = &state_.functions[address - kFunctionBase];
    }
    const size_t first = args_.size();
    for (const Argument& arg : site->args) {
        const uint64_t value = eval(arg.value);
        if (!arg.is_block) {
            args_.push_back(value);
            continue;
        }
        check(value, arg.words);
        ++counts_.loads;
        for (uint32_t i = 0; i < arg.words; ++i)
            args_.push_back(memory_.word(value + i));
    }
    ++counts_.calls;
    ResultPlace place = shared_return_buffer();
    if (site->result_offset >= 0)
        place = {fp_ + static_cast<uint64_t>(site->result_offset), site->result_words};
    const uint64_t result = invoke(*function, first, site, place);
    args_.resize(first);
    return result;
}

Machine::ResultPlace Machine::shared_return_buffer() const {
    return {state_.return_buffer, state_.return_words};
}

uint64_t Machine::invoke(const Function& function, size_t first_arg, const CallSite* site,
                         ResultPlace result_place) {
    if (function.kind != FunctionKind::defined)
        return intrinsic(function, first_arg, site);
    if (depth_ >= request_.max_depth)
        raise(Status::bad_access, "stack overflow");
    const uint64_t frame = sp_ + kGuardWords;
    const uint64_t end = frame + function.frame_words;
    if (end > stack_limit_)
        raise(Status::bad_access, "stack overflow");
    if (end > memory_.size())
        memory_.resize(static_cast<uint32_t>(std::max<uint64_t>(end, memory_.size() * 2)));
    memory_.zero(static_cast<uint32_t>(frame), function.frame_words);
    for (const FrameObject& object : function.objects)
        memory_.set_live(static_cast<uint32_t>(frame + object.offset), object.words, true);

    const uint64_t saved_fp = fp_, saved_sp = sp_;
    const Function* caller = current_;
    fp_ = frame;
    sp_ = end;
    current_ = &function;
    ++depth_;
    bind_parameters(function, first_arg, site);
    const uint64_t result = execute(function, result_place);
    --depth_;
    memory_.set_live(static_cast<uint32_t>(frame), function.frame_words, false);
    fp_ = saved_fp;
    sp_ = saved_sp;
    current_ = caller;
    return result;
}

// Each argument is converted to its parameter's type; missing ones are 0.
void Machine::bind_parameters(const Function& function, size_t first_arg, const CallSite* site) {
    size_t position = first_arg;
    for (size_t i = 0; i < function.params.size(); ++i) {
        const Parameter& param = function.params[i];
        const uint64_t address = fp_ + param.offset;
        const Argument* arg = site && i < site->args.size() ? &site->args[i] : nullptr;
        const bool present = site ? arg != nullptr : position < args_.size();
        if (!present)
            continue;
        if (param.shape.cls == Cls::block || (arg && arg->is_block)) {
            const uint32_t words = arg ? arg->words : 1;
            for (uint32_t w = 0; w < words && w < param.shape.words; ++w)
                memory_.set_word(address + w, static_cast<uint16_t>(args_[position + w]));
            position += words;
            continue;
        }
        Code target;
        target.cls = param.shape.cls;
        target.bits = param.shape.bits;
        target.is_signed = param.shape.is_signed;
        target.words = static_cast<uint8_t>(param.shape.words);
        const Shape from = arg ? shape_of_code(arg->value) : Shape{Cls::integer, 64, true, 4};
        target.ocls = from.cls == Cls::floating ? Cls::floating : Cls::integer;
        target.obits = from.bits;
        target.osigned = from.is_signed;
        uint64_t value = args_[position++];
        if (target.cls == Cls::integer || target.cls == Cls::floating)
            value = convert(&target, value);
        memory_.write(address, target.words, encode(param.shape, value));
    }
}

uint64_t Machine::intrinsic(const Function& function, size_t first_arg, const CallSite* site) {
    switch (function.kind) {
    case FunctionKind::printf: {
        CallArguments args(*this, site, args_, first_arg);
        Shape shape;
        uint64_t format = 0;
        if (!args.next(shape, format))
            return 0;
        std::string text;
        format_printf(args.string_at(format), args, text);
        emit(text);
        return wrap(text.size(), 16, true);
    }
    case FunctionKind::putchar: {
        const uint64_t c = site && !site->args.empty() ? args_[first_arg] : 0;
        emit(std::string(1, static_cast<char>(c & 0xff)));
        return c & 0xff;
    }
    case FunctionKind::puts: {
        CallArguments args(*this, site, args_, first_arg);
        Shape shape;
        uint64_t text = 0;
        if (args.next(shape, text))
            emit(args.string_at(text) + "\n");
        return 0;
    }
    default:
        raise(Status::unknown_function, "call of unknown function " + function.name);
    }
}

// ---- Statements -----------------------------------------------------------------------------

uint64_t Machine::execute(const Function& function, ResultPlace result_place) {
    const Stmt* stmts = function.stmts.data();
    uint32_t pc = 0;
    const uint64_t max_steps = request_.max_steps;
    for (;;) {
        if (counts_.ops > max_steps)
            raise(Status::step_limit, "step limit exceeded");
        const Stmt& s = stmts[pc];
        counts_.ops += s.weight;
        switch (s.kind) {
        case StmtKind::expression:
            eval(s.e);
            ++pc;
            break;
        case StmtKind::nothing:
            ++pc;
            break;
        case StmtKind::branch:
            ++counts_.branches;
            pc = s.target;
            break;
        case StmtKind::cbranch:
            if (truth(s.e, eval(s.e))) {
                ++counts_.branches;
                pc = s.target;
            } else {
                ++pc;
            }
            break;
        case StmtKind::two_way:
            if (truth(s.e, eval(s.e))) {
                ++counts_.branches;
                pc = s.target;
            } else {
                // The written form branches to the other target unless it
                // is the next statement.
                if (!s.other_falls_through) {
                    ++counts_.ops;
                    ++counts_.branches;
                }
                pc = s.other;
            }
            break;
        case StmtKind::multiway: {
            const uint64_t value = eval(s.e);
            auto found =
                std::lower_bound(s.cases.begin(), s.cases.end(), value,
                                 [](const SwitchCase& item, uint64_t v) { return item.value < v; });
            if (found != s.cases.end() && found->value == value) {
                ++counts_.branches;
                pc = found->target;
            } else if (s.has_default) {
                ++counts_.branches;
                pc = s.other;
            } else {
                ++pc;
            }
            break;
        }
        case StmtKind::ret: {
            if (s.e == nullptr)
                return 0;
            const uint64_t value = eval(s.e);
            if (function.result.cls == Cls::block) {
                copy_block(result_place.address, value,
                           std::min(function.result.words, result_place.words));
                return result_place.address;
            }
            return value;
        }
        case StmtKind::fault:
            eval(s.e);
            ++pc;
            break;
        }
    }
}

// ---- Output ---------------------------------------------------------------------------------

void Machine::emit(const std::string& text) {
    output_ += text;
    if (output_.size() >= kOutputChunk)
        flush_output();
}

void Machine::flush_output() {
    if (request_.output != nullptr) {
        std::fwrite(output_.data(), 1, output_.size(), request_.output);
        std::fflush(request_.output);
    } else {
        kept_output_ += output_;
    }
    output_.clear();
}

// ---- Runs -----------------------------------------------------------------------------------

uint64_t Machine::evaluate_constant(const Code* code) {
    return eval(code);
}

RunResult Machine::run() {
    RunResult result;
    auto found = state_.by_name.find(request_.entry);
    const Function* entry = found != state_.by_name.end() ? found->second : nullptr;
    try {
        if (state_.init_status != Status::completed)
            raise(state_.init_status, state_.init_fault);
        if (entry == nullptr || entry->kind != FunctionKind::defined)
            raise(Status::unknown_function, "call of unknown function " + request_.entry);
        for (int64_t arg : request_.args)
            args_.push_back(static_cast<uint64_t>(arg));
        ++counts_.calls;
        const uint64_t value = invoke(*entry, 0, nullptr, shared_return_buffer());
        const Shape& shape = entry->result;
        if (shape.cls == Cls::integer) {
            result.exit_value = static_cast<int64_t>(value);
            result.exit_text = shape.is_signed ? std::to_string(static_cast<int64_t>(value))
                                               : std::to_string(value);
        } else if (shape.cls == Cls::floating) {
            result.exit_value = static_cast<int64_t>(
                float_to_integer(as_double(value), Shape{Cls::integer, 64, true, 4}));
            result.exit_text = std::to_string(result.exit_value);
        }
    } catch (const FaultRaised& fault) {
        result.status = fault.status;
        result.fault = fault.what;
        result.function = current_ ? current_->name : request_.entry;
    }
    flush_output();
    result.counts = counts_;
    result.output = std::move(kept_output_);
    return result;
}

} // namespace vx::interp
