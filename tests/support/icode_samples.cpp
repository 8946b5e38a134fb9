#include "support/icode_samples.h"

#include "icode/file_header.h"

namespace vx::testing {

std::string empty_icode_file(const std::string& name, int version) {
    icode::FileHeader header;
    header.version = version;
    header.name = name;
    std::string sized = icode::encode_file_header(header);
    // The symbol section follows the header and the end of the main part.
    header.section_offsets[icode::SYMBOL_SECTION] = static_cast<uint32_t>(sized.size() + 1);
    return icode::encode_file_header(header) + "\xFF\xFF";
}

} // namespace vx::testing
