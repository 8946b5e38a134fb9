// The option-text parser behind OptionObject::parse.
#include "options/option_messages.h"
#include "options/option_numbers.h"
#include "options/option_object.h"
#include "support/diagnostics.h"
#include "support/message_catalog.h"
#include "support/termination.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace vx::opt {

class OptionParser {
public:
    OptionParser(OptionObject& object, std::string_view text, const NextArgument& next_argument)
        : object_(object), text_(text), next_argument_(next_argument) {}

    ParseResult run();

private:
    // Thrown after an error has been reported; unwinds to run(), which
    // restores the state saved there.
    struct Rejected {};

    enum Handler : unsigned long {
        HANDLER_NONE,
        HANDLER_CLEAR,  // "#"
        HANDLER_LONG,   // "-"
        HANDLER_HELP,   // "?"
        HANDLER_LETTER, // a short option
    };

    static Handler handler_for(char c);
    void parse_one();
    void parse_long();
    void parse_short();
    void parse_help();
    void parse_clear();
    [[noreturn]] void invalid_option();
    void ignore_garbage_after_option();

    std::string take_argument(const OptionDescriptor& option, const std::string& name);
    void apply(const OptionDescriptor& option, const std::string& name,
               const std::string& argument_text);
    std::vector<OptionArgument> convert_arguments(const OptionDescriptor& option,
                                                  const std::string& name, const std::string& text);
    std::vector<OptionArgument> convert_list(const OptionDescriptor& option,
                                             const std::string& name, const std::string& text);
    long checked_signed(const OptionDescriptor& option, const std::string& name,
                        const std::string& text);
    unsigned long checked_unsigned(const OptionDescriptor& option, const std::string& name,
                                   const std::string& text);
    [[noreturn]] void reject_out_of_range(const std::string& name, const std::string& text,
                                          bool type_bounds, unsigned long min, unsigned long max);
    long enumeration_code(const OptionDescriptor& option, const std::string& name,
                          const std::string& text);
    void resolve_rivals(const OptionDescriptor& option, const std::string& name);
    void apply_side_effects(OptionId id);

    OptionObject& object_;
    std::string_view text_;
    const NextArgument& next_argument_;
    std::size_t pos_ = 0;
    std::size_t option_start_ = 0;
};

ParseResult OptionParser::run() {
    OptionObject saved = object_;
    try {
        if (text_.empty())
            invalid_option();
        while (pos_ < text_.size()) {
            parse_one();
            // A handler that consumed nothing would parse the same text forever.
            if (pos_ <= option_start_) {
                VX_RAISE(optgen_option_handler_corruption);
                throw Rejected{};
            }
        }
        return {};
    } catch (const Rejected&) {
        object_ = saved;
        return {false, option_start_};
    }
}

OptionParser::Handler OptionParser::handler_for(char c) {
    if (c == '#')
        return HANDLER_CLEAR;
    if (c == '-')
        return HANDLER_LONG;
    if (c == '?')
        return HANDLER_HELP;
    if (std::isalpha(static_cast<unsigned char>(c)))
        return HANDLER_LETTER;
    return HANDLER_NONE;
}

void OptionParser::parse_one() {
    option_start_ = pos_;
    Handler handler = handler_for(text_[pos_]);
    switch (handler) {
    case HANDLER_NONE:
        invalid_option();
    case HANDLER_CLEAR:
        return parse_clear();
    case HANDLER_LONG:
        return parse_long();
    case HANDLER_HELP:
        return parse_help();
    case HANDLER_LETTER:
        return parse_short();
    }
    VX_RAISE(optgen_unhandled_option_handler, static_cast<unsigned long>(handler));
    throw Rejected{};
}

void OptionParser::invalid_option() {
    VX_RAISE(diag::InvalidOption, "-" + std::string(text_.substr(option_start_)));
    throw Rejected{}; // the message is fatal unless counting is suspended
}

// Text after an option without argument ("--lir=1") is dropped with a warning.
void OptionParser::ignore_garbage_after_option() {
    if (pos_ < text_.size())
        VX_RAISE(optgen_garbage_following_option, std::string(text_));
    pos_ = text_.size();
}

// "--name", "--name=value" or "--name" followed by the value argument.
void OptionParser::parse_long() {
    ++pos_;
    std::string_view rest = text_.substr(pos_);
    std::string_view name = rest.substr(0, rest.find('='));
    const OptionDescriptor* option = find_long_option(name);
    if (!option)
        invalid_option();
    pos_ += name.size();
    std::string written = written_name(*option, false);
    if (option->id == OPT_HELP && pos_ < text_.size())
        invalid_option();
    if (!takes_argument(option->kind)) {
        ignore_garbage_after_option();
        return apply(*option, written, "");
    }
    apply(*option, written, take_argument(*option, written));
}

