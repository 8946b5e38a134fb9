#include "progen/generator.h"

#include "progen/function_builder.h"
#include "progen/program.h"
#include "progen/tree_text.h"

#include <algorithm>

namespace vx::progen {

namespace {

// The budget bounds the tree nodes a run evaluates, counting every arm of
// every branch and every loop at its largest trip count; runs do a
// fiftieth to a fifth of it.
constexpr SizeLimits kSmall{3, 5, 100000, 10, 100, 1, 4, 25, 3, 3, 6};
constexpr SizeLimits kMedium{5, 8, 16000000, 20, 4000, 1, 5, 50, 4, 4, 8};
constexpr SizeLimits kLarge{6, 10, 60000000, 32, 50000, 1, 6, 80, 5, 5, 10};

Scalar random_scalar(Random& random) {
    return kAllScalars[random.below(6)];
}

int64_t random_value(Random& random, Scalar s) {
    switch (random.below(4)) {
    case 0:
        return random.range(-3, 3);
    case 1:
        return random.range(-1000, 1000);
    default:
        return wrap_to(s, static_cast<int64_t>(random.next()));
    }
}

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out;
}

class ProgramWriter {
public:
    explicit ProgramWriter(const GeneratorOptions& options) : state_(options) {}
    std::string write();

private:
    void declare_printf();
    ProgramState::Format add_format(const std::string& text);
    void add_records();
    void add_globals();
    void add_global(std::unique_ptr<Var> var, int size_bits, int align_bits,
                    std::vector<std::string> values);
    void add_signatures();
    Param random_param();
    std::string assemble_text(const Function& checksum, const Function& main) const;

