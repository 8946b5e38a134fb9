// The types a generated program uses and the type section that declares
// them.  The basic types have fixed numbers; arrays, structures and
// function types are numbered as they are first needed, which keeps every
// type record after the records it refers to.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vx::progen {

enum class Scalar : uint8_t { i16, u16, i32, u32, i64, u64 };
inline constexpr Scalar kAllScalars[] = {Scalar::i16, Scalar::u16, Scalar::i32,
                                         Scalar::u32, Scalar::i64, Scalar::u64};

struct ScalarInfo {
    const char* c_name; // for comments
    int bits;
    bool is_signed;
    int type_no;
    int pointer_type_no;
};

const ScalarInfo& info(Scalar s);
inline int bits(Scalar s) {
    return info(s).bits;
}
inline int words(Scalar s) {
    return info(s).bits / 16;
}
inline bool is_signed(Scalar s) {
    return info(s).is_signed;
}
inline int type_no(Scalar s) {
    return info(s).type_no;
}
inline int pointer_type_no(Scalar s) {
    return info(s).pointer_type_no;
}

// Wraps a value to the width and signedness of `s`.
int64_t wrap_to(Scalar s, int64_t value);

inline constexpr int kCharType = 1;
inline constexpr int kVoidType = 8;
inline constexpr int kCharPointerType = 9;

// A structure: scalar fields, largest first, so that every field sits at
// its natural alignment and no padding is needed anywhere.
struct RecordType {
    struct Field {
        std::string name;
        Scalar scalar;
        int offset_bits;
    };
    int type_no = 0;
    int pointer_type_no = 0;
    std::vector<Field> fields;
    int size_bits = 0;
    int align_bits = 16;
    int words() const { return size_bits / 16; }
};

class TypeTable {
public:
    TypeTable();

    int array_of(int element_type, int count, int element_bits, int align_bits);
    int array_of(Scalar s, int count);
    int char_array(int count);
    // Fields are given in any order; they are laid out largest first.
    RecordType& add_record(const std::vector<Scalar>& field_scalars);
    int record_array(const RecordType& record, int count);
    int function_type(int return_type, const std::vector<std::pair<int, std::string>>& params);
    int pointer_to(int target, int align_bits = 32);

    const std::vector<RecordType>& records() const { return records_; }
    std::string section_text() const;

private:
    int fresh() { return next_number_++; }

    std::vector<std::string> lines_;
    std::map<std::pair<int, int>, int> arrays_;
    std::map<int, int> pointers_;
    std::vector<RecordType> records_;
    int next_number_ = 16;
};

} // namespace vx::progen
