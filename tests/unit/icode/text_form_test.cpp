// The text form: assembling the disassembly of a stream gives back its
// bytes, for the examples, for random streams of every version, and for
// records that do not use the shortest encodings; mistakes in a text are
// reported with their line.
#include "unit/icode/icode_test_support.h"

#include "icode/record_reader.h"
#include "icode/text/assembler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vx::icode::testing {
namespace {

using text::assemble;
using text::TextError;

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

constexpr int kVersions[] = {-86, -85, -84, -83, -82, -81, -80, -79, -78, -77, -76, -75, -74, -73};

// The examples, and the fuzzer's seed that holds every record kind.
TEST(TextForm, WrittenTextsRoundTripByteForByte) {
    std::filesystem::path root(VXOPT_SOURCE_DIR);
    int texts = 0;
    for (const auto& folder : {root / "examples", root / "tests/fuzz/seeds"}) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().extension() != ".ict")
                continue;
            ++texts;
            std::string bytes = assemble(read_file(entry.path()));
            size_t records = 0;
            Outcome read = run_guarded([&] { records = read_everything(bytes); });
            EXPECT_FALSE(read.stopped) << read.err;
            EXPECT_GT(records, 10u) << entry.path();
            std::string text = dis(bytes);
            EXPECT_EQ(assemble(text), bytes) << entry.path();
            EXPECT_EQ(dis(assemble(text)), text) << entry.path();
        }
    }
    EXPECT_GE(texts, 3);
}

TEST(TextForm, RandomStreamsOfEveryVersionRoundTrip) {
    for (int version : kVersions) {
        for (uint32_t seed = 1; seed <= 12; ++seed) {
            std::string bytes =
                generate_stream(seed * 7919 + static_cast<uint32_t>(-version), version);
            SCOPED_TRACE("version " + std::to_string(version) + " seed " + std::to_string(seed));
            Outcome read = run_guarded([&] { read_everything(bytes); });
            ASSERT_FALSE(read.stopped) << read.err;
            std::string text;
            Outcome shown = run_guarded([&] { text = dis(bytes); });
            ASSERT_FALSE(shown.stopped) << shown.err;
            ASSERT_EQ(assemble(text), bytes) << text;
        }
    }
}

// Over-long LEB128 numbers and lengths are legal to read; such records are
// shown as raw bytes, with what they hold in a comment.
TEST(TextForm, RecordsNotInShortestFormAreKeptAsRawBytes) {
    StreamParts parts;
    parts.main = std::string("\x2a\x03\x85\x80\x00", 5)       // label 5, padded number
                 + std::string("\x2a\x81\x00\x06", 4)         // label 6, padded length
                 + std::string("\x2e\x01\x00", 3)             // stmt, then an ICON whose
                 + std::string("\x65\x04\x04\x00\xff\x7f", 6) // unsigned value 16383 is
                 + std::string("\x2a\x01\x07", 3);            // written as ff 7f... label 7
    parts.sections[SYMBOL_SECTION] = "";
    std::string bytes = build_stream(parts);
    std::string text = dis(bytes);
    EXPECT_NE(text.find("raw 2a 03 85 80 00"), std::string::npos) << text;
    EXPECT_NE(text.find(";   label 5"), std::string::npos) << text;
    EXPECT_NE(text.find("raw 2a 81 00 06"), std::string::npos) << text;
    EXPECT_NE(text.find("stmt (ICON 16383)"), std::string::npos) << text;
    EXPECT_NE(text.find("\nlabel 7\n"), std::string::npos) << text;
    EXPECT_EQ(assemble(text), bytes);
}

TEST(TextForm, BitsAboveThirtyTwoInANumberAreKeptToo) {
    StreamParts parts;
    parts.main = std::string("\x2a\x05\xff\xff\xff\xff\x7f", 7); // label with bits above 32
    std::string bytes = build_stream(parts);
    std::string text = dis(bytes);
    EXPECT_NE(text.find("label 4294967295"), std::string::npos) << text;
    EXPECT_EQ(assemble(text), bytes);
}

TEST(TextForm, AHeaderNotInShortestFormIsKeptAsRawBytes) {
    std::string bytes = build_stream(StreamParts{});
    bytes[1] = static_cast<char>(bytes[1] | 0x80); // the length, padded to two bytes
    bytes.insert(2, 1, '\0');
    std::string text = dis(bytes);
    EXPECT_EQ(text.rfind("header-raw 08 aa 00 21 3c", 0), 0u) << text;
    EXPECT_EQ(assemble(text), bytes);
}

TEST(TextForm, UnknownKindsAndGapsSurvive) {
    StreamParts parts;
    parts.main = std::string("\x4d\x02\xab\xcd", 4); // kind 77
    parts.sections[SYMBOL_SECTION] = "";
    std::string bytes = build_stream(parts) + "\x01\x02";
    std::string text = dis(bytes);
    EXPECT_NE(text.find("; a record of unknown kind 77\nraw 4d 02 ab cd\n"), std::string::npos);
    EXPECT_NE(text.find("gap 01 02"), std::string::npos);
    EXPECT_EQ(assemble(text), bytes);
}

TEST(TextForm, SectionsMayComeInAnyOrder) {
    std::string text = "icode -80 600 \"x.c\"\nsection symbols\nsym \"a\"\n"
                       "section types\ntype 1 char\nsection files\nfile \"x.c\"\n";
    std::string bytes = assemble(text);
    auto stream = IcodeStream::open(bytes);
    ASSERT_TRUE(stream);
    EXPECT_LT(stream->start(SYMBOL_SECTION), stream->start(TYPE_SECTION));
    EXPECT_EQ(stream->header().section_offsets[INIT_SECTION], 0u);
    EXPECT_EQ(assemble(dis(bytes)), bytes);
}

