#include "ir/symbol_names.h"

#include "options/option_sets.h"

#include <gtest/gtest.h>

#include <string>

namespace vx::ir {
namespace {

class SymbolNames : public ::testing::Test {
protected:
    void SetUp() override { opt::reset_option_registry(); }
    void TearDown() override { opt::reset_option_registry(); }

    static void use_eabi() {
        ASSERT_TRUE(opt::parse_option_text(opt::option_registry().command_line, "--abi=eabi"));
        ASSERT_TRUE(opt::build_option_sets());
    }
};

TEST_F(SymbolNames, LookupNameDropsOneLeadingMark) {
    EXPECT_EQ(lookup_name("_main"), "main");
    EXPECT_EQ(lookup_name(".init"), "init");
    EXPECT_EQ(lookup_name("__x"), "_x");
    EXPECT_EQ(lookup_name("plain"), "plain");
    use_eabi();
    EXPECT_EQ(lookup_name("_main"), "_main");
}

TEST_F(SymbolNames, CopyNamesByKindOfName) {
    EXPECT_EQ(copy_name("counter", 7, false), "counter");
    EXPECT_EQ(copy_name("counter", 7, true), "$O$N007$counter");
    EXPECT_EQ(copy_name("$Ocounter", 7, true), "$Ocounter$007");
    EXPECT_EQ(copy_name("n", 1234, true), "$O$N1234$n");
}

TEST_F(SymbolNames, LongCopyNamesAreCutTo31CharactersAndADollar) {
    const std::string long_name(40, 'a');
    // "$O$N012$" and 30 characters of the name: 38, cut to 32.
    EXPECT_EQ(copy_name(long_name, 12, true), "$O$N012$" + std::string(23, 'a') + "$");
    const std::string generated = "$O" + std::string(30, 'b'); // 32 characters
    EXPECT_EQ(copy_name(generated, 5, true), generated.substr(0, 31) + "$");
    EXPECT_EQ(copy_name(generated, 5, true).size(), 32u);
}

TEST_F(SymbolNames, ExplodedFieldNamesDoNotRepeatThePrefix) {
    EXPECT_EQ(exploded_field_name("_pt", ".x"), "$O$CSU$pt$x");
    EXPECT_EQ(exploded_field_name("$O$CSU$pt$inner", "y"), "$O$CSU$pt$inner$y");
    use_eabi();
    EXPECT_EQ(exploded_field_name("_pt", "_x"), "$O$CSU$_pt$_x");
}

} // namespace
} // namespace vx::ir
