#include "progen/random.h"

namespace vx::progen {

namespace {

uint64_t splitmix64(uint64_t& x) {
    uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

uint64_t rotate_left(uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
}

} // namespace

Random::Random(uint64_t seed) {
    for (uint64_t& word : state_)
        word = splitmix64(seed);
}

uint64_t Random::next() {
    const uint64_t result = rotate_left(state_[1] * 5, 7) * 9;
    const uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = rotate_left(state_[3], 45);
    return result;
}

uint32_t Random::below(uint32_t n) {
    return static_cast<uint32_t>((next() >> 32) % n);
}

int Random::range(int lo, int hi) {
    return lo + static_cast<int>(below(static_cast<uint32_t>(hi - lo + 1)));
}

bool Random::chance(int percent) {
    return static_cast<int>(below(100)) < percent;
}

} // namespace vx::progen