    ProgramState state_;
};

void ProgramWriter::declare_printf() {
    state_.printf_type = state_.types.function_type(2, {{kCharPointerType, "format"}});
    state_.printf_pointer_type = state_.types.pointer_to(state_.printf_type);
    state_.printf_symbol = state_.add_global_symbol(
        "sym \"printf\" class=5 type=" + std::to_string(state_.printf_type) + " align=16");
}

ProgramState::Format ProgramWriter::add_format(const std::string& text) {
    const int length = static_cast<int>(text.size()) + 1;
    const int type = state_.types.char_array(length);
    const int symbol =
        state_.add_global_symbol("sym \"fmt" + std::to_string(state_.symbol_lines.size()) +
                                 "\" size=" + std::to_string(16 * length) +
                                 " class=3 type=" + std::to_string(type) + " align=16");
    state_.init_lines.push_back("init " + std::to_string(symbol));
    state_.init_lines.push_back("  (SCON:" + std::to_string(type) + " \"" + escape(text) +
                                "\\0\")");
    state_.init_lines.push_back("  (ENDINIT)");
    return {symbol, type};
}

void ProgramWriter::add_records() {
    const int count = state_.random.range(1, 3);
    for (int r = 0; r < count; ++r) {
        std::vector<Scalar> fields;
        const int n = state_.random.range(2, 5);
        for (int i = 0; i < n; ++i)
            fields.push_back(random_scalar(state_.random));
        state_.types.add_record(fields);
    }
}

void ProgramWriter::add_global(std::unique_ptr<Var> var, int size_bits, int align_bits,
                               std::vector<std::string> values) {
    var->initialized = true;
    var->index = state_.add_global_symbol(
        "sym \"" + var->name + "\" size=" + std::to_string(size_bits) +
        " class=2 type=" + std::to_string(var->type) + " align=" + std::to_string(align_bits));
    state_.init_lines.push_back("init " + std::to_string(var->index) + "    ; " + var->name);
    for (const std::string& value : values)
        state_.init_lines.push_back("  " + value);
    state_.init_lines.push_back("  (ENDINIT)");
    state_.globals.push_back(std::move(var));
}

// Globals of every shape, each with a full initializer: scalars, arrays,
// structures and arrays of structures.
void ProgramWriter::add_globals() {
    static const int kLengths[] = {2, 4, 5, 8, 16, 32};
    Random& random = state_.random;
    const int count = random.range(state_.limits.globals_min, state_.limits.globals_max);
    const auto& records = state_.types.records();
    for (int g = 0; g < count; ++g) {
        auto var = std::make_unique<Var>();
        var->name = "g" + std::to_string(g);
        const int roll = random.range(0, 99);
        if (roll < 45 || (roll >= 75 && records.empty())) {
            var->scalar = random_scalar(random);
            var->type = type_no(var->scalar);
            const Scalar s = var->scalar;
            add_global(std::move(var), bits(s), std::min(bits(s), 32),
                       {tree::constant(s, random_value(random, s))});
        } else if (roll < 75) {
            var->shape = Shape::array;
            var->scalar = random_scalar(random);
            var->length = kLengths[random.below(std::size(kLengths))];
            var->type = state_.types.array_of(var->scalar, var->length);
            std::vector<std::string> values;
            for (int i = 0; i < var->length; ++i)
                values.push_back(tree::constant(var->scalar, random_value(random, var->scalar)));
            const Scalar s = var->scalar;
            const int size = bits(s) * var->length;
            add_global(std::move(var), size, std::min(bits(s), 32), values);
        } else {
            var->record = static_cast<int>(random.below(static_cast<uint32_t>(records.size())));
            const RecordType& record = records[static_cast<size_t>(var->record)];
            const bool many = random.chance(50);
            var->shape = many ? Shape::record_array : Shape::record;
            var->length = many ? random.range(2, 5) : 1;
            var->type = many ? state_.types.record_array(record, var->length) : record.type_no;
            std::vector<std::string> values;
            for (int i = 0; i < var->length; ++i)
                for (const auto& field : record.fields)
                    values.push_back(
                        tree::constant(field.scalar, random_value(random, field.scalar)));
            const int size = record.size_bits * var->length;
            if (!many)
                var->length = 0;
            add_global(std::move(var), size, record.align_bits, values);
        }
    }
}

// A pointer parameter reaches as many elements as some global array of its
// type has, so main can always pass one.
Param ProgramWriter::random_param() {
    Random& random = state_.random;
    Param param;
    std::vector<const Var*> targets;
    for (const auto& g : state_.globals)
        if (g->shape != Shape::scalar)
            targets.push_back(g.get());
    if (targets.empty() || random.chance(65)) {
        param.scalar = random_scalar(random);
        param.type = type_no(param.scalar);
        return param;
    }
    const Var* target = random.pick(targets);
    param.shape = Shape::pointer;
    if (target->shape == Shape::array) {
        param.scalar = target->scalar;
        param.length = random.chance(50) ? target->length : std::max(1, target->length / 2);
        param.type = pointer_type_no(param.scalar);
    } else {
        param.record = target->record;
        param.type = state_.types.records()[static_cast<size_t>(target->record)].pointer_type_no;
    }
    return param;
}

void ProgramWriter::add_signatures() {
    Random& random = state_.random;
    const int count = random.range(state_.limits.functions_min, state_.limits.functions_max);
    for (int j = 0; j < count; ++j) {
        Function f;
        f.name = "f" + std::to_string(j);
        f.returns_void = random.chance(15);
        f.result = random_scalar(random);
        f.recursive = !f.returns_void && random.chance(20);
        f.pure = f.recursive || random.chance(45);
        f.max_depth = random.range(2, 3 + 3 * static_cast<int>(state_.options.size));
        if (f.recursive)
            f.params.push_back(Param{Shape::scalar, Scalar::i16, 0, -1, type_no(Scalar::i16)});
        const int extra = random.range(0, 3);
        for (int k = 0; k < extra; ++k)
            f.params.push_back(random_param());
        std::vector<std::pair<int, std::string>> params;
        for (size_t k = 0; k < f.params.size(); ++k)
            params.push_back({f.params[k].type, "p" + std::to_string(k)});
        f.type = state_.types.function_type(f.returns_void ? kVoidType : type_no(f.result), params);
        f.pointer_type = state_.types.pointer_to(f.type);
        f.symbol = state_.add_global_symbol(
            "sym \"" + f.name + "\" class=2 type=" + std::to_string(f.type) + " align=16");
        state_.functions.push_back(std::move(f));
    }
}

std::string ProgramWriter::write() {
    Random& random = state_.random;
    declare_printf();
    state_.value_format = add_format("f%d: %ld\n");
    state_.void_format = add_format("f%d: done\n");
    state_.checksum_format = add_format("checksum: %lu\n");
    add_records();
    add_globals();

    Function checksum;
    checksum.type = state_.types.function_type(type_no(Scalar::u32), {});
    checksum.pointer_type = state_.types.pointer_to(checksum.type);
    checksum.symbol = state_.add_global_symbol(
        "sym \"checksum\" class=2 type=" + std::to_string(checksum.type) + " align=16");
    add_signatures();
    const int main_type = state_.types.function_type(type_no(Scalar::i16), {});
    const int main_symbol = state_.add_global_symbol(
        "sym \"main\" class=2 type=" + std::to_string(main_type) + " align=16");

    // Callees first: function j calls only functions above j.
    for (size_t j = state_.functions.size(); j-- > 0;) {
        const uint64_t share = static_cast<uint64_t>(random.range(5, 30));
        FunctionBuilder(state_, static_cast<int>(j), state_.limits.budget * share / 100).build();
    }
    Function built_checksum = FunctionBuilder::build_checksum(state_, checksum.symbol);
    built_checksum.type = checksum.type;
    built_checksum.pointer_type = checksum.pointer_type;
    const Function main = FunctionBuilder::build_main(state_, main_symbol, built_checksum);
    return assemble_text(built_checksum, main);
}

std::string ProgramWriter::assemble_text(const Function& checksum, const Function& main) const {
    const GeneratorOptions& options = state_.options;
    std::string out = "; ictool gen --seed " + std::to_string(options.seed) + " --size " +
                      program_size_name(options.size) + "\n";
    out += "icode -73 600 \"progen.c\"\nsection main\n";
    for (const Function& f : state_.functions)
        out += f.text;
    out += checksum.text;
    out += main.text;
    out += "\nsection init\n";
    for (const std::string& line : state_.init_lines)
        out += line + "\n";
    out += "\n" + state_.types.section_text();
    out += "\nsection files\nfile \"progen.c\"\n\nsection symbols\n";
    for (const std::string& line : state_.symbol_lines)
        out += line + "\n";
    return out;
}

} // namespace

const SizeLimits& limits_for(ProgramSize size) {
    switch (size) {
    case ProgramSize::small:
        return kSmall;
    case ProgramSize::medium:
        return kMedium;
    case ProgramSize::large:
        return kLarge;
    }
    return kSmall;
}

ProgramState::ProgramState(const GeneratorOptions& opts)
    : options(opts), limits(limits_for(opts.size)), random(opts.seed) {}

int ProgramState::add_global_symbol(const std::string& line) {
    symbol_lines.push_back(line);
    return static_cast<int>(symbol_lines.size()) - 1;
}

std::optional<ProgramSize> parse_program_size(std::string_view text) {
    if (text == "small")
        return ProgramSize::small;
    if (text == "medium")
        return ProgramSize::medium;
    if (text == "large")
        return ProgramSize::large;
    return std::nullopt;
}

const char* program_size_name(ProgramSize size) {
    switch (size) {
    case ProgramSize::small:
        return "small";
    case ProgramSize::medium:
        return "medium";
    case ProgramSize::large:
        return "large";
    }
    return "small";
}

std::string generate_program_text(const GeneratorOptions& options) {
    return ProgramWriter(options).write();
}

} // namespace vx::progen
