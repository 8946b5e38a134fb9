#include "ir/function_info.h"

#include <array>
#include <utility>

namespace vx::ir {

namespace {

constexpr std::array<std::pair<uint32_t, const char*>, 30> property_names{{
    {FUN_calls_anonymous, "FUN_calls_anonymous"},
    {FUN_cannot_suppress, "FUN_cannot_suppress"},
    {FUN_is_unsuppressed, "FUN_is_unsuppressed"},
    {FUN_never_returns, "FUN_never_returns"},
    {FUN_calls_OUTSIDE, "FUN_calls_OUTSIDE"},
    {FUN_cannot_inline, "FUN_cannot_inline"},
    {FUN_is_suppressed, "FUN_is_suppressed"},
    {FUN_no_global_asg, "FUN_no_global_asg"},
    {FUN_no_global_use, "FUN_no_global_use"},
    {FUN_is_pragma_EXT, "FUN_is_pragma_EXT"},
    {FUN_calls_SYSTEM, "FUN_calls_SYSTEM"},
    {FUN_is_processed, "FUN_is_processed"},
    {FUN_is_anonymous, "FUN_is_anonymous"},
    {FUN_is_interrupt, "FUN_is_interrupt"},
    {FUN_follows_call, "FUN_follows_call"},
    {FUN_value_needed, "FUN_value_needed"},
    {FUN_no_byref_asg, "FUN_no_byref_asg"},
    {FUN_is_pure_fun, "FUN_is_pure_fun"},
    {FUN_cannot_beta, "FUN_cannot_beta"},
    {FUN_no_RPT_loop, "FUN_no_RPT_loop"},
    {FUN_is_inlined, "FUN_is_inlined"},
    {FUN_no_ind_asg, "FUN_no_ind_asg"},
    {FUN_no_ind_use, "FUN_no_ind_use"},
    {FUN_is_cg_root, "FUN_is_cg_root"},
    {FUN_is_called, "FUN_is_called"},
    {FUN_is_extern, "FUN_is_extern"},
    {FUN_is_SYSTEM, "FUN_is_SYSTEM"},
    {FUN_has_1_BB, "FUN_has_1_BB"},
    {FUN_is_main, "FUN_is_main"},
    {FUN_is_cpp, "FUN_is_cpp"},
}};

} // namespace

const char* function_property_name(uint32_t bit) {
    for (const auto& [value, name] : property_names)
        if (value == bit)
            return name;
    return nullptr;
}

void print_function_properties(FILE* out, uint32_t properties) {
    for (const auto& [value, name] : property_names)
        if (properties & value)
            std::fprintf(out, "\t%s\n", name);
}

bool FUNINFO::unsuppress() {
    const bool was_suppressed = is_suppressed();
    clear(FUN_is_suppressed);
    set(FUN_cannot_suppress);
    return was_suppressed;
}

void FUNINFO::reset_locals() {
    local_table.clear();
    for (SymbolList& symbols : lists)
        symbols.clear();
    declaration_count = 0;
    copy_count = 0;
}

void FUNINFO::release_function_data() {
    reset_locals();
    local_table.shrink_to_fit();
    arena.release();
}

} // namespace vx::ir
