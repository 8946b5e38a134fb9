#include "interp/output.h"

#include "interp/machine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

namespace vx::interp {

namespace {

struct Spec {
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
Spec parse_spec(std::string_view format, size_t& at, FormatArguments& args) {
    Spec spec;
    while (at < format.size() &&
           std::string_view("-+ #0").find(format[at]) != std::string_view::npos)
        spec.flags += format[at++];
    if (at < format.size() && format[at] == '*') {
        ++at;
        spec.width = star_argument(args);
        if (spec.width < 0) {
            spec.flags += '-';
            spec.width = -spec.width;
        }
    } else {
        for (spec.width = 0;
             at < format.size() && std::isdigit(static_cast<unsigned char>(format[at]));)
            spec.width = spec.width * 10 + (format[at++] - '0');
    }
    if (at < format.size() && format[at] == '.') {
        ++at;
        if (at < format.size() && format[at] == '*') {
            ++at;
            spec.precision = star_argument(args);
        } else {
            for (spec.precision = 0;
                 at < format.size() && std::isdigit(static_cast<unsigned char>(format[at]));)
                spec.precision = spec.precision * 10 + (format[at++] - '0');
        }
    }
    for (; at < format.size(); ++at) {
        const char c = format[at];
        if (c == 'h')
            spec.length = 16;
        else if (c == 'l')
            spec.length = spec.length == 32 ? 64 : 32;
        else if (c == 'L' || c == 'j' || c == 'z' || c == 't' || c == 'q')
            spec.length = 64;
        else
            break;
    }
    if (at < format.size())
        spec.conversion = format[at++];
    // A text that asks for more room than any real output needs is cut.
    spec.width = std::min(spec.width, 4096);
    spec.precision = std::min(spec.precision, 4096);
    return spec;
}

// The host format for one conversion, with the argument in 64 bits.
std::string host_format(const Spec& spec, const char* length, char conversion) {
    std::string text = "%" + spec.flags;
    if (spec.width > 0)
        text += std::to_string(spec.width);
    if (spec.precision >= 0)
        text += "." + std::to_string(spec.precision);
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

void convert_one(const Spec& spec, FormatArguments& args, std::string& out) {
    switch (spec.conversion) {
    case 'd':
    case 'i':
        append(out, host_format(spec, "ll", 'd'),
               static_cast<long long>(integer_argument(args, spec.length, true)));
        return;
    case 'u':
    case 'o':
    case 'x':
    case 'X':
        append(out, host_format(spec, "ll", spec.conversion),
               static_cast<unsigned long long>(integer_argument(args, spec.length, false)));
        return;
    case 'c':
        append(out, host_format(spec, "", 'c'),
               static_cast<int>(integer_argument(args, 16, false) & 0xff));
        return;
    case 'p':
        append(out, host_format(spec, "ll", 'x'),
               static_cast<unsigned long long>(integer_argument(args, 32, false)));
        return;
    case 's': {
        Shape shape;
        const uint64_t address = next_value(args, shape);
        const std::string text = args.string_at(address);
        append(out, host_format(spec, "", 's'), text.c_str());
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
        append(out, host_format(spec, "", spec.conversion), double_argument(args));
        return;
    case '%':
        out += '%';
        return;
    default:
        out += '%';
        if (spec.conversion != 0)
            out += spec.conversion;
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
        const Spec spec = parse_spec(format, at, args);
        convert_one(spec, args, out);
    }
}

} // namespace vx::interp
