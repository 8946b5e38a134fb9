// The bytes of an input stream, from the stream's current position to its
// end, in one block: mapped from the file when the caller allows it and the
// stream is a regular file, read into memory otherwise.
//
// A mapping saves copying the file and faulting in a buffer as large as it,
// but it lasts only as long as the file does: a run that is about to write
// to its own input (an output or listing name that names the input file)
// must call keep_in_memory() first, or the bytes it still reads would
// vanish when the file is truncated.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

namespace vx::icode {

enum class InputAccess {
    read,           // always read into memory
    map_if_possible // map a regular, non-empty file; read anything else
};

class InputBytes {
public:
    InputBytes() = default;
    InputBytes(InputBytes&& other) noexcept;
    InputBytes& operator=(InputBytes&& other) noexcept;
    InputBytes(const InputBytes&) = delete;
    InputBytes& operator=(const InputBytes&) = delete;
    ~InputBytes();

    // The rest of `in`, or false when it cannot be read whole.
    bool take(FILE* in, InputAccess access);

    const char* data() const { return data_; }
    size_t size() const { return size_; }
    bool mapped() const { return mapping_ != nullptr; }

    // Whether the bytes are mapped from the file that `path` names (through
    // any link); false when they are not mapped or `path` does not exist.
    bool mapped_from(const char* path) const;
    // Copies mapped bytes into memory and drops the mapping; data() moves.
    void keep_in_memory();

private:
    bool map(FILE* in);
    bool read(FILE* in);
    void unmap();

    const char* data_ = nullptr;
    size_t size_ = 0;
    std::unique_ptr<char[]> copy_;
    void* mapping_ = nullptr; // the whole file, when mapped
    size_t mapping_size_ = 0;
    unsigned long device_ = 0; // of the mapped file
    unsigned long inode_ = 0;
};

} // namespace vx::icode
