// Fields that only some versions have: each threshold, written and read.
#include "unit/icode/icode_test_support.h"

#include "icode/record_reader.h"
#include "icode/record_writer.h"

#include <gtest/gtest.h>

namespace vx::icode::testing {
namespace {

// The body of a record as written in `version` (kind and one-byte length
// dropped).
std::string body(int version, const TypeRecord& record) {
    std::string out;
    RecordWriter(out, version).write(record);
    return out.substr(2);
}

TypeRecord array() {
    return {9, TC_ARRAY, ArrayType{1, 2, 3, 4, 5, 6, 7, 8}};
}
TypeRecord enumeration() {
    return {9, TC_ENUM, EnumType{"e", 3, 4, 1, 5, {}}};
}
TypeRecord class_type() {
    ClassType c;
    c.category = 1;
    c.tag = "s";
    c.complete = 2;
    c.flags2 = 3;
    c.size = 4;
    c.alignment = 5;
    c.class_flag = 6;
    c.special = 7;
    c.flags = 8;
    return {9, TC_CLASS, c};
}
TypeRecord field() {
    return {9, TC_FIELD, FieldEntry{1, "f", 2, 3, -1, 4, 5, 6, 7, 8, {}}};
}

struct VersionCase {
    int version;
    std::string array, enumeration, class_type, field;
    size_t header_size;
};

const std::string kArray("\x09\x12\x01\x02\x03\x04\x05\x06", 8);
const std::string kEnum("\x09\x16"
                        "e\0"
                        "\x03\x04\x01",
                        7);
const std::string kClass("\x09\x18\x01"
                         "s\0"
                         "\x02\x03\x04\x05\x06",
                         10);
const std::string kField("\x09\x1c\x01"
                         "f\0"
                         "\x02\x03\x7f",
                         8);
const std::string kNoPos(1, '\0');

const VersionCase kCases[] = {
    {-86, kArray, kEnum + kNoPos, kClass + kNoPos, kField + "\x06\x05\x07" + kNoPos, 40},
    {-85, kArray, kEnum + kNoPos, kClass + kNoPos, kField + "\x05\x06\x07\x08" + kNoPos, 40},
    {-84, kArray, kEnum + kNoPos, kClass + "\x07" + kNoPos, kField + "\x05\x06\x07\x08" + kNoPos,
     40},
    {-83, kArray, kEnum + kNoPos, kClass + "\x07" + kNoPos, kField + "\x05\x06\x07\x08" + kNoPos,
     44},
    {-82, kArray, kEnum + kNoPos, kClass + "\x07" + kNoPos, kField + "\x05\x06\x07\x08" + kNoPos,
     44},
    {-81, kArray, kEnum + "\x05" + kNoPos, kClass + "\x07\x08" + kNoPos,
     kField + "\x05\x06\x07\x08" + kNoPos, 44},
    {-77, kArray, kEnum + "\x05" + kNoPos, kClass + "\x07\x08" + kNoPos,
     kField + "\x05\x06\x07\x08" + kNoPos, 44},
    {-76, kArray + "\x07", kEnum + "\x05" + kNoPos, kClass + "\x07\x08" + kNoPos,
     kField + "\x05\x06\x07\x08" + kNoPos, 44},
    {-75, kArray + "\x07\x08", kEnum + "\x05" + kNoPos, kClass + "\x07\x08" + kNoPos,
     kField + "\x05\x06\x07\x08" + kNoPos, 44},
    {-74, kArray + "\x07\x08", kEnum + "\x05" + kNoPos, kClass + "\x07\x08" + kNoPos,
     kField + "\x04\x05\x06\x07\x08" + kNoPos, 44},
    {-73, kArray + "\x07", kEnum + "\x05" + kNoPos, kClass + "\x07\x08" + kNoPos,
     kField + "\x04\x05\x06\x07\x08" + kNoPos, 44},
};

TEST(VersionFields, EachVersionWritesItsOwnFields) {
    for (const VersionCase& c : kCases) {
        SCOPED_TRACE("version " + std::to_string(c.version));
        EXPECT_EQ(body(c.version, array()), c.array);
        EXPECT_EQ(body(c.version, enumeration()), c.enumeration);
        EXPECT_EQ(body(c.version, class_type()), c.class_type);
        EXPECT_EQ(body(c.version, field()), c.field);
        FileHeader header;
        header.version = c.version;
        header.name = "t.c";
        EXPECT_EQ(encode_file_header(header).size(), c.header_size);
    }
}

TEST(VersionFields, EachVersionReadsItsOwnFields) {
    for (const VersionCase& c : kCases) {
        SCOPED_TRACE("version " + std::to_string(c.version));
        StreamParts parts;
        parts.version = c.version;
        for (const TypeRecord& record : {array(), enumeration(), class_type(), field()})
            RecordWriter(parts.sections[TYPE_SECTION], c.version).write(record);
        std::string bytes = build_stream(parts);
        auto stream = IcodeStream::open(bytes);
        ASSERT_TRUE(stream);
        EXPECT_EQ(stream->header().record_size, c.header_size);
        RecordReader reader(*stream, TYPE_SECTION);
        const auto& a = std::get<ArrayType>(std::get<TypeRecord>(reader.next()->body).body);
        EXPECT_EQ(a.is_vector, c.version >= -76 ? 7 : 0);
        EXPECT_EQ(a.extra, c.version == -75 || c.version == -74 ? 8 : 0);
        const auto& e = std::get<EnumType>(std::get<TypeRecord>(reader.next()->body).body);
        EXPECT_EQ(e.flags, c.version >= -81 ? 5 : 0);
        const auto& k = std::get<ClassType>(std::get<TypeRecord>(reader.next()->body).body);
        EXPECT_EQ(k.special, c.version >= -84 ? 7 : 0);
        EXPECT_EQ(k.flags, c.version >= -81 ? 8 : 0);
        const auto& f = std::get<FieldEntry>(std::get<TypeRecord>(reader.next()->body).body);
        EXPECT_EQ(f.offset, -1);
        EXPECT_EQ(f.fti, c.version >= -74 ? 4 : 0);
        EXPECT_EQ(f.bits, 5u);
        EXPECT_EQ(f.flag1, 6);
        EXPECT_EQ(f.flag2, 7);
        EXPECT_EQ(f.flag3, c.version >= -85 ? 8 : 0);
        EXPECT_EQ(reader.next(), nullptr);
    }
}

TEST(VersionFields, ARecordReadInTheWrongVersionIsRefused) {
    StreamParts parts;
    parts.version = -77;
    RecordWriter(parts.sections[TYPE_SECTION], -73).write(array()); // one byte more
    std::string bytes = build_stream(parts);
    Outcome outcome = run_guarded([&] { read_everything(bytes); });
    EXPECT_TRUE(outcome.stopped);
    EXPECT_NE(outcome.err.find("a record of kind 116 has 1 bytes after its fields"),
              std::string::npos)
        << outcome.err;
}

} // namespace
} // namespace vx::icode::testing
