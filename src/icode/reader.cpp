#include "icode/reader.h"

namespace vx::icode {

namespace {

std::string read_rest(FILE* in) {
    std::string bytes;
    char buffer[1 << 16];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        bytes.append(buffer, count);
    return bytes;
}

} // namespace

IcodeReader::IcodeReader(FILE* in, std::string name, std::string bytes, FileHeader header)
    : in_(in), name_(std::move(name)), bytes_(std::move(bytes)), header_(std::move(header)) {}

std::unique_ptr<IcodeReader> IcodeReader::open(FILE* in, const std::string& name) {
    std::string bytes = read_rest(in);
    if (std::ferror(in))
        return nullptr;
    auto header = decode_file_header(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (!header)
        return nullptr;
    return std::unique_ptr<IcodeReader>(new IcodeReader(in, name, std::move(bytes), *header));
}

void IcodeReader::read_all(const std::function<void()>& /*on_function*/) {}

void IcodeReader::close() {
    if (in_)
        std::fclose(in_);
    in_ = nullptr;
}

} // namespace vx::icode
