// Writes the text of one function: its declarations, its statements and
// the bookkeeping that keeps them well defined (which variables hold a
// value, which may be written, how far indices reach) and cheap to run
// (the cost of every statement times the trips of the loops around it).
// Internal to src/progen.
#pragma once

#include "progen/program.h"

#include <optional>
#include <string>
#include <vector>

namespace vx::progen {

class FunctionBuilder {
public:
    // `function` is an index into program.functions; its callees (higher
    // indices) must be built already.
    FunctionBuilder(ProgramState& program, int function, uint64_t budget);
    // The fixed functions: the checksum of every global and main.
    static Function build_checksum(ProgramState& program, int symbol);
    static Function build_main(ProgramState& program, int symbol, const Function& checksum);

    void build();

private:
    struct Lvalue {
        std::string text;
        Scalar type;
        const Var* base;
    };
    struct LoopLabels {
        int continue_label;
        int break_label;
    };
    enum class Access { read, write };

    FunctionBuilder(ProgramState& program, Function& function, uint64_t budget);

    // Text and cost.
    void line(const std::string& text);
    void statement_line(const std::string& tree);
    void label_line(int label);
    int new_label() { return next_label_++; }
    bool out_of_room() const;

    // Declarations and scopes.
    Var* declare(std::unique_ptr<Var> var, int size_bits, int align_bits);
    Var* declare_scalar(Scalar s, const std::string& prefix);
    void declare_parameters();
    void declare_block_locals();
    void initialize_block_locals(size_t first);
    void initialize(Var& var);
    void fill_array(Var& var);
    void fill_record_array(Var& var);
    Var* free_counter();
    void open_scope();
    void close_scope();

    // Statements.
    void block_body(int count);
    void statement();
    void assignment();
    void compound_assignment();
    void increment();
    void if_statement();
    void loop();
    void switch_statement();
    void nested_block();
    void call_statement();
    void comma_statement();
    void pointer_walk();
    void loop_exit();
    void early_return();
    void final_return();
    void counted_loop(Var& counter, int trips, int shape);

    // Expressions.
    std::string expr(Scalar want, int depth);
    std::string pure_expr(Scalar want, int depth);
    std::string leaf(Scalar want);
    std::string random_constant(Scalar s);
    std::string condition(int depth);
    std::string comparison(Scalar want, int depth);
    std::string guarded_divisor(Scalar s, int depth);
    std::string shift_count(Scalar s, int depth);
    std::string index(int length, int scale);
    std::string scratch_effect(Scalar want, int depth);
    std::optional<Lvalue> lvalue(Access access);
    std::optional<Lvalue> lvalue_of(const Var& var, Access access);
    std::optional<std::string> pure_call(Scalar want, int depth);
    std::optional<std::string> self_call(Scalar want, int depth);
    std::optional<std::string> call_text(const Function& callee, int depth, bool recursion);
    std::optional<std::string> pointer_argument(const Param& param);
    bool readable(const Var& var) const;
    bool writable(const Var& var) const;
    std::vector<const Var*> all_vars() const;
    std::optional<int> pick_callee(bool pure_only, bool need_value);

    ProgramState& program_;
    Function& function_;
    Random& random_;
    const SizeLimits& limits_;
    int function_index_ = -1;
    uint64_t budget_;
    uint64_t cost_ = 0;
    uint64_t multiplier_ = 1;
    uint64_t pending_call_cost_ = 0;
    int statements_left_ = 0;
    int construct_depth_ = 0;
    int level_ = 1;
    int next_local_ = 0;
    int next_label_ = 1;
    int indent_ = 1;
    std::string body_;
    std::vector<std::unique_ptr<Var>> locals_;
    std::vector<Var*> visible_;
    std::vector<size_t> scope_marks_;
    std::vector<LoopLabels> loops_;
    std::vector<Var*> walking_;
    Var* scratch_ = nullptr;
    bool scratch_used_ = true;
    bool no_effects_ = false;
    bool self_call_done_ = false;
};

} // namespace vx::progen
