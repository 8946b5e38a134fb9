// User-facing messages: severity, position, message number and text,
// word-wrapped to a fixed width, counted, with an optional copy of the source
// line and a caret under the column.
//
// Each kind of message is a class of its own carrying its arguments.  A
// message is raised by constructing it and calling emit(); a fatal one ends
// the run inside emit() through stop_run (status 1) or abort_run (internal
// fatal, status 3).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>

namespace vx::diag {

enum Severity : int32_t {
    SEV_SUPPRESSED = 0,
    SEV_NO_ERROR = 1,
    SEV_ADVICE = 2,
    SEV_DEBUG = 3,
    SEV_REMARK = 4,
    SEV_WARNING = 5,
    SEV_ERROR = 6,
    SEV_FATAL = 7,
};

// The printed word of a severity: "warning", "fatal error", "(unknown)" ...
const char* severity_word(int32_t severity);

// One row of the message catalog.
struct MessageDescriptor {
    uint32_t number;
    const char* std_text;     // printf format
    const char* verbose_text; // printf format or nullptr
    int32_t severity;
    bool internal; // reports the raising place; a fatal internal one aborts
    bool fixed;    // never marked discretionary
};

// An abstract source position.
class SourceInfo {
public:
    virtual ~SourceInfo() = default;
    virtual std::string file_name() const = 0; // empty when unknown
    virtual unsigned line() const = 0;         // 0 when unknown
    virtual unsigned column() const = 0;       // 0 when unknown
    virtual bool approximate() const = 0;
    virtual std::unique_ptr<SourceInfo> copy() const = 0;
    virtual bool equals(const SourceInfo& other) const;
};

// The plain position that stores its four values.
class SourceInfoData final : public SourceInfo {
public:
    SourceInfoData(std::string file, unsigned line, unsigned column, bool approximate = false)
        : file_(std::move(file)), line_(line), column_(column), approximate_(approximate) {}
    std::string file_name() const override { return file_; }
    unsigned line() const override { return line_; }
    unsigned column() const override { return column_; }
    bool approximate() const override { return approximate_; }
    std::unique_ptr<SourceInfo> copy() const override {
        return std::make_unique<SourceInfoData>(*this);
    }

private:
    std::string file_;
    unsigned line_;
    unsigned column_;
    bool approximate_;
};

// Base of every message class.
class Diagnostic {
public:
    Diagnostic(const MessageDescriptor& descriptor, const char* raise_file, unsigned raise_line,
               std::unique_ptr<SourceInfo> position = nullptr);
    Diagnostic(const Diagnostic& other);
    Diagnostic& operator=(const Diagnostic&) = delete;
    virtual ~Diagnostic();

    virtual std::unique_ptr<Diagnostic> clone() const = 0;
    // Prints the whole message; returns the number of characters written.
    virtual int emit();
    virtual int query() const { return 0; }
    virtual bool equals(const Diagnostic& other) const;
    virtual void hook() {}
    // Prints the descriptor and position to standard output.
    virtual void dump() const;

    const MessageDescriptor& descriptor() const { return *descriptor_; }
    const SourceInfo* position() const { return position_.get(); }
    bool printed() const { return printed_; }
    // Discretionary messages may be turned down by the user: not internal,
    // not fixed, below fatal and not advice.
    bool discretionary() const;
    // The standard text formatted with the message's arguments.
    virtual std::string message_text() const = 0;

private:
    const MessageDescriptor* descriptor_;
    std::unique_ptr<SourceInfo> position_;
    const char* raise_file_;
    unsigned raise_line_;
    bool printed_ = false;
};

// printf-style formatting into a std::string.
std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

namespace detail {
template <typename T> auto printf_arg(const T& value) {
    if constexpr (std::is_same_v<T, std::string>)
        return value.c_str();
    else
        return value;
}
} // namespace detail

// A message whose arguments are stored by value (texts as std::string) and
// substituted into the descriptor's standard text in order.  Message classes
// derive from it and name their own arguments in their constructors.
template <typename Derived, typename... Args> class FormattedDiagnostic : public Diagnostic {
public:
    FormattedDiagnostic(const MessageDescriptor& descriptor, const char* raise_file,
                        unsigned raise_line, Args... args,
                        std::unique_ptr<SourceInfo> position = nullptr)
        : Diagnostic(descriptor, raise_file, raise_line, std::move(position)),
          args_(std::move(args)...) {}

    std::unique_ptr<Diagnostic> clone() const override {
        return std::make_unique<Derived>(static_cast<const Derived&>(*this));
    }

    std::string message_text() const override {
        return std::apply(
            [this](const auto&... a) {
                return format_unchecked(descriptor().std_text, detail::printf_arg(a)...);
            },
            args_);
    }

    const std::tuple<Args...>& arguments() const { return args_; }

private:
    template <typename... P> static std::string format_unchecked(const char* format, P... p);
    std::tuple<Args...> args_;
};

// Formatting with a run-time format string; the catalog texts are trusted.
std::string vformat_catalog_text(const char* format, ...);

template <typename Derived, typename... Args>
template <typename... P>
std::string FormattedDiagnostic<Derived, Args...>::format_unchecked(const char* format, P... p) {
    return vformat_catalog_text(format, p...);
}

// Module settings (one record per run; reset() restores the defaults).
struct Settings {
    int diag_cols = 79;
    int indent = 3;
    int wrap_indent = 0;
    FILE* stream = nullptr; // nullptr: severities 0..4 to stdout, 5..7 to stderr
    bool wrap = true;
    bool wrap_headers = false;
    bool show_warnings = true;
    bool show_advice = false;
    bool show_debug = false;
    bool show_remarks = false;
    bool show_numbers = false;
    bool show_raise_place = false;
    bool show_source_line = false;
    bool suspend_counting = false;
    unsigned long error_count = 0;
    unsigned long error_limit = 100;
};

Settings& settings();
// Restores the default settings and forgets any open output line.
void reset();

// The wrapping printer used for every piece of message text.  It writes to
// `out`, keeping track of the remaining width of the current line.
class WrappingPrinter {
public:
    explicit WrappingPrinter(FILE* out);
    // Prints text (already formatted); returns characters written.
    int print(const std::string& text);
    // Ends the current line when something is pending on it.
    int finish_line();
    // The same algorithm, writing into a string instead of a stream.
    static std::string wrap_into_string(const std::string& text, int first_line_width);

private:
    FILE* out_;
};

} // namespace vx::diag

// Raises a diagnostic class with the place in the program that raises it.
#define VX_RAISE(DiagClass, ...) DiagClass(__FILE__, __LINE__ __VA_OPT__(, ) __VA_ARGS__).emit()
