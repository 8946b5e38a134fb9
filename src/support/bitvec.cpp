#include "support/bitvec.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <utility>

namespace vx {

namespace {

void silent_warning(const char*) {}

BitvecWarningHook& warning_hook() {
    static BitvecWarningHook hook = silent_warning;
    return hook;
}

void report(const char* message) {
    warning_hook()(message);
}

// Calls f(word index, mask) for every word touched by bits lo..hi inclusive,
// the mask selecting the bits of the range within the word.
template <typename F> void for_range_words(uint32_t lo, uint32_t hi, F f) {
    constexpr uint32_t bits = BITVEC::word_bits;
    constexpr BITVEC::Word ones = ~BITVEC::Word{0};
    const uint32_t first = lo / bits;
    const uint32_t last = hi / bits;
    for (uint32_t w = first; w <= last; ++w) {
        BITVEC::Word mask = ones;
        if (w == first)
            mask &= ones << (lo % bits);
        if (w == last)
            mask &= ones >> (bits - 1 - hi % bits);
        f(w, mask);
    }
}

} // namespace

BitvecWarningHook set_bitvec_warning_hook(BitvecWarningHook hook) {
    BitvecWarningHook previous = warning_hook();
    warning_hook() = hook ? hook : silent_warning;
    return previous;
}

// ---- storage ----

BITVEC::BITVEC(uint32_t size) : size_(size), words_(words_for(size)), capacity_(words_) {
    if (capacity_ > 0)
        storage_ = fresh_words(capacity_);
}

BITVEC::Word* BITVEC::fresh_words(uint32_t words) {
    if (words <= 1) {
        inline_word_ = 0;
        return &inline_word_;
    }
    return new Word[words]();
}

BITVEC::BITVEC(const BITVEC& other) : BITVEC(other.size_) {
    if (words_ > 0) {
        std::copy_n(other.storage_, words_ - 1, storage_);
        storage_[words_ - 1] = other.last_word();
    }
}

BITVEC::BITVEC(BITVEC&& other) noexcept {
    take(other);
}

BITVEC& BITVEC::operator=(const BITVEC& other) {
    if (this == &other)
        return *this;
    ensure_capacity(other.words_);
    size_ = other.size_;
    words_ = other.words_;
    if (words_ > 0) {
        std::copy_n(other.storage_, words_ - 1, storage_);
        storage_[words_ - 1] = other.last_word();
    }
    return *this;
}

BITVEC& BITVEC::operator=(BITVEC&& other) noexcept {
    if (this != &other) {
        drop_storage();
        take(other);
    }
    return *this;
}

BITVEC::~BITVEC() {
    if (zoned())
        report("Should not free a zoned bitvector");
    drop_storage();
}

BITVEC BITVEC::in_zone(const void* zone, std::span<Word> words, uint32_t size) {
    assert(words.size() >= words_for(size));
    BITVEC vector;
    vector.size_ = size;
    vector.words_ = words_for(size);
    vector.capacity_ = static_cast<uint32_t>(words.size());
    vector.zone_ = zone;
    vector.storage_ = words.data();
    std::fill_n(vector.storage_, vector.words_, Word{0});
    return vector;
}

void BITVEC::take(BITVEC& other) {
    size_ = std::exchange(other.size_, 0);
    words_ = std::exchange(other.words_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    zone_ = std::exchange(other.zone_, nullptr);
    storage_ = std::exchange(other.storage_, nullptr);
    if (storage_ == &other.inline_word_) {
        inline_word_ = other.inline_word_;
        storage_ = &inline_word_;
    }
}

// Zone-owned words are the zone's to give back.
void BITVEC::drop_storage() {
    if (on_heap())
        delete[] storage_;
    storage_ = nullptr;
    capacity_ = 0;
    zone_ = nullptr;
}

void BITVEC::ensure_capacity(uint32_t words) {
    if (words <= capacity_)
        return;
    drop_storage();
    storage_ = fresh_words(words);
    capacity_ = words;
}

void BITVEC::resize(uint32_t size) {
    if (size == size_)
        return;
    if (words_for(size) > capacity_) {
        move_to_new_storage(size);
        return;
    }
    const uint32_t old_size = size_;
    size_ = size;
    words_ = words_for(size);
    if (size > old_size)
        clear_bits(old_size, size - 1);
}

// New words start clear, so that a grow changes no member: callers growing
// through add or remove expect only the named bit to change.
void BITVEC::move_to_new_storage(uint32_t size) {
    const uint32_t new_words = words_for(size);
    // Growing from the inline word (or a zone) always leaves it: more than
    // one word is needed, or the zone's words were too few.
    Word* fresh = new Word[std::max<uint32_t>(new_words, 2)]();
    if (words_ > 0) {
        std::copy_n(storage_, words_ - 1, fresh);
        fresh[words_ - 1] = last_word();
    }
    drop_storage();
    storage_ = fresh;
    capacity_ = new_words;
    size_ = size;
    words_ = new_words;
}

void BITVEC::grow_for_index(uint32_t index, const char* message) {
    grow_reporting(index + 1, message);
}

void BITVEC::grow_reporting(uint32_t size, const char* message) {
    report(message);
    resize(size);
}

BITVEC::Word BITVEC::member_word(uint32_t w) const {
    if (w >= words_)
        return 0;
    return w + 1 == words_ ? last_word() : storage_[w];
}

// ---- ranges ----

void BITVEC::clear_bits(uint32_t lo, uint32_t hi) {
    for_range_words(lo, hi, [this](uint32_t w, Word mask) { storage_[w] &= ~mask; });
}

void BITVEC::clear_bits_from(uint32_t from) {
    if (from < size_)
        clear_bits(from, size_ - 1);
}

void BITVEC::clear_range(uint32_t lo, uint32_t hi) {
    if (lo > hi || hi == UINT32_MAX)
        return;
    if (hi >= size_)
        resize(hi + 1);
    clear_bits(lo, hi);
}

void BITVEC::copy_range(const BITVEC& other, uint32_t lo, uint32_t hi) {
    if (other.size_ == 0)
        return;
    hi = std::min(hi, other.size_ - 1);
    if (lo > hi)
        return;
    if (hi >= size_)
        resize(hi + 1);
    for_range_words(lo, hi, [this, &other](uint32_t w, Word mask) {
        storage_[w] = (storage_[w] & ~mask) | (other.storage_[w] & mask);
    });
}

// ---- whole sets ----
//
// The word loops run over plain words and treat the one word that holds an
// operand's tail on its own, so that the common case stays a tight loop.

void BITVEC::merge(const BITVEC& other) {
    if (size_ < other.size_)
        grow_reporting(other.size_, "Vector size mismatch:merge");
    const uint32_t n = other.words_;
    if (n == 0)
        return;
    for (uint32_t w = 0; w + 1 < n; ++w)
        storage_[w] |= other.storage_[w];
    storage_[n - 1] |= other.last_word();
}

bool BITVEC::union_with(const BITVEC& other) {
    if (size_ < other.size_)
        grow_reporting(other.size_, "Vector size mismatch:union");
    const uint32_t n = other.words_;
    if (n == 0)
        return false;
    Word added = 0;
    for (uint32_t w = 0; w + 1 < n; ++w) {
        added |= other.storage_[w] & ~storage_[w];
        storage_[w] |= other.storage_[w];
    }
    const Word last = other.last_word();
    added |= last & ~storage_[n - 1];
    storage_[n - 1] |= last;
    return added != 0;
}

void BITVEC::union3(const BITVEC& a, const BITVEC& b) {
    const uint32_t needed = std::max(a.size_, b.size_);
    if (size_ < needed)
        grow_reporting(needed, "Vector size mismatch:merge");
    const uint32_t n = words_for(needed);
    if (n == 0)
        return;
    for (uint32_t w = 0; w + 1 < n; ++w)
        storage_[w] = a.member_word(w) | b.member_word(w);
    const Word last = a.member_word(n - 1) | b.member_word(n - 1);
    storage_[n - 1] = (storage_[n - 1] & ~tail_mask(needed)) | last;
}

void BITVEC::intersect(const BITVEC& other) {
    const uint32_t n = std::min(words_, other.words_);
    if (n == 0)
        return;
    // other's last word counts its tail as ones, so that bits of this
    // beyond other's size survive.
    const uint32_t plain = std::min(n, other.words_ - 1);
    for (uint32_t w = 0; w < plain; ++w)
        storage_[w] &= other.storage_[w];
    if (plain < n)
        storage_[plain] &= other.storage_[plain] | ~tail_mask(other.size_);
}

void BITVEC::and3(const BITVEC& a, const BITVEC& b) {
    const uint32_t needed = std::min(a.size_, b.size_);
    if (size_ < needed)
        grow_reporting(needed, "Vector size mismatch:and3");
    const uint32_t n = words_for(needed);
    for (uint32_t w = 0; w < n; ++w)
        storage_[w] = a.storage_[w] & b.storage_[w];
    // Also removes the tail bits of the shorter operand.
    clear_bits_from(needed);
}

void BITVEC::and4(const BITVEC& a, const BITVEC& b, const BITVEC& c) {
    if (size_ != a.size_ || size_ != b.size_ || size_ != c.size_) {
        if (this == &c) {
            // and3 would overwrite c before it is used.
            const BITVEC c_members(c);
            and3(a, b);
            intersect(c_members);
        } else {
            and3(a, b);
            intersect(c);
        }
        return;
    }
    for (uint32_t w = 0; w < words_; ++w)
        storage_[w] = a.storage_[w] & b.storage_[w] & c.storage_[w];
}

void BITVEC::subtract(const BITVEC& other) {
    const uint32_t n = std::min(words_, other.words_);
    if (n == 0)
        return;
    const uint32_t plain = std::min(n, other.words_ - 1);
    for (uint32_t w = 0; w < plain; ++w)
        storage_[w] &= ~other.storage_[w];
    if (plain < n)
        storage_[plain] &= ~other.last_word();
}

void BITVEC::difference(const BITVEC& a, const BITVEC& b) {
    const uint32_t a_size = a.size_;
    if (size_ < a_size)
        resize(a_size);
    const uint32_t n = words_for(a_size);
    for (uint32_t w = 0; w < n; ++w)
        storage_[w] = a.storage_[w] & ~b.member_word(w);
    // Also removes a's tail bits.
    clear_bits_from(a_size);
}

bool BITVEC::cmp_cpy(const BITVEC& other) {
    if (size_ != other.size_) {
        report("Vector size mismatch:cmp_cpy");
        resize(other.size_);
    }
    if (words_ == 0)
        return false;
    Word differing = 0;
    for (uint32_t w = 0; w + 1 < words_; ++w) {
        differing |= storage_[w] ^ other.storage_[w];
        storage_[w] = other.storage_[w];
    }
    const Word last = other.last_word();
    differing |= last_word() ^ last;
    storage_[words_ - 1] = last;
    return differing != 0;
}

// ---- queries ----

void BITVEC::clear_all() {
    std::fill_n(storage_, words_, Word{0});
}

uint32_t BITVEC::count() const {
    uint32_t members = 0;
    for (uint32_t w = 0; w < words_; ++w)
        members += static_cast<uint32_t>(std::popcount(member_word(w)));
    return members;
}

uint32_t BITVEC::next_member(uint32_t from) const {
    if (from >= size_)
        return size_;
    uint32_t w = from / word_bits;
    Word candidates = member_word(w) & (all_ones << (from % word_bits));
    while (candidates == 0) {
        if (++w >= words_)
            return size_;
        candidates = member_word(w);
    }
    return w * word_bits + static_cast<uint32_t>(std::countr_zero(candidates));
}

bool BITVEC::operator==(const BITVEC& other) const {
    if (size_ != other.size_)
        return false;
    for (uint32_t w = 0; w < words_; ++w)
        if (member_word(w) != other.member_word(w))
            return false;
    return true;
}

} // namespace vx
