// The optimizer's I-code reader.
//
// For now the reader checks the file header and keeps the stream's bytes;
// the records after the header are carried to the output unchanged by the
// writer.  Decoding of types, symbols and function bodies replaces this.
#pragma once

#include "icode/file_header.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace vx::icode {

class IcodeReader {
public:
    // Reads from the current position of `in`; nothing when the stream does
    // not start with a valid header.  The stream stays owned by the caller
    // until close().
    static std::unique_ptr<IcodeReader> open(FILE* in, const std::string& name);

    // Reads the whole stream, calling `on_function` for each function read.
    void read_all(const std::function<void()>& on_function);
    // Closes the stream.
    void close();

    const FileHeader& header() const { return header_; }
    const std::string& stream_bytes() const { return bytes_; }
    const std::string& name() const { return name_; }

private:
    IcodeReader(FILE* in, std::string name, std::string bytes, FileHeader header);

    FILE* in_;
    std::string name_;
    std::string bytes_;
    FileHeader header_;
};

} // namespace vx::icode
