// The printf formatter on its own: widths, missing arguments, unknown
// conversions.
#include "interp/output.h"

#include <gtest/gtest.h>

#include <bit>
#include <vector>

namespace vx::interp {
namespace {

class Values final : public FormatArguments {
public:
    std::vector<std::pair<Shape, uint64_t>> values;
    size_t next_index = 0;

    bool next(Shape& shape, uint64_t& value) override {
        if (next_index >= values.size())
            return false;
        std::tie(shape, value) = values[next_index++];
        return true;
    }
    std::string string_at(uint64_t address) override { return "@" + std::to_string(address); }
};

const Shape kInt{Cls::integer, 16, true, 1};
const Shape kLongLong{Cls::integer, 64, true, 4};
const Shape kDouble{Cls::floating, 64, true, 4};

std::string format(const std::string& text, std::vector<std::pair<Shape, uint64_t>> values) {
    Values args;
    args.values = std::move(values);
    std::string out;
    format_printf(text, args, out);
    return out;
}

TEST(Printf, ReadsEachIntegerAtTheWidthItsLengthSays) {
    EXPECT_EQ(format("%d %hd %ld %lld", {{kLongLong, 0x12345678ffffull},
                                         {kLongLong, 0x8000},
                                         {kLongLong, 0xffffffffull},
                                         {kLongLong, 0x123456789ull}}),
              "-1 -32768 -1 4886718345");
    EXPECT_EQ(format("%u %lu %llu", {{kInt, uint64_t(-2)}, {kInt, uint64_t(-2)}, {kInt, 7}}),
              "65534 4294967294 7");
}

TEST(Printf, MissingArgumentsReadAsZeroAndUnknownConversionsStay) {
    EXPECT_EQ(format("%d|%s|%w|%", {}), "0|@0|%w|%");
    EXPECT_EQ(
        format("%.3f %5.1e", {{kDouble, std::bit_cast<uint64_t>(2.0 / 3)}, {kInt, uint64_t(-3)}}),
        "0.667 -3.0e+00");
}

TEST(Printf, HugeWidthsAreCut) {
    EXPECT_EQ(format("%100000d", {{kInt, 1}}).size(), 4096u);
}

} // namespace
} // namespace vx::interp
