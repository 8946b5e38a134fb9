// Number arguments of options: radix selection and conversion.
//
// The radix is 16 after "0x"/"0X", 8 after a leading "0" followed by an
// octal digit, else 10.  A suffix "H"/"h" selects 16, and "Q"/"q" selects 8
// when every digit is octal; the suffix is then removed.  So 0x1F, 1FH, 17q
// and 017 read as 31, 31, 15 and 15, while 19q keeps its "q" and is rejected
// for the trailing character.
#pragma once

#include <string>
#include <string_view>

namespace vx::opt {

// The text handed to the conversion: the sign, the digits without prefix
// or suffix, and the radix they are read in.
struct NumberText {
    std::string digits;
    int radix = 10;
    bool starts_well = true; // false: the digits begin with a blank or a second sign
};

NumberText classify_number(std::string_view text);

enum class NumberStatus {
    ok,
    malformed, // no digits, or characters after them
    overflow,
};

struct SignedNumber {
    NumberStatus status = NumberStatus::malformed;
    long value = 0;
};

struct UnsignedNumber {
    NumberStatus status = NumberStatus::malformed;
    unsigned long value = 0;
};

SignedNumber convert_signed(const NumberText& number);
// A minus sign is malformed here: the conversion must not wrap it around.
UnsignedNumber convert_unsigned(const NumberText& number);

} // namespace vx::opt
