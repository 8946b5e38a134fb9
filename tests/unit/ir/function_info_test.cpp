#include "ir/function_info.h"

#include <gtest/gtest.h>

namespace vx::ir {
namespace {

TEST(FunctionInfo, UnsuppressKeepsTheBodyAndTellsWhetherItWasSuppressed) {
    FUNINFO record;
    record.set(FUN_is_suppressed);
    EXPECT_TRUE(record.is_suppressed());
    EXPECT_TRUE(record.unsuppress());
    EXPECT_FALSE(record.is_suppressed());
    EXPECT_TRUE(record.has(FUN_cannot_suppress));
    EXPECT_FALSE(record.unsuppress());
}

TEST(FunctionInfo, ReleasingFunctionDataEmptiesTablesAndLists) {
    FUNINFO record;
    Symbol* local = record.arena.make<Symbol>();
    record.local_table.push_back(local);
    record.list(SymbolListKind::copies).push_back(local);
    record.declaration_count = 3;
    record.set(FUN_is_processed);
    record.release_function_data();
    EXPECT_TRUE(record.local_table.empty());
    EXPECT_TRUE(record.list(SymbolListKind::copies).empty());
    EXPECT_EQ(record.declaration_count, 0u);
    EXPECT_EQ(record.arena.bytes_used(), 0u);
    EXPECT_TRUE(record.has(FUN_is_processed)); // properties outlive the function's data
}

} // namespace
} // namespace vx::ir
