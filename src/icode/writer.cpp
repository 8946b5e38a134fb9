#include "icode/writer.h"

namespace vx::icode {

std::unique_ptr<IcodeWriter> IcodeWriter::open(FILE* out, const FileHeader& header) {
    return std::unique_ptr<IcodeWriter>(new IcodeWriter(out, header));
}

bool IcodeWriter::close() {
    if (!out_)
        return true;
    bool ok = std::fwrite(carried_.data(), 1, carried_.size(), out_) == carried_.size();
    ok = std::fclose(out_) == 0 && ok;
    out_ = nullptr;
    return ok;
}

} // namespace vx::icode
