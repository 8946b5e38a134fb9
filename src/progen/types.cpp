#include "progen/types.h"

#include <algorithm>

namespace vx::progen {

namespace {

// Type numbers 2..7 are the scalars, 10..15 pointers to them.
constexpr ScalarInfo kScalarInfo[] = {
    {"int", 16, true, 2, 10},       {"unsigned", 16, false, 3, 11},
    {"long", 32, true, 4, 12},      {"unsigned long", 32, false, 5, 13},
    {"long long", 64, true, 6, 14}, {"unsigned long long", 64, false, 7, 15},
};

constexpr const char* kScalarKeywords[] = {"int", "uint", "long", "ulong", "llong", "ullong"};

} // namespace

const ScalarInfo& info(Scalar s) {
    return kScalarInfo[static_cast<int>(s)];
}

int64_t wrap_to(Scalar s, int64_t value) {
    const int width = bits(s);
    if (width == 64)
        return value;
    const uint64_t mask = (uint64_t{1} << width) - 1;
    uint64_t cut = static_cast<uint64_t>(value) & mask;
    if (is_signed(s) && (cut >> (width - 1)))
        cut |= ~mask;
    return static_cast<int64_t>(cut);
}

TypeTable::TypeTable() {
    lines_.push_back("type 1 char explicit=1 size=16 align=16");
    for (int i = 0; i < 6; ++i) {
        const ScalarInfo& s = kScalarInfo[i];
        std::string line = "type " + std::to_string(s.type_no) + " " + kScalarKeywords[i];
        if (s.is_signed)
            line += " explicit=1";
        line +=
            " size=" + std::to_string(s.bits) + " align=" + std::to_string(std::min(s.bits, 32));
        lines_.push_back(line + "    ; " + s.c_name);
    }
    lines_.push_back("type 8 void");
    lines_.push_back("type 9 ptr 1 size=32 align=32");
    for (const ScalarInfo& s : kScalarInfo)
        lines_.push_back("type " + std::to_string(s.pointer_type_no) + " ptr " +
                         std::to_string(s.type_no) + " size=32 align=32");
}

int TypeTable::array_of(int element_type, int count, int element_bits, int align_bits) {
    auto [slot, inserted] = arrays_.try_emplace({element_type, count}, 0);
    if (!inserted)
        return slot->second;
    slot->second = fresh();
    lines_.push_back("type " + std::to_string(slot->second) + " array " +
                     std::to_string(element_type) + " " + std::to_string(count) +
                     " size=" + std::to_string(element_bits * count) +
                     " align=" + std::to_string(align_bits) + " complete=1");
    return slot->second;
}

int TypeTable::array_of(Scalar s, int count) {
    return array_of(type_no(s), count, bits(s), std::min(bits(s), 32));
}

int TypeTable::char_array(int count) {
    return array_of(kCharType, count, 16, 16);
}

RecordType& TypeTable::add_record(const std::vector<Scalar>& field_scalars) {
    std::vector<Scalar> order = field_scalars;
    std::stable_sort(order.begin(), order.end(),
                     [](Scalar a, Scalar b) { return bits(a) > bits(b); });
    RecordType record;
    record.type_no = fresh();
    for (Scalar s : order) {
        record.fields.push_back({"m" + std::to_string(record.fields.size()), s, record.size_bits});
        record.size_bits += bits(s);
        if (bits(s) > 16)
            record.align_bits = 32;
    }
    // A 32-bit aligned structure with an odd number of words gets a last
    // int so that arrays of it need no padding.
    if (record.align_bits == 32 && record.size_bits % 32 != 0) {
        record.fields.push_back(
            {"m" + std::to_string(record.fields.size()), Scalar::i16, record.size_bits});
        record.size_bits += 16;
    }
    const std::string number = std::to_string(record.type_no);
    const int list_kind = 7;
    lines_.push_back("type " + number + " csu 0 \"S" + std::to_string(records_.size()) +
                     "\" complete=1 size=" + std::to_string(record.size_bits) +
                     " align=" + std::to_string(record.align_bits));
    record.pointer_type_no = pointer_to(record.type_no);
    lines_.push_back("type " + number + " list " + std::to_string(list_kind));
    for (size_t i = 0; i < record.fields.size(); ++i) {
        const RecordType::Field& f = record.fields[i];
        lines_.push_back("  type " + number + " field " + std::to_string(i) + " \"" + f.name +
                         "\" " + std::to_string(type_no(f.scalar)) +
                         " offset=" + std::to_string(f.offset_bits));
    }
    lines_.push_back("type " + number + " endlist " + std::to_string(list_kind));
    records_.push_back(record);
    return records_.back();
}

int TypeTable::record_array(const RecordType& record, int count) {
    return array_of(record.type_no, count, record.size_bits, record.align_bits);
}

int TypeTable::function_type(int return_type,
                             const std::vector<std::pair<int, std::string>>& params) {
    const int number = fresh();
    const std::string text = std::to_string(number);
    lines_.push_back("type " + text + " func " + std::to_string(return_type));
    lines_.push_back("type " + text + " list 0");
    for (const auto& [type, name] : params)
        lines_.push_back("  type " + text + " param " + std::to_string(type) + " name=\"" + name +
                         "\"");
    lines_.push_back("type " + text + " endlist 0");
    return number;
}

int TypeTable::pointer_to(int target, int align_bits) {
    auto [slot, inserted] = pointers_.try_emplace(target, 0);
    if (!inserted)
        return slot->second;
    slot->second = fresh();
    lines_.push_back("type " + std::to_string(slot->second) + " ptr " + std::to_string(target) +
                     " size=32 align=" + std::to_string(align_bits));
    return slot->second;
}

std::string TypeTable::section_text() const {
    std::string out = "section types\n";
    for (const std::string& line : lines_)
        out += line + "\n";
    return out;
}

} // namespace vx::progen
