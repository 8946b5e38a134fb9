// Fuzzes the optimizer's reader, not only the format layer: pass 1 over the
// whole input, then every function body read where pass 2 would read it,
// through the fast paths that make nodes straight from the records.  A bad
// input must end in an orderly stop (status 1), never in a read past the
// input or a crash.
#include "icode/reader.h"
#include "icode/reader_client.h"
#include "icode/writer.h"
#include "ir/node.h"
#include "ir/symbol_table.h"
#include "ir/type_package.h"
#include "support/termination.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using namespace vx;

void read_everything(const uint8_t* data, size_t size) {
    // The writer only needs a stream to exist: nothing is written.
    static FILE* const out = std::fopen("/dev/null", "wb");
    FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (in == nullptr || out == nullptr)
        std::abort();
    ir::TYPE_PKG package;
    icode::install_reading_environment();
    // The input is closed however reading ends, as the driver's stop does:
    // by the reader once it holds the input, before that here (opening may
    // stop on a bad header).  The guard goes before the reader.
    std::unique_ptr<icode::IcodeReader> reader;
    struct CloseInput {
        FILE* in;
        std::unique_ptr<icode::IcodeReader>& reader;
        ~CloseInput() {
            if (reader != nullptr)
                reader->close();
            else
                std::fclose(in);
        }
    } close_input{in, reader};
    reader = icode::IcodeReader::open(in, "fuzz.icode");
    if (reader == nullptr)
        return; // a bad header: the driver reports it and stops
    auto writer = icode::IcodeWriter::create(out, "fuzz.c");
    std::vector<icode::FunctionRead> functions;
    icode::OptimizerReaderClient client(
        package, *writer, [&](icode::FunctionRead&& f) { functions.push_back(std::move(f)); });
    reader->read_all(client);
    for (icode::FunctionRead& function : functions) {
        if (!function.unread_body)
            continue;
        icode::OptimizerReaderClient body_client(package, *writer, [](icode::FunctionRead&&) {});
        reader->read_function_at(*function.unread_body, body_client);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool installed = (set_stop_handler(throwing_stop_handler), true);
    (void)installed;
    if (size == 0)
        return 0; // nothing to map; the driver reports an empty file itself
    try {
        read_everything(data, size);
    } catch (const RunStopped& stop) {
        if (stop.status != 1)
            std::abort();
    }
    // A fresh world for the next input, as a new process would have.
    ir::reset_symbol_state();
    ir::reset_node_environment();
    ir::reset_type_world();
    return 0;
}
