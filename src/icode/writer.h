// The optimizer's I-code writer.
//
// For now the writer reproduces the input stream: whatever the reader kept
// goes out unchanged when the writer is closed.
#pragma once

#include "icode/file_header.h"

#include <cstdio>
#include <memory>
#include <string>

namespace vx::icode {

class IcodeWriter {
public:
    // Writes to `out` from offset 0; the stream stays owned by the caller
    // until close().
    static std::unique_ptr<IcodeWriter> open(FILE* out, const FileHeader& header);

    // The bytes to reproduce after the header (interim pass-through).
    void carry_stream(std::string bytes) { carried_ = std::move(bytes); }
    // Writes what is pending and closes the stream; false on a write error.
    bool close();

private:
    IcodeWriter(FILE* out, FileHeader header) : out_(out), header_(std::move(header)) {}

    FILE* out_;
    FileHeader header_;
    std::string carried_;
};

} // namespace vx::icode