TEST(TextForm, HandWrittenTextMayLeaveOutZerosAndNameFields) {
    std::string by_name = assemble("icode\nsym \"x\" type=6 size=16 @1:2:3\n");
    std::string by_position = assemble("icode -73 600 \"\"\nsym \"x\" 16 0 0 0 6 0 0 0 0 @1:2:3\n");
    EXPECT_EQ(by_name, by_position);
}

TEST(TextForm, SignednessOfConstantsFollowsTheTypeSection) {
    // 64 is C0 00 as a signed number and 40 as an unsigned one; an enum
    // and a typedef take the sign of what they stand for.
    std::string bytes = assemble("icode\n"
                                 "stmt (ICON:1 64)\nstmt (ICON:2 64)\nstmt (ICON:3 -1)\n"
                                 "stmt (ICON:4 -65)\n"
                                 "section types\ntype 1 int\ntype 2 uint\n"
                                 "type 3 enum \"e\" under=1\ntype 4 typedef \"t\" 3\n");
    EXPECT_NE(bytes.find(std::string("\x65\x04\x04\x01\xc0\x00", 6)), std::string::npos);
    EXPECT_NE(bytes.find(std::string("\x65\x03\x04\x02\x40", 5)), std::string::npos);
    EXPECT_NE(bytes.find(std::string("\x65\x03\x04\x03\x7f", 5)), std::string::npos);
    EXPECT_NE(bytes.find(std::string("\x65\x04\x04\x04\xbf\x7f", 6)), std::string::npos);
}

struct BadText {
    const char* text;
    int line;
    const char* message;
};

TEST(TextForm, MistakesNameTheirLine) {
    const BadText cases[] = {
        {"icode\nfrob 1\n", 2, "unknown keyword 'frob'"},
        {"icode\nlabel 1 2\n", 2, "too many values for 'label': '2'"},
        {"icode\nlabel x\n", 2, "'x' is not a number (field 'label')"},
        {"icode\nmark 256\n", 2, "256 is out of range for field 'value' (0 to 255)"},
        {"icode\nloop 1 flags=70000\n", 2, "70000 is out of range for field 'flags'"},
        {"icode\nsym \"x\" size=1 size=2\n", 2, "field 'size' is given twice"},
        {"icode\nsym \"x\" 5 size=2\n", 2, "field 'size' is given twice"},
        {"icode\nstmt\n", 2, "'stmt' needs a tree"},
        {"icode\nstmt (PLUS:1 (ICON 1))\n", 2, "PLUS takes 2 operands, found 1"},
        {"icode\nstmt (UMINUS (ICON 1) (ICON 2))\n", 2, "too many operands for UMINUS"},
        {"icode\nstmt (FROB)\n", 2, "unknown opcode 'FROB'"},
        {"icode\nstmt (op164)\n", 2, "unknown opcode 'op164'"},
        {"icode\nstmt (NAME 1 2 3)\n", 2, "too many values for 'NAME'"},
        {"icode\nstmt (ICON 1) (ICON 2)\n", 2, "unexpected '(' after the tree"},
        {"icode\nstmt (PLUS (ICON 1)\n\n(ICON 2)", 2, "unclosed parenthesis"},
        {"icode\ntext \"a\\0b\"\n", 2, "field 'text' cannot hold \\0"},
        {"icode\ntext \"abc\n", 2, "unterminated string"},
        {"icode\ntext \"\\q\"\n", 2, "unknown escape \\q"},
        {"icode\nattr 3\n", 2, "attr must follow a sym line"},
        {"icode\ninit 1\n(ICON 1)\nlabel 3\n", 2, "the initializer's values end with (ENDINIT)"},
        {"icode\neht\nentry 1 2 0 2\nnames \"a\" 1 0\n", 4, "the entry announces 2 names"},
        {"icode\neht\nentry 1 1 0 0\nlabel 1\n", 3,
         "an entry of kind 1 is followed by its cleanup"},
        {"icode\nsection types\ntype 1 frob\n", 3, "unknown type code 'frob'"},
        {"icode -80\nsection types\ntype 1 array 2 3 vector=1\n", 3,
         "'type' has no field 'vector' in version -80"},
        {"icode -84 600 \"x\" word=1\n", 1, "'icode' has no field 'word' in version -84"},
        {"icode\nsection types\nsection types\n", 3, "section types appears twice"},
        {"icode\nsection frob\n", 2, "a section line names one of"},
        {"icode\ngap 0\n", 2, "'0' is not a run of hexadecimal bytes"},
        {"icode\ngap 00\nlabel 1\n", 3, "records after a gap need a section line"},
        {"icode\nfunc @0:1:1\n", 2, "a position with file 0 has no line or column"},
        {"icode\nfunc @1:x\n", 2, "a position is @FILE:LINE:COLUMN or @-"},
        {"icode\nopaque rest=<0g>\n", 2, "takes bytes in hexadecimal between < and >"},
        {"icode\nddvect 1 elements=1:200\n", 2, "200 is out of range"},
        {"icode\n(ICON 1)\n", 2, "a tree belongs on a stmt or cleanup line"},
        {"icode\n)\n", 2, "')' without '('"},
    };
    for (const BadText& bad : cases) {
        SCOPED_TRACE(bad.text);
        try {
            assemble(bad.text);
            ADD_FAILURE() << "assembled without complaint";
        } catch (const TextError& error) {
            EXPECT_EQ(error.line, bad.line);
            EXPECT_NE(std::string(error.what()).find(bad.message), std::string::npos)
                << error.what();
        }
    }
}

} // namespace
} // namespace vx::icode::testing
