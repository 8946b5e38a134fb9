#include "ir/symbol_names.h"

#include "ir/symbol_table.h"
#include "options/option_sets.h"
#include "options/option_table.h"

#include <algorithm>
#include <cstdio>

namespace vx::ir {

namespace {

constexpr long ABI_EABI = 1;
// Generated names stay within what the code generator's tables hold.
constexpr std::size_t MAX_GENERATED_NAME = 32;
constexpr int MAX_COPIED_PART = 30;
constexpr std::string_view EXPLODED_PREFIX = "$O$CSU$";

int precision(std::string_view text, std::size_t limit) {
    return static_cast<int>(std::min(text.size(), limit));
}

std::string formatted_copy_name(std::string_view original, int number) {
    char buffer[96];
    if (original.starts_with(GENERATED_PREFIX))
        std::snprintf(buffer, sizeof buffer, "%.*s$%03d", precision(original, MAX_GENERATED_NAME),
                      original.data(), number);
    else
        std::snprintf(buffer, sizeof buffer, "%s$N%03d$%.*s", GENERATED_PREFIX.data(), number,
                      precision(original, MAX_COPIED_PART), original.data());
    return buffer;
}

} // namespace

bool link_names_unchanged() {
    const opt::OptionObject& options = opt::current_options();
    return options.present(opt::OPT_ABI) && options.value(opt::OPT_ABI) == ABI_EABI;
}

std::string_view lookup_name(std::string_view link_name) {
    if (!link_names_unchanged() && (link_name.starts_with('_') || link_name.starts_with('.')))
        link_name.remove_prefix(1);
    return link_name;
}

std::string copy_name(std::string_view original, int number, bool distinct) {
    if (!distinct)
        return std::string(original);
    std::string name = formatted_copy_name(original, number);
    if (name.size() > MAX_GENERATED_NAME) {
        name.resize(MAX_GENERATED_NAME - 1);
        name += '$';
    }
    return name;
}

bool copies_get_distinct_names() {
    return debug_name_symbols.is_set() && symbol_state().trace_level > 1;
}

std::string exploded_field_name(std::string_view aggregate, std::string_view field) {
    if (aggregate.starts_with(EXPLODED_PREFIX))
        aggregate.remove_prefix(EXPLODED_PREFIX.size());
    std::string name(EXPLODED_PREFIX);
    name += lookup_name(aggregate);
    name += '$';
    name += lookup_name(field);
    return name;
}

} // namespace vx::ir
