#include "support/diagnostics.h"

#include "support/check.h"
#include "support/message_catalog.h"
#include "support/termination.h"

#include <cstdarg>
#include <cstring>
#include <vector>

namespace vx::diag {

namespace {

// Per-run state of the module: the settings and the output line that the
// last message may have left open.
struct DiagState {
    Settings settings;
    int remaining = 0;      // columns left on the current line
    bool line_open = false; // something printed and not yet ended by a newline
    FILE* line_stream = nullptr;
};

DiagState& state() {
    static DiagState s;
    return s;
}

std::string vformat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0)
        return {};
    if (static_cast<size_t>(needed) < sizeof small)
        return std::string(small, needed);
    std::vector<char> big(static_cast<size_t>(needed) + 1);
    std::vsnprintf(big.data(), big.size(), format, args);
    return std::string(big.data(), needed);
}

int full_line_width() {
    const Settings& s = state().settings;
    VX_CHECK(s.diag_cols > (s.indent + s.wrap_indent));
    return s.diag_cols - s.indent - s.wrap_indent;
}

std::string continuation_prefix() {
    const Settings& s = state().settings;
    return "\n" + std::string(static_cast<size_t>(s.indent + s.wrap_indent), ' ');
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// Length of the longest prefix of `text` (no newline inside) that fits
// `width` columns and ends after a word; 0 when not even one word fits.
size_t word_break(const std::string& text, size_t begin, size_t end, int width) {
    if (end - begin <= static_cast<size_t>(width))
        return end - begin;
    size_t limit = begin + static_cast<size_t>(width);
    // The break may fall on the blank just after the last fitting word.
    for (size_t i = limit; i > begin; --i)
        if (is_blank(text[i]))
            return i - begin;
    return 0;
}

// The wrapping algorithm shared by the stream and the string printer:
// appends the wrapped form of `text` to `out`, updating `remaining`.
void wrap_text(const std::string& text, bool wrap, int& remaining, std::string& out) {
    size_t pos = 0;
    bool after_break = false;
    while (pos < text.size()) {
        if (after_break)
            while (pos < text.size() && is_blank(text[pos]))
                ++pos;
        if (pos >= text.size())
            break;
        if (text[pos] == '\n') {
            out += continuation_prefix();
            remaining = full_line_width();
            ++pos;
            after_break = true;
            continue;
        }
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        if (!wrap) {
            out.append(text, pos, end - pos);
            remaining -= static_cast<int>(end - pos);
            pos = end;
            after_break = false;
            continue;
        }
        if (remaining <= 0) {
            out += continuation_prefix();
            remaining = full_line_width();
            after_break = true;
            continue;
        }
        size_t piece = word_break(text, pos, end, remaining);
        if (piece == 0) {
            size_t word_end = pos;
            while (word_end < end && !is_blank(text[word_end]))
                ++word_end;
            bool fits_fresh_line = word_end - pos <= static_cast<size_t>(full_line_width());
            if (fits_fresh_line && remaining < full_line_width()) {
                out += continuation_prefix();
                remaining = full_line_width();
                after_break = true;
                continue;
            }
            piece = static_cast<size_t>(remaining);
        }
        out.append(text, pos, piece);
        remaining -= static_cast<int>(piece);
        pos += piece;
        after_break = pos < end;
        if (after_break)
            remaining = 0; // the rest goes on a fresh line
    }
}

FILE* stream_for(int32_t severity) {
    const Settings& s = state().settings;
    if (s.stream)
        return s.stream;
    return severity >= SEV_WARNING ? stderr : stdout;
}

bool severity_hidden(int32_t severity) {
    const Settings& s = state().settings;
    switch (severity) {
    case SEV_SUPPRESSED:
        return true;
    case SEV_ADVICE:
        return !s.show_advice;
    case SEV_DEBUG:
        return !s.show_debug;
    case SEV_REMARK:
        return !s.show_remarks;
    case SEV_WARNING:
        return !s.show_warnings;
    default:
        return false;
    }
}

// Prints the source line of a precise position and a caret under its column.
int print_source_line(FILE* out, const SourceInfo& position) {
    std::string name = position.file_name();
    if (name.empty() || position.line() == 0 || position.approximate())
        return 0;
    FILE* source = std::fopen(name.c_str(), "r");
    if (!source)
        return 0;
    std::string line;
    unsigned current = 1;
    int c;
    while ((c = std::fgetc(source)) != EOF) {
        if (c == '\n') {
            if (current == position.line())
                break;
            ++current;
            continue;
        }
        if (current == position.line())
            line += static_cast<char>(c);
    }
    std::fclose(source);
    if (current != position.line())
        return 0;
    int written = std::fprintf(out, "%s\n", line.c_str());
    if (position.column() != 0)
        written += std::fprintf(out, "%-*s^\n", static_cast<int>(position.column() - 1), "");
    return written;
}

std::string header_text(const Diagnostic& d, const char* raise_file, unsigned raise_line) {
    const Settings& s = state().settings;
    const MessageDescriptor& m = d.descriptor();
    std::string header(static_cast<size_t>(s.wrap_indent), ' ');
    if (s.show_raise_place || m.internal)
        header += format_text("%s:%u: ", raise_file ? raise_file : "", raise_line);
    if (const SourceInfo* pos = d.position()) {
        std::string where;
        if (!pos->file_name().empty()) {
            where = "\"" + pos->file_name() + "\"";
            if (pos->line() != 0)
                where += format_text(", line %u", pos->line());
            if (pos->approximate())
                where += " (approximate)";
        }
        if (!where.empty())
            header += where + ": ";
    }
    if (!s.show_numbers && !m.internal)
        header += format_text("%s:", severity_word(m.severity));
    else
        header += format_text("%s%s #%u%s:", m.internal ? "internal " : "",
                              severity_word(m.severity), m.number, d.discretionary() ? "-D" : "");
    return header;
}

} // namespace

