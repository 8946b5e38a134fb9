#include "support/ir_world.h"

#include "icode/reader_client.h"
#include "icode/text/assembler.h"
#include "ir/node.h"
#include "ir/symbol_table.h"
#include "ir/symbol_type_queries.h"
#include "options/option_sets.h"
#include "support/switches.h"

namespace vx::testing {

std::unique_ptr<ir::TYPE_PKG> fresh_ir_world() {
    sw::reset_switches();
    ir::reset_symbol_state();
    ir::reset_node_environment();
    ir::reset_type_world();
    opt::reset_option_registry();
    auto package = std::make_unique<ir::TYPE_PKG>();
    icode::install_reading_environment();
    return package;
}

void drop_ir_world(std::unique_ptr<ir::TYPE_PKG>& package) {
    ir::reset_symbol_state();
    ir::reset_node_environment();
    ir::install_type_queries(ir::TypeQueries{});
    package.reset();
    ir::reset_type_world();
    sw::reset_switches();
}

FILE* icode_stream(const std::string& text) {
    FILE* in = std::tmpfile();
    const std::string bytes = icode::text::assemble(text);
    std::fwrite(bytes.data(), 1, bytes.size(), in);
    std::rewind(in);
    return in;
}

} // namespace vx::testing
