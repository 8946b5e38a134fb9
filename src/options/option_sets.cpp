#include "options/option_sets.h"

#include "support/diagnostics.h"
#include "support/message_catalog.h"
#include "support/switches.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace vx::opt {

namespace {

// Level of each value of the level options, by position in their tables.
constexpr std::array<int, 6> optimization_level_by_position{0, 1, 2, 3, 4, 0};
constexpr std::array<int, 6> speed_size_level_by_position{5, 0, 3, 2, 4, 1};

constexpr long known_variants[] = {10, 20, 28, 40};
constexpr const char* known_float_supports[] = {"none", "soft", "fpu32", "fpu64"};

// An enumerated level option mapped through its table position, or
// `absent` when not given or its code is unknown.
int mapped_level(const OptionObject& options, OptionId id, const std::array<int, 6>& levels,
                 int absent) {
    if (!options.present(id))
        return absent;
    int position = enum_position(descriptor(id), options.value(id));
    return position < 0 ? absent : levels[static_cast<std::size_t>(position)];
}

bool level_code_valid(const OptionObject& options, OptionId id) {
    return !options.present(id) || enum_position(descriptor(id), options.value(id)) >= 0;
}

bool levels_valid(const OptionObject& options) {
    bool valid = true;
    if (!level_code_valid(options, OPT_OPTIMIZATION_LEVEL)) {
        std::fprintf(stderr, "--opt_level given invalid value: %ld\n",
                     options.value(OPT_OPTIMIZATION_LEVEL));
        valid = false;
    }
    if (!level_code_valid(options, OPT_SPEED_SIZE_LEVEL)) {
        std::fprintf(stderr, "--size_speed_goal given invalid value:  %ld\n",
                     options.value(OPT_SPEED_SIZE_LEVEL));
        valid = false;
    }
    return valid;
}

std::vector<std::string> split_words(std::string_view text) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        std::size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > start)
            words.emplace_back(text.substr(start, i - start));
    }
    return words;
}

void ensure_file_level_set(OptionRegistry& registry) {
    if (registry.sets.empty())
        registry.sets.push_back({"", registry.command_line});
}

} // namespace

OptionRegistry& option_registry() {
    static OptionRegistry registry;
    return registry;
}

void reset_option_registry(std::string_view tool_name) {
    option_registry() = OptionRegistry{OptionObject(tool_name), {}, 0};
}

ParseResult parse_option_text(OptionObject& options, std::string_view text) {
    std::vector<std::string> words = split_words(text);
    std::size_t next = 0;
    NextArgument next_word = [&]() -> const char* {
        return next < words.size() ? words[next++].c_str() : nullptr;
    };
    while (next < words.size()) {
        const std::string& word = words[next++];
        if (word[0] != '-') {
            VX_RAISE(diag::InvalidOption, word);
            return {false, 0};
        }
        ParseResult result = options.parse(std::string_view(word).substr(1), next_word);
        if (!result)
            return result;
    }
    return {};
}

bool build_option_sets() {
    OptionRegistry& registry = option_registry();
    registry.sets.clear();
    registry.selected = 0;
    ensure_file_level_set(registry);
    return levels_valid(registry.sets[0].options);
}

int add_function_option_set(const std::string& function_name, std::string_view option_text) {
    OptionRegistry& registry = option_registry();
    ensure_file_level_set(registry);
    OptionObject options = registry.sets[0].options;
    options.limit_to_function(function_name);
    if (!parse_option_text(options, option_text) || !levels_valid(options))
        return -1;
    std::size_t index = option_set_index(function_name);
    if (index == 0) {
        index = registry.sets.size();
        registry.sets.push_back({function_name, std::move(options)});
    } else {
        registry.sets[index].options = std::move(options);
    }
    return static_cast<int>(index);
}

