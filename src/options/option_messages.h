// The messages of the option registry, one class per message.  Option names
// are passed as written by the user ("-oi", "--inline_level").
#pragma once

#include "support/message_catalog.h"

#include <string>

namespace vx::opt {

class optgen_conflict_option
    : public diag::FormattedDiagnostic<optgen_conflict_option, std::string, std::string> {
public:
    optgen_conflict_option(const char* file, unsigned line, std::string option,
                           std::string previous)
        : FormattedDiagnostic(diag::catalog::conflict_option, file, line, std::move(option),
                              std::move(previous)) {}
};

class optgen_conflict_override_option
    : public diag::FormattedDiagnostic<optgen_conflict_override_option, std::string, std::string> {
public:
    optgen_conflict_override_option(const char* file, unsigned line, std::string option,
                                    std::string previous)
        : FormattedDiagnostic(diag::catalog::conflict_override_option, file, line,
                              std::move(option), std::move(previous)) {}
};

class optgen_conflict_quiet_option
    : public diag::FormattedDiagnostic<optgen_conflict_quiet_option, std::string, std::string> {
public:
    optgen_conflict_quiet_option(const char* file, unsigned line, std::string option,
                                 std::string previous)
        : FormattedDiagnostic(diag::catalog::conflict_quiet_option, file, line, std::move(option),
                              std::move(previous)) {}
};

class optgen_missing_parameter
    : public diag::FormattedDiagnostic<optgen_missing_parameter, std::string, std::string> {
public:
    optgen_missing_parameter(const char* file, unsigned line, std::string option,
                             std::string parameter)
        : FormattedDiagnostic(diag::catalog::missing_parameter, file, line, std::move(option),
                              std::move(parameter)) {}
};

class optgen_arg_out_of_range
    : public diag::FormattedDiagnostic<optgen_arg_out_of_range, std::string, std::string> {
public:
    optgen_arg_out_of_range(const char* file, unsigned line, std::string option,
                            std::string argument)
        : FormattedDiagnostic(diag::catalog::arg_out_of_range, file, line, std::move(option),
                              std::move(argument)) {}
};

class optgen_arg_out_of_range_non_neg
    : public diag::FormattedDiagnostic<optgen_arg_out_of_range_non_neg, std::string, std::string> {
public:
    optgen_arg_out_of_range_non_neg(const char* file, unsigned line, std::string option,
                                    std::string argument)
        : FormattedDiagnostic(diag::catalog::arg_out_of_range_non_neg, file, line,
                              std::move(option), std::move(argument)) {}
};

class optgen_arg_out_of_range2
    : public diag::FormattedDiagnostic<optgen_arg_out_of_range2, std::string, std::string,
                                       unsigned long, unsigned long> {
public:
    optgen_arg_out_of_range2(const char* file, unsigned line, std::string option,
                             std::string argument, unsigned long min, unsigned long max)
        : FormattedDiagnostic(diag::catalog::arg_out_of_range2, file, line, std::move(option),
                              std::move(argument), min, max) {}
};

class optgen_bad_argument
    : public diag::FormattedDiagnostic<optgen_bad_argument, std::string, std::string> {
public:
    optgen_bad_argument(const char* file, unsigned line, std::string option, std::string values)
        : FormattedDiagnostic(diag::catalog::bad_argument, file, line, std::move(option),
                              std::move(values)) {}
};

class optgen_case_insensitivity_deprecated
    : public diag::FormattedDiagnostic<optgen_case_insensitivity_deprecated, std::string,
                                       std::string> {
public:
    optgen_case_insensitivity_deprecated(const char* file, unsigned line, std::string written,
                                         std::string proper)
        : FormattedDiagnostic(diag::catalog::case_insensitivity, file, line, std::move(written),
                              std::move(proper)) {}
};

class optgen_invalid_list_handler
    : public diag::FormattedDiagnostic<optgen_invalid_list_handler, unsigned long> {
public:
    optgen_invalid_list_handler(const char* file, unsigned line, unsigned long option_id)
        : FormattedDiagnostic(diag::catalog::invalid_list_handler, file, line, option_id) {}
};

class optgen_unhandled_option_handler
    : public diag::FormattedDiagnostic<optgen_unhandled_option_handler, unsigned long> {
public:
    optgen_unhandled_option_handler(const char* file, unsigned line, unsigned long handler)
        : FormattedDiagnostic(diag::catalog::unhandled_option_handler, file, line, handler) {}
};

class optgen_option_handler_corruption
    : public diag::FormattedDiagnostic<optgen_option_handler_corruption> {
public:
    optgen_option_handler_corruption(const char* file, unsigned line)
        : FormattedDiagnostic(diag::catalog::option_handler_corruption, file, line) {}
};

class optgen_unhandled_clause_in_setarg
    : public diag::FormattedDiagnostic<optgen_unhandled_clause_in_setarg, unsigned long> {
public:
    optgen_unhandled_clause_in_setarg(const char* file, unsigned line, unsigned long kind)
        : FormattedDiagnostic(diag::catalog::unhandled_clause_setarg, file, line, kind) {}
};

class optgen_unhandled_clause_in_add_hist
    : public diag::FormattedDiagnostic<optgen_unhandled_clause_in_add_hist, unsigned long> {
public:
    optgen_unhandled_clause_in_add_hist(const char* file, unsigned line, unsigned long kind)
        : FormattedDiagnostic(diag::catalog::unhandled_clause_history, file, line, kind) {}
};

// Warning: clear() of a persistent option.
class optgen_clear_persistent_ignored
    : public diag::FormattedDiagnostic<optgen_clear_persistent_ignored, std::string> {
public:
    optgen_clear_persistent_ignored(const char* file, unsigned line, std::string option)
        : FormattedDiagnostic(diag::catalog::clear_persistent_ignored, file, line,
                              std::move(option)) {}
};

// Warning: text after an option that takes no argument ("--lir=1").
class optgen_garbage_following_option
    : public diag::FormattedDiagnostic<optgen_garbage_following_option, std::string> {
public:
    optgen_garbage_following_option(const char* file, unsigned line, std::string text)
        : FormattedDiagnostic(diag::catalog::garbage_following_option, file, line,
                              std::move(text)) {}
};

// Warning: a file-wide option in a per-function option set,
// "Option --abi is not valid for function f (ignored)".
class optgen_option_not_valid
    : public diag::FormattedDiagnostic<optgen_option_not_valid, std::string, std::string,
                                       std::string> {
public:
    optgen_option_not_valid(const char* file, unsigned line, std::string option,
                            std::string relation, std::string where)
        : FormattedDiagnostic(diag::catalog::option_not_valid_warning, file, line,
                              std::move(option), std::move(relation), std::move(where)) {}
};

} // namespace vx::opt
