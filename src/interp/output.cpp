#include "interp/output.h"

#include "interp/machine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

namespace vx::interp {

namespace {

struct Directive {
    std::string flags;
    int width = -1;
    int precision = -1;
    unsigned length = 16; // the argument's width in bits: none/h 16, l 32, ll 64
    char conversion = 0;
};

uint64_t next_value(FormatArguments& args, Shape& shape) {
    uint64_t value = 0;
    if (!args.next(shape, value)) {
        shape = Shape{Cls::integer, 16, true, 1};
        return 0;
    }
    return value;
}

// An integer argument as the conversion reads it: its low `bits` bits.
uint64_t integer_argument(FormatArguments& args, unsigned bits, bool is_signed) {
    Shape shape;
    uint64_t value = next_value(args, shape);
    if (shape.cls == Cls::floating)
        value =
            Machine::float_to_integer(Machine::as_double(value), Shape{Cls::integer, 64, true, 4});
    if (bits >= 64)
        return value;
    const unsigned shift = 64 - bits;
    return is_signed ? static_cast<uint64_t>(static_cast<int64_t>(value << shift) >> shift)
                     : (value << shift) >> shift;
}

double double_argument(FormatArguments& args) {
    Shape shape;
    const uint64_t value = next_value(args, shape);
    if (shape.cls == Cls::floating)
        return Machine::as_double(value);
    return shape.is_signed ? static_cast<double>(static_cast<int64_t>(value))
                           : static_cast<double>(value);
}

int star_argument(FormatArguments& args) {
    return static_cast<int>(static_cast<int64_t>(integer_argument(args, 16, true)));
}

// Reads one conversion after its '%'; `at` ends after it.
Directive parse_directive(std::string_view format, size_t& at, FormatArguments& args) {
    Directive directive;
    while (at < format.size() &&
           std::string_view("-+ #0").find(format[at]) != std::string_view::npos)
        directive.flags += format[at++];
    if (at < format.size() && format[at] == '*') {
        ++at;
        directive.width = star_argument(args);
        if (directive.width < 0) {
            directive.flags += '-';
            directive.width = -directive.width;
        }
    } else {
        for (directive.width = 0;
             at < format.size() && std::isdigit(static_cast<unsigned char>(format[at]));)
            directive.width = directive.width * 10 + (format[at++] - '0');
    }
    if (at < format.size() && format[at] == '.') {
        ++at;
        if (at < format.size() && format[at] == '*') {
            ++at;
            directive.precision = star_argument(args);
        } else {
            for (directive.precision = 0;
                 at < format.size() && std::isdigit(static_cast<unsigned char>(format[at]));)
                directive.precision = directive.precision * 10 + (format[at++] - '0');
        }
    }
    for (; at < format.size(); ++at) {
        const char c = format[at];
        if (c == 'h')
            directive.length = 16;
        else if (c == 'l')
            directive.length = directive.length == 32 ? 64 : 32;
        else if (c == 'L' || c == 'j' || c == 'z' || c == 't' || c == 'q')
            directive.length = 64;
        else
            break;
    }
    if (at < format.size())
        directive.conversion = format[at++];
    // A text that asks for more room than any real output needs is cut.
    directive.width = std::min(directive.width, 4096);
    directive.precision = std::min(directive.precision, 4096);
    return directive;
}

// The host format for one conversion, with the argument in 64 bits.
std::string host_format(const Directive& directive, const char* length, char conversion) {
    std::string text = "%" + directive.flags;
    if (directive.width > 0)
        text += std::to_string(directive.width);
    if (directive.precision >= 0)
        text += "." + std::to_string(directive.precision);
    return text + length + conversion;
}

template <typename T> void append(std::string& out, const std::string& format, T value) {
    char buffer[512];
    int n = std::snprintf(buffer, sizeof buffer, format.c_str(), value);
    if (n < 0)
        return;
    if (static_cast<size_t>(n) < sizeof buffer) {
        out.append(buffer, static_cast<size_t>(n));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), format.c_str(), value);
    out.append(big.data(), static_cast<size_t>(n));
}

void convert_one(const Directive& directive, FormatArguments& args, std::string& out) {
    switch (directive.conversion) {
    case 'd':
    case 'i':
        append(out, host_format(directive, "ll", 'd'),
               static_cast<long long>(integer_argument(args, directive.length, true)));
        return;
    case 'u':
    case 'o':
    case 'x':
    case 'X':
        append(out, host_format(directive, "ll", directive.conversion),
               static_cast<unsigned long long>(integer_argument(args, directive.length, false)));
        return;
    case 'c':
        append(out, host_format(directive, "", 'c'),
               static_cast<int>(integer_argument(args, 16, false) & 0xff));
        return;
    case 'p':
        append(out, host_format(directive, "ll", 'x'),
               static_cast<unsigned long long>(integer_argument(args, 32, false)));
        return;
    case 's': {
        Shape shape;
        const uint64_t address = next_value(args, shape);
        const std::string text = args.string_at(address);
        append(out, host_format(directive, "", 's'), text.c_str());
        return;
    }
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        append(out, host_format(directive, "", directive.conversion), double_argument(args));
        return;
    case '%':
        out += '%';
        return;
    default:
        out += '%';
        if (directive.conversion != 0)
            out += directive.conversion;
        return;
    }
}

} // namespace

void format_printf(const std::string& format, FormatArguments& args, std::string& out) {
    size_t at = 0;
    while (at < format.size()) {
        const size_t percent = format.find('%', at);
        if (percent == std::string::npos) {
            out.append(format, at, std::string::npos);
            return;
        }
        out.append(format, at, percent - at);
        at = percent + 1;
        const Directive directive = parse_directive(format, at, args);
        convert_one(directive, args, out);
    }
}

} // namespace vx::interp
