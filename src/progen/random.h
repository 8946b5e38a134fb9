// The generator's own pseudo-random numbers.  The standard distributions
// may differ between library versions; these do not, so a seed names the
// same program everywhere.
#pragma once

#include <cstdint>
#include <vector>

namespace vx::progen {

// xoshiro256** seeded through splitmix64.
class Random {
public:
    explicit Random(uint64_t seed);

    uint64_t next();
    // 0 .. n-1; n must be positive.
    uint32_t below(uint32_t n);
    // lo .. hi inclusive.
    int range(int lo, int hi);
    bool chance(int percent);

    template <class T> const T& pick(const std::vector<T>& items) {
        return items[below(static_cast<uint32_t>(items.size()))];
    }

private:
    uint64_t state_[4];
};

} // namespace vx::progen
