// Reads I-code text as the optimizer does, into a fresh world, keeping the
// functions the reader hands over.  Header-only, so that the tests of other
// modules (the IR verifier's) can use it too.
#pragma once

#include "support/ir_world.h"

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

    void fresh_world() { package_ = fresh_ir_world(); }
    void drop_world() {
        reader_.reset();
        writer_.reset();
        functions_.clear();
        drop_ir_world(package_);
    }

    // Reads `text`; the functions read are kept in functions_.
    void read(const std::string& text) {
        reader_ = icode::IcodeReader::open(icode_stream(text), "t.icode");
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
