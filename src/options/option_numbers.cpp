#include "options/option_numbers.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace vx::opt {

namespace {

bool all_digits_of_radix(std::string_view text, int radix) {
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        bool ok = radix == 16 ? std::isxdigit(u) != 0 : (c >= '0' && c <= '7');
        if (!ok)
            return false;
    }
    return !text.empty();
}

// Removes a radix suffix ("1FH", "17q"); returns the radix it selects, or 0.
int take_radix_suffix(std::string& body) {
    if (body.size() < 2)
        return 0;
    char suffix = body.back();
    std::string_view digits(body.data(), body.size() - 1);
    int radix = 0;
    if ((suffix == 'H' || suffix == 'h') && all_digits_of_radix(digits, 16))
        radix = 16;
    else if ((suffix == 'Q' || suffix == 'q') && all_digits_of_radix(digits, 8))
        radix = 8;
    if (radix)
        body.pop_back();
    return radix;
}

// Removes a "0x" prefix; returns the radix the leading characters select.
int take_radix_prefix(std::string& body) {
    if (body.size() >= 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
        body.erase(0, 2);
        return 16;
    }
    if (body.size() >= 2 && body[0] == '0' && body[1] >= '0' && body[1] <= '7')
        return 8;
    return 10;
}

// strtol and strtoul skip leading blanks and accept a second sign; an
// option argument must be nothing but the number.
bool starts_like_digits(const std::string& body) {
    return !body.empty() && std::isalnum(static_cast<unsigned char>(body[0]));
}

} // namespace

NumberText classify_number(std::string_view text) {
    std::string sign;
    std::string body(text);
    if (!body.empty() && (body[0] == '-' || body[0] == '+')) {
        sign = body.substr(0, 1);
        body.erase(0, 1);
    }
    int radix = take_radix_suffix(body);
    if (!radix)
        radix = take_radix_prefix(body);
    return {sign + body, radix, starts_like_digits(body)};
}

SignedNumber convert_signed(const NumberText& number) {
    if (!number.starts_well)
        return {NumberStatus::malformed, 0};
    const char* start = number.digits.c_str();
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(start, &end, number.radix);
    if (end == start || *end != '\0')
        return {NumberStatus::malformed, 0};
    if (errno == ERANGE)
        return {NumberStatus::overflow, 0};
    return {NumberStatus::ok, value};
}

UnsignedNumber convert_unsigned(const NumberText& number) {
    if (!number.starts_well || (!number.digits.empty() && number.digits[0] == '-'))
        return {NumberStatus::malformed, 0};
    const char* start = number.digits.c_str();
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(start, &end, number.radix);
    if (end == start || *end != '\0')
        return {NumberStatus::malformed, 0};
    if (errno == ERANGE)
        return {NumberStatus::overflow, 0};
    return {NumberStatus::ok, value};
}

} // namespace vx::opt