// A short option; one without argument lets the next one follow directly.
void OptionParser::parse_short() {
    const OptionDescriptor* option = find_short_option(text_.substr(pos_));
    if (!option)
        invalid_option();
    std::size_t length = std::strlen(option->short_spelling);
    std::string written(text_.substr(pos_, length));
    std::string proper = written_name(*option, true);
    if (written != option->short_spelling)
        VX_RAISE(optgen_case_insensitivity_deprecated, "-" + written, proper);
    pos_ += length;
    if (takes_argument(option->kind))
        return apply(*option, proper, take_argument(*option, proper));
    if (pos_ < text_.size() && text_[pos_] == '=')
        ignore_garbage_after_option();
    apply(*option, proper, "");
}

void OptionParser::parse_help() {
    if (pos_ + 1 < text_.size())
        invalid_option();
    pos_ = text_.size();
    apply(descriptor(OPT_HELP), "-?", "");
}

// "#" followed by an option as written after its dash: "#-lir", "#oi".
void OptionParser::parse_clear() {
    ++pos_;
    std::string_view rest = text_.substr(pos_);
    const OptionDescriptor* option = nullptr;
    std::size_t length = 0;
    if (!rest.empty() && rest[0] == '-') {
        std::string_view name = rest.substr(1);
        name = name.substr(0, name.find('='));
        option = find_long_option(name);
        length = name.size() + 1;
    } else if (!rest.empty()) {
        option = find_short_option(rest);
        length = option ? std::strlen(option->short_spelling) : 0;
    }
    if (!option)
        invalid_option();
    pos_ += length;
    ignore_garbage_after_option();
    object_.clear(option->id);
}

std::string OptionParser::take_argument(const OptionDescriptor& option, const std::string& name) {
    std::string_view rest = text_.substr(pos_);
    if (!rest.empty() && rest[0] == '=')
        rest.remove_prefix(1);
    pos_ = text_.size();
    if (!rest.empty())
        return std::string(rest);
    const char* next = next_argument_ ? next_argument_() : nullptr;
    if (!next) {
        VX_RAISE(optgen_missing_parameter, name, option.parameter_name);
        throw Rejected{};
    }
    return next;
}

void OptionParser::apply(const OptionDescriptor& option, const std::string& name,
                         const std::string& argument_text) {
    if (option.persistent && !object_.function_name().empty()) {
        VX_RAISE(optgen_option_not_valid, name, "for function", object_.function_name());
        return;
    }
    std::vector<OptionArgument> arguments = convert_arguments(option, name, argument_text);
    resolve_rivals(option, name);
    object_.mark_set(option.id, 1);
    for (OptionArgument& argument : arguments)
        object_.store_argument(option.id, std::move(argument));
    object_.add_to_history(option.id, argument_text);
    object_.note_parsed(option.id);
    apply_side_effects(option.id);
}

std::vector<OptionArgument> OptionParser::convert_arguments(const OptionDescriptor& option,
                                                            const std::string& name,
                                                            const std::string& text) {
    switch (option.kind) {
    case KIND_NO_ARGS:
        return {};
    case KIND_STRING:
    case KIND_STRING_LIST: // one text per occurrence; its reader splits it
        return {{text, 0}};
    case KIND_NUMBER:
        return {{text, checked_signed(option, name, text)}};
    case KIND_HEXNUM:
        return {{text, static_cast<long>(checked_unsigned(option, name, text))}};
    case KIND_ENUMERATED:
        return {{text, enumeration_code(option, name, text)}};
    case KIND_NUMBER_LIST:
    case KIND_ONEOF_LIST:
        return convert_list(option, name, text);
    }
    VX_RAISE(optgen_unhandled_clause_in_setarg, static_cast<unsigned long>(option.kind));
    throw Rejected{};
}

// Number and one-of lists are checked element by element.
std::vector<OptionArgument> OptionParser::convert_list(const OptionDescriptor& option,
                                                       const std::string& name,
                                                       const std::string& text) {
    if (option.kind != KIND_NUMBER_LIST && option.kind != KIND_ONEOF_LIST) {
        VX_RAISE(optgen_invalid_list_handler, static_cast<unsigned long>(option.id));
        throw Rejected{};
    }
    std::vector<OptionArgument> elements;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = std::min(text.find(',', start), text.size());
        std::string element = text.substr(start, comma - start);
        long number = option.kind == KIND_NUMBER_LIST ? checked_signed(option, name, element)
                                                      : enumeration_code(option, name, element);
        elements.push_back({element, number});
        start = comma + 1;
    }
    return elements;
}

