#include "support/message_catalog.h"

namespace vx::diag::catalog {

// clang-format off
const MessageDescriptor pointer_should_not_be_null{6000, "pointer \"%s\" should not be NULL at this point", nullptr, SEV_FATAL, true, false};
const MessageDescriptor cannot_open_file_reason{6001, "cannot open file \"%s\":  %s", nullptr, SEV_FATAL, false, false};
const MessageDescriptor option_conflicts_previous{6002, "%s option conflicts with previous option %s", nullptr, SEV_ERROR, false, false};
const MessageDescriptor invalid_parameter{6003, "invalid parameter %s to option %s", nullptr, SEV_ERROR, false, false};
const MessageDescriptor cannot_open_file{6004, "cannot open file \"%s\"", nullptr, SEV_FATAL, false, false};
const MessageDescriptor invalid_option{6006, "invalid option:  %s", nullptr, SEV_FATAL, false, false};
const MessageDescriptor pointer_should_be_null{6007, "pointer \"%s\" should be NULL at this point", nullptr, SEV_FATAL, true, false};
const MessageDescriptor option_is_invalid{24000, "option is invalid", nullptr, SEV_ERROR, false, false};
const MessageDescriptor out_of_memory{24001, "out of memory", nullptr, SEV_FATAL, false, false};
const MessageDescriptor conflict_option{24002, "option %s conflicts with previous option %s", nullptr, SEV_ERROR, false, false};
const MessageDescriptor conflict_override_option{24003, "option %s overrides preceding option %s", nullptr, SEV_WARNING, false, false};
const MessageDescriptor conflict_quiet_option{24004, "option %s clears preceding option %s", nullptr, SEV_REMARK, false, false};
const MessageDescriptor bad_parm_type{24005, "option object: bad parm_type [A1]", nullptr, SEV_ERROR, false, false};
const MessageDescriptor clear_persistent_ignored{24006, "Attempt to clear PERSISTENT option %s ignored", nullptr, SEV_WARNING, false, false};
const MessageDescriptor unhandled_clause_setarg{24007, "unhandled clause in setarg() [%lu]", nullptr, SEV_FATAL, false, false};
const MessageDescriptor unhandled_option_handler{24008, "unhandled option handler [%lu]", nullptr, SEV_FATAL, false, false};
const MessageDescriptor invalid_list_handler{24009, "list handler for non-list option [%lu]", nullptr, SEV_FATAL, false, false};
const MessageDescriptor missing_parameter{24010, "option %s is missing its parameter '%s'", nullptr, SEV_ERROR, false, false};
const MessageDescriptor arg_out_of_range{24011, "argument to option %s (%s) is out of range", nullptr, SEV_ERROR, false, false};
const MessageDescriptor arg_out_of_range_non_neg{24012, "argument to option %s (%s) is out of range (must be a non-negative_number)", nullptr, SEV_ERROR, false, false};
const MessageDescriptor arg_out_of_range2{24013, "argument to option %s (%s) is out of range (must be a number from %lu to %lu", nullptr, SEV_ERROR, false, false};
const MessageDescriptor option_handler_corruption{24014, "corruption in option handler", nullptr, SEV_FATAL, false, false};
const MessageDescriptor bad_argument{24015, "bad argument to option %s: should be one of {%s}", nullptr, SEV_ERROR, false, false};
const MessageDescriptor case_insensitivity{24016, "Case insensitivity of options has been deprecated; %s must be written as %s in future releases", nullptr, SEV_WARNING, false, false};
const MessageDescriptor option_not_valid_warning{24017, "Option %s is not valid %s %s (ignored)", nullptr, SEV_WARNING, false, false};
const MessageDescriptor option_not_valid_error{24018, "Option %s is not valid %s %s", nullptr, SEV_ERROR, false, false};
const MessageDescriptor garbage_following_option{24019, "garbage following option -%s ignored", nullptr, SEV_WARNING, false, false};
const MessageDescriptor unhandled_clause_history{24031, "unhandled clause in add_to_history() [%lu]", nullptr, SEV_FATAL, false, false};
const MessageDescriptor error_limit_reached{99900, "error limit reached; %lu errors detected", nullptr, SEV_FATAL, false, false};
// clang-format on

} // namespace vx::diag::catalog
