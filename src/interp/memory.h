// The interpreter's memory: a flat array of 16-bit words with a shadow
// byte per word that says whether the word belongs to a live object.
//
// Objects are laid out with guard words between them, so an access that
// runs off the end of one object touches a guard word instead of the next
// object.  Word 0 and the words below kFirstAddress belong to nothing, so a
// null pointer faults.  Multi-word values are stored low word first.
#pragma once

#include <cstdint>
#include <vector>

namespace vx::interp {

inline constexpr uint32_t kFirstAddress = 16;
inline constexpr uint32_t kGuardWords = 2;

class Memory {
public:
    // A fresh memory with nothing live.
    void clear() {
        words_.assign(kFirstAddress, 0);
        live_.assign(kFirstAddress, 0);
    }
    uint32_t size() const { return static_cast<uint32_t>(words_.size()); }

    // Room for `words` words at the end, after a guard, aligned to `align`
    // words; the words are zero and live.  Returns their address.
    uint32_t allocate(uint32_t words, uint32_t align = 1);
    // Grows (or shrinks) the array to `size` words; new words are zero and
    // dead.
    void resize(uint32_t size) {
        words_.resize(size, 0);
        live_.resize(size, 0);
    }
    void set_live(uint32_t address, uint32_t words, bool live) {
        for (uint32_t i = 0; i < words; ++i)
            live_[address + i] = live;
    }
    void zero(uint32_t address, uint32_t words) {
        for (uint32_t i = 0; i < words; ++i)
            words_[address + i] = 0;
    }

    // True when every word of [address, address + words) is live.
    bool accessible(uint64_t address, uint32_t words) const {
        if (address + words > words_.size())
            return false;
        for (uint32_t i = 0; i < words; ++i)
            if (!live_[address + i])
                return false;
        return true;
    }

    uint16_t word(uint64_t address) const { return words_[address]; }
    void set_word(uint64_t address, uint16_t value) { words_[address] = value; }

    // Little-endian word order; no checks.
    uint64_t read(uint64_t address, uint32_t words) const {
        uint64_t value = 0;
        for (uint32_t i = words; i-- > 0;)
            value = (value << 16) | words_[address + i];
        return value;
    }
    void write(uint64_t address, uint32_t words, uint64_t value) {
        for (uint32_t i = 0; i < words; ++i, value >>= 16)
            words_[address + i] = static_cast<uint16_t>(value);
    }

    std::vector<uint16_t>& words() { return words_; }
    std::vector<uint8_t>& live() { return live_; }

private:
    std::vector<uint16_t> words_;
    std::vector<uint8_t> live_;
};

} // namespace vx::interp