std::size_t option_set_index(std::string_view function_name) {
    const std::vector<OptionSet>& sets = option_registry().sets;
    for (std::size_t i = 1; i < sets.size(); ++i)
        if (sets[i].function_name == function_name)
            return i;
    return 0;
}

void select_option_set(std::size_t index) {
    OptionRegistry& registry = option_registry();
    if (index >= std::max<std::size_t>(registry.sets.size(), 1)) {
        VX_RAISE(diag::PointerShouldNotBeNull, "opt");
        return;
    }
    registry.selected = index;
}

std::size_t selected_option_set() {
    return option_registry().selected;
}

const OptionObject& current_options() {
    const OptionRegistry& registry = option_registry();
    if (registry.sets.empty())
        return registry.command_line;
    return registry.sets[registry.selected].options;
}

int optimization_level(const OptionObject& options) {
    return mapped_level(options, OPT_OPTIMIZATION_LEVEL, optimization_level_by_position, 1);
}

int optimization_level() {
    return optimization_level(current_options());
}

int speed_size_level(const OptionObject& options) {
    return mapped_level(options, OPT_SPEED_SIZE_LEVEL, speed_size_level_by_position, 4);
}

int speed_size_level() {
    return speed_size_level(current_options());
}

long inlining_level(const OptionObject& options, bool newinline_disabled) {
    if (options.present(OPT_INLINE_LEVEL))
        return options.value(OPT_INLINE_LEVEL);
    if (newinline_disabled)
        return 1;
    int level = optimization_level(options);
    if (level == 2)
        return 20;
    if (level < 2)
        return 0;
    return DEFAULT_INLINE_THRESHOLD;
}

long inlining_level() {
    return inlining_level(current_options(), sw::disable_newinline.is_set());
}

long inline_depth_limit(const OptionObject& options) {
    return options.present(OPT_INLINE_DEPTH) ? options.value(OPT_INLINE_DEPTH)
                                             : DEFAULT_INLINE_DEPTH;
}

bool simd_option_on(const OptionObject& options) {
    return options.present(OPT_SIMD) && options.value(OPT_SIMD) == SIMD_ON_CODE;
}

void print_option_sets(FILE* out) {
    const std::vector<OptionSet>& sets = option_registry().sets;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        std::fprintf(out, "Option set %d%s:\n", static_cast<int>(i),
                     i == 0 ? " (file-level options)" : "");
        for (const std::string& line : sets[i].options.option_lines())
            std::fprintf(out, "\t%s\n", line.c_str());
    }
}

bool known_target_variant(long variant) {
    return std::find(std::begin(known_variants), std::end(known_variants), variant) !=
           std::end(known_variants);
}

bool known_float_support(std::string_view name) {
    return std::find(std::begin(known_float_supports), std::end(known_float_supports), name) !=
           std::end(known_float_supports);
}

void check_target_options(const OptionObject& options) {
    if (options.present(OPT_TARGET_VARIANT) &&
        !known_target_variant(options.value(OPT_TARGET_VARIANT)))
        std::printf("\n>>>> Warning: unrecognized option: '-v%d'\n\n",
                    static_cast<int>(options.value(OPT_TARGET_VARIANT)));
    if (options.present(OPT_FLOAT_SUPPORT) &&
        !known_float_support(options.string_value(OPT_FLOAT_SUPPORT)))
        std::printf("\n>>>> Warning: unrecognized option:'--float_support=%s'\n\n",
                    options.string_value(OPT_FLOAT_SUPPORT));
}

void apply_switch_lists(const OptionObject& options) {
    static constexpr std::pair<OptionId, sw::Category> lists[] = {
        {OPT_DISABLE_LIST, sw::Category::disable},
        {OPT_ENABLE_LIST, sw::Category::enable},
        {OPT_DEBUG_LIST, sw::Category::debug}};
    for (const auto& [id, category] : lists)
        for (int k = 0; k < options.argument_count(id); ++k)
            sw::add_switches(category, options.string_value(id, k));
}

} // namespace vx::opt
