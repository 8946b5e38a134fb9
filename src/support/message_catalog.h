// The rows of the message catalog that this program raises, and the message
// classes of the general (non-option) messages.  The option messages have
// their classes beside the option registry.
#pragma once

#include "support/diagnostics.h"

namespace vx::diag {

namespace catalog {
extern const MessageDescriptor pointer_should_not_be_null; // 6000
extern const MessageDescriptor cannot_open_file_reason;    // 6001
extern const MessageDescriptor option_conflicts_previous;  // 6002
extern const MessageDescriptor invalid_parameter;          // 6003
extern const MessageDescriptor cannot_open_file;           // 6004
extern const MessageDescriptor invalid_option;             // 6006
extern const MessageDescriptor pointer_should_be_null;     // 6007
extern const MessageDescriptor option_is_invalid;          // 24000
extern const MessageDescriptor out_of_memory;              // 24001
extern const MessageDescriptor conflict_option;            // 24002
extern const MessageDescriptor conflict_override_option;   // 24003
extern const MessageDescriptor conflict_quiet_option;      // 24004
extern const MessageDescriptor bad_parm_type;              // 24005
extern const MessageDescriptor clear_persistent_ignored;   // 24006
extern const MessageDescriptor unhandled_clause_setarg;    // 24007
extern const MessageDescriptor unhandled_option_handler;   // 24008
extern const MessageDescriptor invalid_list_handler;       // 24009
extern const MessageDescriptor missing_parameter;          // 24010
extern const MessageDescriptor arg_out_of_range;           // 24011
extern const MessageDescriptor arg_out_of_range_non_neg;   // 24012
extern const MessageDescriptor arg_out_of_range2;          // 24013
extern const MessageDescriptor option_handler_corruption;  // 24014
extern const MessageDescriptor bad_argument;               // 24015
extern const MessageDescriptor case_insensitivity;         // 24016
extern const MessageDescriptor option_not_valid_warning;   // 24017
extern const MessageDescriptor option_not_valid_error;     // 24018
extern const MessageDescriptor garbage_following_option;   // 24019
extern const MessageDescriptor unhandled_clause_history;   // 24031
extern const MessageDescriptor error_limit_reached;        // 99900
} // namespace catalog

// General messages.
class PointerShouldNotBeNull : public FormattedDiagnostic<PointerShouldNotBeNull, std::string> {
public:
    PointerShouldNotBeNull(const char* file, unsigned line, std::string pointer)
        : FormattedDiagnostic(catalog::pointer_should_not_be_null, file, line, std::move(pointer)) {
    }
};

class PointerShouldBeNull : public FormattedDiagnostic<PointerShouldBeNull, std::string> {
public:
    PointerShouldBeNull(const char* file, unsigned line, std::string pointer)
        : FormattedDiagnostic(catalog::pointer_should_be_null, file, line, std::move(pointer)) {}
};

class CannotOpenFileReason
    : public FormattedDiagnostic<CannotOpenFileReason, std::string, std::string> {
public:
    CannotOpenFileReason(const char* file, unsigned line, std::string name, std::string reason)
        : FormattedDiagnostic(catalog::cannot_open_file_reason, file, line, std::move(name),
                              std::move(reason)) {}
};

class CannotOpenFile : public FormattedDiagnostic<CannotOpenFile, std::string> {
public:
    CannotOpenFile(const char* file, unsigned line, std::string name)
        : FormattedDiagnostic(catalog::cannot_open_file, file, line, std::move(name)) {}
};

class InvalidOption : public FormattedDiagnostic<InvalidOption, std::string> {
public:
    InvalidOption(const char* file, unsigned line, std::string option)
        : FormattedDiagnostic(catalog::invalid_option, file, line, std::move(option)) {}
};

class OptionIsInvalid : public FormattedDiagnostic<OptionIsInvalid> {
public:
    OptionIsInvalid(const char* file, unsigned line)
        : FormattedDiagnostic(catalog::option_is_invalid, file, line) {}
};

class OutOfMemory : public FormattedDiagnostic<OutOfMemory> {
public:
    OutOfMemory(const char* file, unsigned line)
        : FormattedDiagnostic(catalog::out_of_memory, file, line) {}
};

class ErrorLimitReached : public FormattedDiagnostic<ErrorLimitReached, unsigned long> {
public:
    ErrorLimitReached(const char* file, unsigned line, unsigned long limit)
        : FormattedDiagnostic(catalog::error_limit_reached, file, line, limit) {}
};

} // namespace vx::diag