long OptionParser::checked_signed(const OptionDescriptor& option, const std::string& name,
                                  const std::string& text) {
    NumberText number = classify_number(text);
    object_.trace("%s: about to parse '%s' as signed, radix %d\n", object_.tool_name().c_str(),
                  number.digits.c_str(), number.radix);
    SignedNumber result = convert_signed(number);
    if (result.status == NumberStatus::ok)
        object_.trace("%s: check %ld <= %ld <= %ld\n", object_.tool_name().c_str(), option.min,
                      result.value, option.max);
    if (result.status != NumberStatus::ok || result.value < option.min || result.value > option.max)
        reject_out_of_range(name, text, option.min == 0 && option.max == LONG_MAX,
                            static_cast<unsigned long>(option.min),
                            static_cast<unsigned long>(option.max));
    return result.value;
}

unsigned long OptionParser::checked_unsigned(const OptionDescriptor& option,
                                             const std::string& name, const std::string& text) {
    unsigned long min = static_cast<unsigned long>(option.min);
    unsigned long max = static_cast<unsigned long>(option.max);
    NumberText number = classify_number(text);
    object_.trace("%s: about to parse '%s' as unsigned, radix %d\n", object_.tool_name().c_str(),
                  number.digits.c_str(), number.radix);
    UnsignedNumber result = convert_unsigned(number);
    if (result.status == NumberStatus::ok)
        object_.trace("%s: check 0x%lX <= 0x%lX <= 0x%lX\n", object_.tool_name().c_str(), min,
                      result.value, max);
    if (result.status != NumberStatus::ok || result.value < min || result.value > max)
        reject_out_of_range(name, text, min == 0 && max == ULONG_MAX, min, max);
    return result.value;
}

// With the widest bounds the user is told what is wrong in words; narrower
// bounds are spelled out.
void OptionParser::reject_out_of_range(const std::string& name, const std::string& text,
                                       bool type_bounds, unsigned long min, unsigned long max) {
    if (!type_bounds)
        VX_RAISE(optgen_arg_out_of_range2, name, text, min, max);
    else if (text.find('-') != std::string::npos)
        VX_RAISE(optgen_arg_out_of_range_non_neg, name, text);
    else
        VX_RAISE(optgen_arg_out_of_range, name, text);
    throw Rejected{};
}

long OptionParser::enumeration_code(const OptionDescriptor& option, const std::string& name,
                                    const std::string& text) {
    const EnumValue* value = find_enum_value(option, text);
    if (!value) {
        VX_RAISE(optgen_bad_argument, name, enum_value_list(option));
        throw Rejected{};
    }
    if (value->deprecated())
        std::fprintf(stderr,
                     "WARNING: argument '%s' to option '%s' is deprecated and will be removed "
                     "in a future release\n",
                     text.c_str(), name.c_str());
    return value->code;
}

void OptionParser::resolve_rivals(const OptionDescriptor& option, const std::string& name) {
    for (const OptionRivalry& pair : option_rivalries()) {
        OptionId rival = pair.first == option.id    ? pair.second
                         : pair.second == option.id ? pair.first
                                                    : option.id;
        if (rival == option.id || !object_.present(rival))
            continue;
        std::string previous = long_name(descriptor(rival));
        switch (pair.kind) {
        case Rivalry::conflicts:
            VX_RAISE(optgen_conflict_option, name, previous);
            throw Rejected{};
        case Rivalry::overrides:
            VX_RAISE(optgen_conflict_override_option, name, previous);
            break;
        case Rivalry::clears:
            VX_RAISE(optgen_conflict_quiet_option, name, previous);
            break;
        }
        object_.displace(rival);
    }
}

// Options that act on the registry or on the diagnostics take effect at
// once, so that the messages of the rest of the command line follow them;
// help ends the run.
void OptionParser::apply_side_effects(OptionId id) {
    diag::Settings& settings = diag::settings();
    switch (id) {
    case OPT_HELP:
        print_help(object_.tool_name());
        stop_run(0);
    case OPT_OPTIONS_VERBOSE:
        object_.set_verbose(true);
        break;
    case OPT_DIAG_NUMBERS:
        settings.show_numbers = true;
        break;
    case OPT_DIAG_RAISE_PLACE:
        settings.show_raise_place = true;
        break;
    case OPT_DIAG_SOURCE_LINE:
        settings.show_source_line = true;
        break;
    case OPT_DIAG_REMARKS:
        settings.show_remarks = true;
        break;
    case OPT_DIAG_ADVICE:
        settings.show_advice = true;
        break;
    case OPT_NO_WARNINGS:
        settings.show_warnings = false;
        break;
    case OPT_NO_DIAG_WRAP:
        settings.wrap = false;
        break;
    case OPT_ERROR_LIMIT:
        settings.error_limit = static_cast<unsigned long>(object_.value(OPT_ERROR_LIMIT));
        break;
    default:
        break;
    }
}

ParseResult OptionObject::parse(std::string_view text, const NextArgument& next_argument) {
    return OptionParser(*this, text, next_argument).run();
}

} // namespace vx::opt
