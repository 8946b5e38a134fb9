// Malformed streams: each gives its message naming the offset and ends the
// run with status 1, never reading past the stream.
#include "unit/icode/icode_test_support.h"

#include "icode/file_header.h"
#include "icode/record_reader.h"
#include "icode/text/assembler.h"

#include <gtest/gtest.h>

namespace vx::icode::testing {
namespace {

const std::string kRecordFault = "\nINTERNAL ERROR: Invalid I-code record, aborting\n";
const std::string kEhtFault = "\nINTERNAL ERROR: Invalid EHT record in I-code, aborting\n";
constexpr size_t kMain = 44; // where the main part starts in these streams

std::string with_main(const std::string& main) {
    StreamParts parts;
    parts.main = main;
    return build_stream(parts);
}

// Reads `bytes` and expects the run to end with `detail` at `offset`.
void expect_refused(const std::string& bytes, size_t offset, const std::string& detail,
                    const std::string& family = kRecordFault) {
    Outcome outcome = run_guarded([&] { read_everything(bytes); });
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.status, 1);
    char at[32];
    std::snprintf(at, sizeof at, "0x%lx", static_cast<unsigned long>(offset));
    EXPECT_EQ(outcome.err,
              "\n>> I-code error at " + std::string(at) + ": " + detail + "\n" + family);
}

std::string b(const char* bytes, size_t size) {
    return std::string(bytes, size);
}

TEST(MalformedStream, HeadersThatAreRefusedSayWhy) {
    std::string good = with_main("");
    auto problem = [](std::string bytes) {
        return check_file_header(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())
            .problem;
    };
    EXPECT_EQ(problem(good), HeaderProblem::none);
    EXPECT_EQ(problem(""), HeaderProblem::cut_short);
    EXPECT_EQ(problem("\x07"), HeaderProblem::not_a_header);
    EXPECT_EQ(problem(good.substr(0, 30)), HeaderProblem::cut_short);
    std::string bad_magic = good;
    bad_magic[3] = 'X';
    EXPECT_EQ(problem(bad_magic), HeaderProblem::bad_magic);
    for (int version : {-87, -72}) {
        FileHeader header;
        header.version = version;
        EXPECT_EQ(problem(encode_file_header(header)), HeaderProblem::bad_version);
    }
    FileHeader wrong_format;
    wrong_format.format = 601;
    EXPECT_EQ(problem(encode_file_header(wrong_format)), HeaderProblem::bad_format);
    std::string longer = good;
    longer[1] = static_cast<char>(longer[1] + 1); // one byte more than the fields
    EXPECT_EQ(problem(longer), HeaderProblem::bad_length);
}

TEST(MalformedStream, EveryCutOfAStreamEndsTheRunCleanly) {
    std::string whole = generate_stream(99, -73);
    size_t header = IcodeStream::open(whole)->header().record_size;
    for (size_t size = header; size < whole.size(); ++size) {
        std::string cut = whole.substr(0, size);
        Outcome outcome = run_guarded([&] { read_everything(cut); });
        if (!outcome.stopped)
            continue; // the cut fell between sections that are not read
        EXPECT_EQ(outcome.status, 1) << size;
        EXPECT_EQ(outcome.err.find("\n>> I-code error at 0x"), 0u) << size << outcome.err;
    }
}

TEST(MalformedStream, FramingFaults) {
    expect_refused(with_main("").substr(0, kMain), kMain,
                   "the stream ends before the end mark (0xFF) of the main part");
    expect_refused(with_main("").substr(0, kMain) + "\x2a", kMain,
                   "the stream ends inside the length of a record of kind 42");
    expect_refused(with_main("").substr(0, kMain) + "\x2a\x05\x01", kMain,
                   "a record of kind 42 announces a body of 5 bytes, the stream ends after 1");
    // The next section starts right after the main part's end mark.
    StreamParts parts;
    parts.main = "\x2a\x01\x05";
    parts.sections[SYMBOL_SECTION] = "";
    std::string stream = build_stream(parts);
    stream[kMain + 1] = '\x03'; // the label now runs into the symbol section
    expect_refused(stream, kMain,
                   "a record of kind 42 announces a body of 3 bytes, the main part ends after 2");
    std::string unended = stream;
    unended[kMain + 1] = '\x01';
    unended.erase(kMain + 3, 1); // the main part's end mark
    unended[32] = static_cast<char>(unended[32] - 1);
    expect_refused(unended, kMain + 3,
                   "the main part runs into the next section without an end mark (0xFF)");
    expect_refused(with_main(b("\x2a\x02\x05\x00", 4)), kMain,
                   "a record of kind 42 has 1 bytes after its fields (body of 2 bytes)");
    expect_refused(with_main(b("\x2a\x00", 2)), kMain,
                   "the body of a record of kind 42 (0 bytes) ends inside its fields");
    StreamParts outside;
    outside.sections[SYMBOL_SECTION] = "";
    std::string far = build_stream(outside);
    far[2 + 10 + 4 + 16] = '\x0f'; // the symbol section's offset, low byte
    far[2 + 10 + 4 + 17] = '\x27'; // 0x270f
    expect_refused(far, 0, "the symbol section offset 0x270f lies outside the stream's records");
}

TEST(MalformedStream, CountsThatCannotBeMetAllocateNothing) {
    // An attribute list announcing 4294967295 strings in a two-byte body.
    expect_refused(with_main(b("\x5e\x07\x01\xff\xff\xff\xff\x0f\x61", 9)), kMain,
                   "the body of a record of kind 94 (7 bytes) ends inside its fields");
    // An exception table announcing 4294967295 entries, then the end mark.
    expect_refused(with_main(b("\x5d\x05\xff\xff\xff\xff\x0f", 7)), kMain + 7,
                   "exception-table entry 1 of 4294967295 is due, found a record of kind 255",
                   kEhtFault);
    // A dependence vector announcing 255 elements with two bytes of them.
    expect_refused(with_main(b("\x3b\x05\x01\x00\xff\x01\x02", 7)), kMain,
                   "the body of a record of kind 59 (5 bytes) ends inside its fields");
}

TEST(MalformedStream, UnknownTopLevelKindsAreReportedAndSkipped) {
    std::string stream = with_main(b("\x4d\x02\xab\xcd\x65\x02\x00\x00\x2a\x01\x05", 11));
    size_t records = 0;
    Outcome outcome = run_guarded([&] { records = read_everything(stream); });
    EXPECT_FALSE(outcome.stopped);
    EXPECT_EQ(records, 3u);
    EXPECT_EQ(outcome.err, "\n///ERROR @0x2c\n\n\n///ERROR @0x30\n\n");
}

TEST(MalformedStream, TreeFaults) {
    expect_refused(with_main(b("\x2e\x01\x00\x65\x02\xa4\x00", 7)), kMain + 3,
                   "tree node with opcode 164, above 163");
    expect_refused(with_main(b("\x2e\x01\x00\x2a\x01\x05", 6)), kMain + 3,
                   "a tree node is due, found a record of kind 42");
    // A PLUS with one operand, then the end of the part.
    expect_refused(with_main(b("\x2e\x01\x00\x65\x02\x06\x00\x65\x02\x00\x00", 11)), kMain + 11,
                   "a tree node is due, found the end mark (0xFF)");
    // An initializer whose values never reach ENDINIT.
    StreamParts parts;
    parts.sections[INIT_SECTION] = b("\x69\x01\x00\x65\x02\x00\x00", 7);
    std::string stream = build_stream(parts);
    expect_refused(stream, kMain + 1 + 7, "a tree node is due, found the end mark (0xFF)");
    // A node whose payload runs past its body.
    expect_refused(with_main(b("\x2e\x01\x00\x65\x03\x02\x00\x01", 8)), kMain + 3,
                   "the body of a record of kind 101 (3 bytes) ends inside its fields");
}

TEST(MalformedStream, ExceptionTableFaults) {
    std::string eht_one = b("\x5d\x01\x01", 3);
    expect_refused(with_main(eht_one + b("\x2a\x01\x05", 3)), kMain + 3,
                   "exception-table entry 1 of 1 is due, found a record of kind 42", kEhtFault);
    expect_refused(with_main(eht_one + b("\x5b\x04\x01\x01\x00\x00\x2a\x01\x05", 9)), kMain + 9,
                   "the cleanup statement of an exception-table entry is due, found a record of "
                   "kind 42",
                   kEhtFault);
    expect_refused(with_main(eht_one + b("\x5b\x04\x01\x02\x00\x01\x2a\x01\x05", 9)), kMain + 9,
                   "the name list of an exception-table entry is due, found a record of kind 42",
                   kEhtFault);
    // Two names announced, one given.
    expect_refused(with_main(eht_one + b("\x5b\x04\x01\x02\x00\x02\x3f\x04"
                                         "a\0\x01\x02",
                                         12)),
                   kMain + 9, "the body of a record of kind 63 (4 bytes) ends inside its fields",
                   kEhtFault);
    expect_refused(
        with_main(eht_one + b("\x5b\x05\x01\x02\x00\xff\x01\x3f\x01\x00", 10)), kMain + 10,
        "an exception-table entry announces 255 names, its name list has 1 bytes", kEhtFault);
}

TEST(MalformedStream, AttributeListsOfASymbolMustFollowIt) {
    std::string symbol = b("\x23\x0e"
                           "x\0"
                           "\0\0\0\0\0\0\0\0\x03\0\0\0",
                           16);
    expect_refused(with_main(symbol + b("\x5e\x02\x01\x00\x2a\x01\x05", 7)), kMain + 16 + 4,
                   "attribute list 2 of 3 of a symbol is due, found a record of kind 42");
}

TEST(MalformedStream, DeepAndLongTreesCostNoStack) {
    constexpr int kDepth = 200000;
    std::string main = b("\x2e\x01\x00", 3);
    for (int i = 0; i < kDepth; ++i)
        main += b("\x65\x02\x0a\x00", 4); // UMINUS
    main += b("\x65\x03\x04\x00\x05", 5); // ICON 5
    std::string stream = with_main(main);
    EXPECT_EQ(read_everything(stream), 1u);
    EXPECT_EQ(text::assemble(dis(stream)), stream);
}

} // namespace
} // namespace vx::icode::testing
