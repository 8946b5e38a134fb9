#include "icode/input_bytes.h"

#include <cstring>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <utility>

namespace vx::icode {

InputBytes::InputBytes(InputBytes&& other) noexcept {
    *this = std::move(other);
}

InputBytes& InputBytes::operator=(InputBytes&& other) noexcept {
    if (this != &other) {
        unmap();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        copy_ = std::move(other.copy_);
        mapping_ = std::exchange(other.mapping_, nullptr);
        mapping_size_ = std::exchange(other.mapping_size_, 0);
        device_ = other.device_;
        inode_ = other.inode_;
    }
    return *this;
}

InputBytes::~InputBytes() {
    unmap();
}

bool InputBytes::take(FILE* in, InputAccess access) {
    if (access == InputAccess::map_if_possible && map(in))
        return true;
    return read(in);
}

// The file is mapped whole (a mapping starts at a page boundary) and the
// bytes start at the stream's position.  Every page is faulted in at once:
// the reader goes through all of them, and one call costs less than a
// fault per page.  Anything unusual (not a regular file, empty, a failing
// call) falls back to reading, which reports what is wrong as before.
bool InputBytes::map(FILE* in) {
    struct stat status;
    const int fd = fileno(in);
    if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0)
        return false;
    const long start = std::ftell(in);
    const auto file_size = static_cast<size_t>(status.st_size);
    if (start < 0 || static_cast<size_t>(start) >= file_size)
        return false;
    void* mapping = mmap(nullptr, file_size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (mapping == MAP_FAILED)
        return false;
    mapping_ = mapping;
    mapping_size_ = file_size;
    device_ = status.st_dev;
    inode_ = status.st_ino;
    data_ = static_cast<const char*>(mapping) + start;
    size_ = file_size - static_cast<size_t>(start);
    return true;
}

// The stream from the file's current position to its end, in one block.
bool InputBytes::read(FILE* in) {
    long start = std::ftell(in);
    if (start >= 0 && std::fseek(in, 0, SEEK_END) == 0) {
        long end = std::ftell(in);
        if (std::fseek(in, start, SEEK_SET) == 0 && end >= start) {
            size_ = static_cast<size_t>(end - start);
            copy_.reset(new char[size_ + 1]);
            data_ = copy_.get();
            return std::fread(copy_.get(), 1, size_, in) == size_;
        }
    }
    std::string all; // not seekable: read it in pieces
    char piece[1 << 15];
    size_t count;
    while ((count = std::fread(piece, 1, sizeof piece, in)) > 0)
        all.append(piece, count);
    size_ = all.size();
    copy_.reset(new char[size_ + 1]);
    std::memcpy(copy_.get(), all.data(), size_);
    data_ = copy_.get();
    return !std::ferror(in);
}

void InputBytes::keep_in_memory() {
    if (!mapped())
        return;
    std::unique_ptr<char[]> copy(new char[size_ + 1]);
    std::memcpy(copy.get(), data_, size_);
    unmap();
    copy_ = std::move(copy);
    data_ = copy_.get();
}

void InputBytes::unmap() {
    if (mapping_ != nullptr)
        munmap(mapping_, mapping_size_);
    mapping_ = nullptr;
    mapping_size_ = 0;
}

bool InputBytes::mapped_from(const char* path) const {
    struct stat named;
    return mapped() && stat(path, &named) == 0 && named.st_dev == device_ && named.st_ino == inode_;
}

} // namespace vx::icode
