// Reads I-code text as the optimizer does, into a fresh world, keeping the
// functions the reader hands over.  Header-only, so that the tests of other
// modules (the IR verifier's) can use it too.
#pragma once

#include "icode/reader.h"
#include "icode/reader_client.h"
#include "icode/text/assembler.h"
#include "icode/writer.h"
#include "ir/node.h"
#include "ir/symbol_table.h"
#include "ir/symbol_type_queries.h"
#include "ir/type_package.h"
#include "options/option_sets.h"
#include "support/switches.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace vx::testing {

class ReadWorld : public ::testing::Test {
protected:
    void SetUp() override { fresh_world(); }
    void TearDown() override { drop_world(); }

    void fresh_world() {
        sw::reset_switches();
        ir::reset_symbol_state();
        ir::reset_node_environment();
        ir::reset_type_world();
        opt::reset_option_registry();
        package_ = std::make_unique<ir::TYPE_PKG>();
        icode::install_reading_environment();
    }
    void drop_world() {
        reader_.reset();
        writer_.reset();
        functions_.clear();
        ir::reset_symbol_state();
        ir::reset_node_environment();
        ir::install_type_queries(ir::TypeQueries{});
        package_.reset();
        ir::reset_type_world();
        sw::reset_switches();
    }

    // Reads `text`; the functions read are kept in functions_.
    void read(const std::string& text) {
        FILE* in = std::tmpfile();
        const std::string bytes = icode::text::assemble(text);
        std::fwrite(bytes.data(), 1, bytes.size(), in);
        std::rewind(in);
        reader_ = icode::IcodeReader::open(in, "t.icode");
        ASSERT_NE(reader_, nullptr);
        writer_ = icode::IcodeWriter::create(std::tmpfile(), "t.c");
        icode::OptimizerReaderClient client(*package_, *writer_, [this](icode::FunctionRead&& f) {
            functions_.push_back(std::move(f));
        });
        reader_->read_all(client);
    }

    static std::string file_text(const std::string& path) {
        std::ifstream in(path);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    std::unique_ptr<ir::TYPE_PKG> package_;
    std::unique_ptr<icode::IcodeReader> reader_;
    std::unique_ptr<icode::IcodeWriter> writer_;
    std::vector<icode::FunctionRead> functions_;
};

} // namespace vx::testing
