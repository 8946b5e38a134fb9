// Which type numbers of a stream stand for signed integers.
//
// An ICON value and an enumerator value are written as signed LEB128 when
// their type is signed and as unsigned LEB128 otherwise, so the format layer
// must know this much about the types of the stream.  It learns it from the
// type section as the section is read (or written), in order: a record can
// only rely on the types defined before it, which is also what the type
// section guarantees.
#pragma once

#include "icode/records.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace vx::icode {

class TypeSigns {
public:
    // True when `type` is a signed integer kind (char, short, int, long, long
    // long), or a typedef, qualified form, enum or fixed-point type over one.
    // Unknown numbers count as unsigned.  Inline for the numbers of the
    // dense range, as it is asked once per integer constant of a file.
    bool is_signed(uint32_t type) const {
        return (type < dense_.size() ? dense_[type] : sign_of(type)) == SIGNED;
    }

    // Takes note of a type record.  Only records that define a type count,
    // and only the first definition of a number.
    void learn(const TypeRecord& record);

    void clear();

private:
    enum Sign : uint8_t { UNKNOWN, UNSIGNED, SIGNED };

    Sign sign_of(uint32_t type) const;
    void set(uint32_t type, Sign sign);
    Sign derived_sign(const TypeRecord& record) const;

    // Type numbers are registration numbers, dense from 1; numbers beyond
    // the dense range go to the map.
    static constexpr uint32_t kDenseLimit = 1u << 20;
    std::vector<Sign> dense_;
    std::unordered_map<uint32_t, Sign> sparse_;
};

} // namespace vx::icode