const char* severity_word(int32_t severity) {
    static const char* const words[] = {"(suppressed)", "(no error)", "advice", "debug",
                                        "remark",       "warning",    "error",  "fatal error"};
    if (severity < 0 || severity > SEV_FATAL)
        return "(unknown)";
    return words[severity];
}

std::string format_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    return text;
}

std::string vformat_catalog_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    return text;
}

Settings& settings() {
    return state().settings;
}

void reset() {
    state() = DiagState{};
}

bool SourceInfo::equals(const SourceInfo& other) const {
    return file_name() == other.file_name() && line() == other.line() &&
           column() == other.column() && approximate() == other.approximate();
}

Diagnostic::Diagnostic(const MessageDescriptor& descriptor, const char* raise_file,
                       unsigned raise_line, std::unique_ptr<SourceInfo> position)
    : descriptor_(&descriptor), position_(std::move(position)), raise_file_(raise_file),
      raise_line_(raise_line) {}

Diagnostic::Diagnostic(const Diagnostic& other)
    : descriptor_(other.descriptor_),
      position_(other.position_ ? other.position_->copy() : nullptr),
      raise_file_(other.raise_file_), raise_line_(other.raise_line_), printed_(other.printed_) {}

Diagnostic::~Diagnostic() = default;

bool Diagnostic::discretionary() const {
    const MessageDescriptor& m = *descriptor_;
    return !m.internal && !m.fixed && m.severity < SEV_FATAL && m.severity != SEV_ADVICE;
}

bool Diagnostic::equals(const Diagnostic& other) const {
    if (descriptor_ != other.descriptor_)
        return false;
    if (!position_ || !other.position_)
        return !position_ && !other.position_;
    return position_->equals(*other.position_);
}

void Diagnostic::dump() const {
    std::printf("Code : %d\n", static_cast<int>(descriptor_->number));
    std::printf("std_msg : %s\n", descriptor_->std_text);
    std::printf("vrb_msg : %s\n", descriptor_->verbose_text ? descriptor_->verbose_text : "");
    if (position_) {
        std::printf("File : %s\n", position_->file_name().c_str());
        std::printf("Line : %d\n", static_cast<int>(position_->line()));
        std::printf("Column: %d\n", static_cast<int>(position_->column()));
    }
}

int Diagnostic::emit() {
    DiagState& st = state();
    Settings& s = st.settings;
    int32_t severity = descriptor_->severity;
    if (severity_hidden(severity))
        return 0;

    FILE* out = stream_for(severity);
    WrappingPrinter printer(out);
    int written = printer.finish_line();

    bool saved_wrap = s.wrap;
    if (!s.wrap_headers)
        s.wrap = false;
    written += printer.print(header_text(*this, raise_file_, raise_line_) + " ");
    s.wrap = saved_wrap;

    written += printer.print(message_text());
    written += printer.finish_line();
    if (s.show_source_line && position_)
        written += print_source_line(out, *position_);
    std::fflush(out);
    printed_ = true;

    bool counts = severity >= SEV_ERROR && !s.suspend_counting;
    if (counts)
        ++s.error_count;
    if (severity == SEV_FATAL && !s.suspend_counting) {
        if (descriptor_->internal)
            abort_run();
        stop_run(1);
    }
    if (s.error_count > s.error_limit)
        ErrorLimitReached(__FILE__, __LINE__, s.error_limit).emit();
    return written;
}

WrappingPrinter::WrappingPrinter(FILE* out) : out_(out) {}

int WrappingPrinter::print(const std::string& text) {
    DiagState& st = state();
    if (!st.line_open) {
        st.remaining = st.settings.diag_cols;
        st.line_stream = out_;
    }
    std::string wrapped;
    wrap_text(text, st.settings.wrap, st.remaining, wrapped);
    if (wrapped.empty())
        return 0;
    std::fprintf(out_, "%.*s", static_cast<int>(wrapped.size()), wrapped.data());
    st.line_open = wrapped.back() != '\n';
    return static_cast<int>(wrapped.size());
}

int WrappingPrinter::finish_line() {
    DiagState& st = state();
    if (!st.line_open)
        return 0;
    FILE* stream = st.line_stream ? st.line_stream : out_;
    std::fputc('\n', stream);
    st.line_open = false;
    return 1;
}

std::string WrappingPrinter::wrap_into_string(const std::string& text, int first_line_width) {
    int remaining = first_line_width;
    std::string out;
    wrap_text(text, state().settings.wrap, remaining, out);
    return out;
}

} // namespace vx::diag
