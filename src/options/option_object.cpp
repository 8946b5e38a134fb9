#include "options/option_object.h"

#include "options/option_messages.h"
#include "support/diagnostics.h"

#include <algorithm>
#include <cstdarg>

namespace vx::opt {

namespace {

std::string after_last_slash(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool has_numeric_arguments(int kind) {
    return kind == KIND_NUMBER || kind == KIND_HEXNUM || kind == KIND_ENUMERATED ||
           kind == KIND_NUMBER_LIST || kind == KIND_ONEOF_LIST;
}

bool superseded_later(const std::vector<HistoryEntry>& history, std::size_t index) {
    return std::any_of(history.begin() + static_cast<long>(index) + 1, history.end(),
                       [&](const HistoryEntry& later) { return later.id == history[index].id; });
}

} // namespace

OptionObject::OptionObject(std::string_view tool_name) : tool_name_(after_last_slash(tool_name)) {}

int OptionObject::present(long id) const {
    return is_option_id(id) ? entries_[id].presence : 0;
}

const OptionEntry* OptionObject::entry(long id) const {
    return is_option_id(id) ? &entries_[id] : nullptr;
}

int OptionObject::argument_count(long id) const {
    const OptionEntry* state = entry(id);
    return state && state->presence ? static_cast<int>(state->arguments.size()) : 0;
}

long OptionObject::value(long id, long k) const {
    if (k < 0 || k >= argument_count(id))
        return 0;
    return entries_[id].arguments[k].number;
}

const char* OptionObject::string_value(long id, long k) const {
    if (k < 0 || k >= argument_count(id))
        return "";
    return entries_[id].arguments[k].text.c_str();
}

void OptionObject::trace(const char* format, ...) const {
    if (!verbose_)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(trace_stream_ ? trace_stream_ : stdout, format, args);
    va_end(args);
}

void OptionObject::mark_set(OptionId id, int state) {
    OptionEntry& option = entries_[id];
    ++option.presence;
    ++option.state_counter;
    option.state = state;
    trace("%s: Set    option id %s to state %d\n", tool_name_.c_str(), descriptor(id).id_name,
          state);
}

// Single-valued kinds keep only the latest argument; lists collect them.
void OptionObject::store_argument(OptionId id, OptionArgument argument) {
    const OptionDescriptor& option = descriptor(id);
    std::vector<OptionArgument>& arguments = entries_[id].arguments;
    switch (option.kind) {
    case KIND_STRING:
    case KIND_NUMBER:
    case KIND_HEXNUM:
    case KIND_ENUMERATED:
        arguments.clear();
        break;
    case KIND_STRING_LIST:
    case KIND_NUMBER_LIST:
    case KIND_ONEOF_LIST:
        break;
    default:
        VX_RAISE(optgen_unhandled_clause_in_setarg, static_cast<unsigned long>(option.kind));
        return;
    }
    arguments.push_back(std::move(argument));
    const OptionArgument& stored = arguments.back();
    int count = static_cast<int>(arguments.size());
    if (has_numeric_arguments(option.kind))
        trace("%s: Set    option id %s arg to value '%ld' (%d args)", tool_name_.c_str(),
              option.id_name, stored.number, count);
    else
        trace("%s: Set    option id %s arg to value '%s' (%d args)", tool_name_.c_str(),
              option.id_name, stored.text.c_str(), count);
}

void OptionObject::add_to_history(OptionId id, std::string argument) {
    const OptionDescriptor& option = descriptor(id);
    if (option.kind < KIND_NO_ARGS || option.kind > KIND_ONEOF_LIST) {
        VX_RAISE(optgen_unhandled_clause_in_add_hist, static_cast<unsigned long>(option.kind));
        return;
    }
    trace("%s: Add option id %s to history with arg %s\n", tool_name_.c_str(), option.id_name,
          argument.empty() ? "(none)" : argument.c_str());
    history_.push_back({id, std::move(argument)});
}

void OptionObject::note_parsed(OptionId id) {
    ++entries_[id].parse_count;
    trace("%s: Parsed option id %s/%d\n", tool_name_.c_str(), descriptor(id).id_name,
          static_cast<int>(id));
}

void OptionObject::set(OptionId id, int state) {
    mark_set(id, state);
    add_to_history(id, "");
}

void OptionObject::set_number(OptionId id, long value) {
    mark_set(id, 1);
    std::string text = std::to_string(value);
    store_argument(id, {text, value});
    add_to_history(id, text);
}

void OptionObject::set_text(OptionId id, std::string text) {
    mark_set(id, 1);
    store_argument(id, {text, 0});
    add_to_history(id, std::move(text));
}

void OptionObject::clear(OptionId id) {
    const OptionDescriptor& option = descriptor(id);
    if (option.persistent) {
        VX_RAISE(optgen_clear_persistent_ignored, long_name(option));
        return;
    }
    displace(id);
}

// The history forgets a cleared option so that the option lines of a set
// show only what is in force.
void OptionObject::displace(OptionId id) {
    OptionEntry& option = entries_[id];
    option.presence = 0;
    ++option.state_counter;
    option.state = 0;
    option.arguments.clear();
    std::erase_if(history_, [id](const HistoryEntry& entry) { return entry.id == id; });
    trace("%s: Clear  option id %s to state 0\n", tool_name_.c_str(), descriptor(id).id_name);
}

std::vector<std::string> OptionObject::option_lines() const {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < history_.size(); ++i) {
        const OptionDescriptor& option = descriptor(history_[i].id);
        if (!is_list_kind(option.kind) && superseded_later(history_, i))
            continue;
        std::string line = long_name(option);
        if (!history_[i].argument.empty())
            line += "=" + history_[i].argument;
        lines.push_back(std::move(line));
    }
    return lines;
}

void OptionObject::print_arguments(const OptionDescriptor& option, FILE* out) const {
    const std::vector<OptionArgument>& arguments = entries_[option.id].arguments;
    if (arguments.empty()) {
        std::fprintf(out, " <arg not provided>");
        return;
    }
    for (const OptionArgument& argument : arguments) {
        const char* name = nullptr;
        if (option.kind == KIND_ENUMERATED || option.kind == KIND_ONEOF_LIST)
            name = enum_name(option, argument.number);
        if (name)
            std::fprintf(out, " %s", name);
        else if (option.kind == KIND_HEXNUM)
            std::fprintf(out, " 0x%lX", static_cast<unsigned long>(argument.number));
        else if (has_numeric_arguments(option.kind))
            std::fprintf(out, " %ld", argument.number);
        else
            std::fprintf(out, " %s", argument.text.c_str());
    }
}

void OptionObject::print(bool all, FILE* out) const {
    for (int id = 0; id < OPTION_COUNT; ++id) {
        const OptionDescriptor& option = descriptor(static_cast<OptionId>(id));
        const OptionEntry& state = entries_[id];
        if (!all && !state.presence)
            continue;
        std::fprintf(out, "%-25s", long_name(option).c_str());
        if (all)
            std::fprintf(out, " %s %s", state.parse_count ? "SEEN" : "not seen",
                         state.presence ? "ENABLED" : "disabled");
        std::fprintf(out, " %s", kind_text(option.kind));
        if (takes_argument(option.kind))
            print_arguments(option, out);
        std::fprintf(out, "\n");
    }
}

void print_help(const std::string& tool_name) {
    std::printf("Usage: %s [-options] filename\n\n", after_last_slash(tool_name).c_str());
    std::printf("This tool is designed to be invoked by the compiler.\n");
    std::fflush(stdout);
}

} // namespace vx::opt
