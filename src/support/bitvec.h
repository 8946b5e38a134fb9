// BITVEC: the dense growable bit vector of every data-flow problem (live
// variables, reaching definitions, available expressions, dominators, the
// block sets of loops).  Sets of small integers -- candidate, definition or
// block numbers -- one bit each, 64 bits to a word.
//
// size() bits are members of the universe; the bits of the last word beyond
// them are the "tail".  Callers may write whole words (words()), so the tail
// may hold garbage: every operation ignores the tails of its operands, and
// no tail bit ever reaches a member of a result.
//
// A vector is sized once per function; growth is the exception.  Operations
// that find an index or an operand beyond the target's size are not fatal:
// they hand a message ("Index beyond size:add", "Vector size mismatch:merge",
// ...) to the internal-warning hook, grow the target and complete.  The
// default hook prints nothing.
#pragma once

#include <cstdint>
#include <span>

namespace vx {

using BitvecWarningHook = void (*)(const char* message);

// Installs the internal-warning hook; returns the previous one.  nullptr
// restores the default, which prints nothing.
BitvecWarningHook set_bitvec_warning_hook(BitvecWarningHook hook);

class BITVEC {
public:
    using Word = uint64_t;
    static constexpr uint32_t word_bits = 64;

    // The words needed for a number of bits.
    static constexpr uint32_t words_for(uint32_t bits) {
        return static_cast<uint32_t>((uint64_t{bits} + word_bits - 1) / word_bits);
    }

    BITVEC() = default;
    // All bits clear; no storage for size 0.
    explicit BITVEC(uint32_t size);
    BITVEC(const BITVEC& other);
    BITVEC(BITVEC&& other) noexcept;
    // Takes other's size and members; keeps this vector's storage when it is
    // large enough.
    BITVEC& operator=(const BITVEC& other);
    BITVEC& operator=(BITVEC&& other) noexcept;
    // Gives the words back, unless a zone owns them: then it reports
    // "Should not free a zoned bitvector" and leaves them alone.
    ~BITVEC();

    // A vector of `size` bits, all clear, over words owned by `zone` (an arena
    // freed in bulk).  The words must hold at least words_for(size) words and
    // outlive the vector's use of them.  A grow beyond them moves the vector
    // to storage of its own.
    static BITVEC in_zone(const void* zone, std::span<Word> words, uint32_t size);

    uint32_t size() const { return size_; }
    uint32_t word_count() const { return words_; }
    uint32_t capacity_words() const { return capacity_; }
    bool zoned() const { return zone_ != nullptr; }
    // The words in use, for whole-word access.
    std::span<Word> words() { return {storage_, words_}; }
    std::span<const Word> words() const { return {storage_, words_}; }

    // Sets the number of members of the universe.  Bits that become members
    // start clear.
    void resize(uint32_t size);

    // Single bits.  Indices are below 2^32 - 1.
    bool test(uint32_t index) const {
        return index < size_ && (storage_[index / word_bits] & bit(index)) != 0;
    }
    void add(uint32_t index) {
        if (index >= size_)
            grow_for_index(index, "Index beyond size:add");
        storage_[index / word_bits] |= bit(index);
    }
    void remove(uint32_t index) {
        if (index >= size_)
            grow_for_index(index, "Index beyond size:remove");
        storage_[index / word_bits] &= ~bit(index);
    }
    // Clears bits lo..hi inclusive (growing to hi + 1 when needed).
    void clear_range(uint32_t lo, uint32_t hi);
    // Makes bits lo..hi of this equal to other's; hi is cut to other's last
    // member.
    void copy_range(const BITVEC& other, uint32_t lo, uint32_t hi);

    // this |= other.
    void merge(const BITVEC& other);
    // this |= other; true when a member was added.  A null other adds nothing.
    bool union_with(const BITVEC& other);
    bool union_with(const BITVEC* other) { return other != nullptr && union_with(*other); }
    // Members below the larger operand size become a | b; bits of this above
    // it are left alone.
    void union3(const BITVEC& a, const BITVEC& b);
    // this &= other below other's size; members at or beyond it are kept.
    void intersect(const BITVEC& other);
    // this = a & b; every bit from the smaller operand size up is cleared.
    void and3(const BITVEC& a, const BITVEC& b);
    // this = a & b & c.
    void and4(const BITVEC& a, const BITVEC& b, const BITVEC& c);
    // this &= ~other below other's size.
    void subtract(const BITVEC& other);
    // this = a & ~b; every bit from a's size up is cleared.
    void difference(const BITVEC& a, const BITVEC& b);
    // this = other (taking its size); true when a member changed.
    bool cmp_cpy(const BITVEC& other);

    void clear_all();
    uint32_t count() const;
    // The first member at or after `from`; size() when there is none.
    uint32_t next_member(uint32_t from) const;
    // Same size and same members (tails ignored).
    bool operator==(const BITVEC& other) const;

private:
    static constexpr Word all_ones = ~Word{0};
    static constexpr Word bit(uint32_t index) { return Word{1} << (index % word_bits); }
    // The member bits of the last word of a vector of `size` bits.
    static constexpr Word tail_mask(uint32_t size) {
        return size % word_bits == 0 ? all_ones : ~(all_ones << (size % word_bits));
    }

    Word last_word() const { return storage_[words_ - 1] & tail_mask(size_); }
    // Word w with the tail cleared; 0 beyond the words in use.
    Word member_word(uint32_t w) const;

    void grow_for_index(uint32_t index, const char* message);
    void grow_reporting(uint32_t size, const char* message);
    void move_to_new_storage(uint32_t size);
    void ensure_capacity(uint32_t words);
    void drop_storage();
    // Storage for `words` clear words: the inline word when one is enough.
    Word* fresh_words(uint32_t words);
    bool on_heap() const { return storage_ != &inline_word_ && zone_ == nullptr; }
    // Clears bits lo..hi inclusive, all below size().
    void clear_bits(uint32_t lo, uint32_t hi);
    void clear_bits_from(uint32_t from);
    void take(BITVEC& other);

    uint32_t size_ = 0;
    uint32_t words_ = 0;    // words_for(size_)
    uint32_t capacity_ = 0; // words allocated
    const void* zone_ = nullptr;
    Word* storage_ = nullptr;
    // Most functions have fewer than 64 candidates: one word lives in the
    // vector itself, so the per-block sets of a data-flow problem cost no
    // allocation.
    Word inline_word_ = 0;
};

} // namespace vx
