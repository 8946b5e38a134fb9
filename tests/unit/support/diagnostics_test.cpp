// Message formatting, wrapping, counting and the ends of a run that a
// diagnostic can cause.
#include "support/diagnostics.h"
#include "support/message_catalog.h"
#include "support/termination.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

using namespace vx::diag;

const MessageDescriptor kWarning{7001, "something odd about %s", nullptr, SEV_WARNING, false,
                                 false};
const MessageDescriptor kError{7002, "%s went wrong", nullptr, SEV_ERROR, false, false};
const MessageDescriptor kAdvice{7003, "consider %s", nullptr, SEV_ADVICE, false, false};
const MessageDescriptor kFixedError{7004, "%s", nullptr, SEV_ERROR, false, true};
const MessageDescriptor kInternalFatal{7005, "broken %s", nullptr, SEV_FATAL, true, false};

class TextMessage : public FormattedDiagnostic<TextMessage, std::string> {
public:
    TextMessage(const MessageDescriptor& d, std::string text,
                std::unique_ptr<SourceInfo> position = nullptr)
        : FormattedDiagnostic(d, "raiser.cpp", 42, std::move(text), std::move(position)) {}
};

class Diagnostics : public ::testing::Test {
protected:
    void SetUp() override {
        reset();
        previous_ = vx::set_stop_handler(vx::throwing_stop_handler);
        capture_ = std::tmpfile();
        settings().stream = capture_;
    }
    void TearDown() override {
        std::fclose(capture_);
        vx::set_stop_handler(previous_);
        reset();
    }
    std::string printed() {
        std::fflush(capture_);
        std::string text;
        std::rewind(capture_);
        int c;
        while ((c = std::fgetc(capture_)) != EOF)
            text += static_cast<char>(c);
        return text;
    }

    FILE* capture_ = nullptr;
    vx::StopHandler previous_ = nullptr;
};

TEST_F(Diagnostics, SeverityWords) {
    EXPECT_STREQ(severity_word(SEV_SUPPRESSED), "(suppressed)");
    EXPECT_STREQ(severity_word(SEV_ADVICE), "advice");
    EXPECT_STREQ(severity_word(SEV_FATAL), "fatal error");
    EXPECT_STREQ(severity_word(8), "(unknown)");
    EXPECT_STREQ(severity_word(-1), "(unknown)");
}

TEST_F(Diagnostics, HiddenWarningPrintsNothingAndDoesNotCount) {
    settings().show_warnings = false;
    EXPECT_EQ(TextMessage(kWarning, "x").emit(), 0);
    EXPECT_EQ(printed(), "");
    EXPECT_EQ(settings().error_count, 0u);
}

TEST_F(Diagnostics, AdviceAndRemarksAreHiddenByDefault) {
    TextMessage(kAdvice, "restrict").emit();
    EXPECT_EQ(printed(), "");
    settings().show_advice = true;
    TextMessage(kAdvice, "restrict").emit();
    EXPECT_EQ(printed(), "advice: consider restrict\n");
}

TEST_F(Diagnostics, PlainHeaderIsTheSeverityWord) {
    TextMessage(kError, "the parse").emit();
    EXPECT_EQ(printed(), "error: the parse went wrong\n");
    EXPECT_EQ(settings().error_count, 1u);
}

TEST_F(Diagnostics, NumberedHeaderMarksDiscretionaryMessages) {
    settings().show_numbers = true;
    TextMessage(kError, "a").emit();
    settings().show_advice = true;
    TextMessage(kAdvice, "b").emit();
    TextMessage(kFixedError, "c").emit();
    EXPECT_EQ(printed(), "error #7002-D: a went wrong\n"
                         "advice #7003: consider b\n"
                         "error #7004: c\n");
}

TEST_F(Diagnostics, MissingOptionParameterHeader) {
    settings().show_numbers = true;
    const MessageDescriptor& d = catalog::missing_parameter;
    EXPECT_EQ(d.number, 24010u);
    struct Missing : FormattedDiagnostic<Missing, std::string, std::string> {
        Missing()
            : FormattedDiagnostic(catalog::missing_parameter, "f", 1, "--info_file", "name") {}
    };
    Missing().emit();
    EXPECT_EQ(printed(), "error #24010-D: option --info_file is missing its parameter 'name'\n");
}

TEST_F(Diagnostics, PositionAndRaisingPlace) {
    settings().show_raise_place = true;
    TextMessage(kError, "it", std::make_unique<SourceInfoData>("a.c", 7, 3, true)).emit();
    TextMessage(kError, "it", std::make_unique<SourceInfoData>("b.c", 0, 0)).emit();
    TextMessage(kError, "it", std::make_unique<SourceInfoData>("", 9, 1)).emit();
    EXPECT_EQ(printed(), "raiser.cpp:42: \"a.c\", line 7 (approximate): error: it went wrong\n"
                         "raiser.cpp:42: \"b.c\": error: it went wrong\n"
                         "raiser.cpp:42: error: it went wrong\n");
}

TEST_F(Diagnostics, LongMessagesWrapWithIndentation) {
    std::string words;
    for (int i = 0; i < 40; ++i)
        words += (i ? " word" : "word") + std::to_string(i);
    TextMessage(kError, words).emit();
    std::string text = printed();
    std::vector<std::string> lines;
    size_t start = 0, nl;
    while ((nl = text.find('\n', start)) != std::string::npos) {
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    ASSERT_GT(lines.size(), 2u);
    EXPECT_LE(lines[0].size(), 79u);
    EXPECT_TRUE(lines[0].starts_with("error: word0 word1"));
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].starts_with("   ")) << lines[i];
        EXPECT_NE(lines[i][3], ' ') << lines[i];
        EXPECT_LE(lines[i].size(), 79u) << lines[i];
    }
    // No word is split and none is lost.
    std::string joined;
    for (const std::string& line : lines)
        joined += line.substr(line.starts_with("   ") ? 3 : 0) + " ";
    EXPECT_NE(joined.find("word38 word39 went wrong"), std::string::npos) << joined;
}

TEST_F(Diagnostics, WordLongerThanALineIsCut) {
    TextMessage(kError, std::string(200, 'x')).emit();
    std::string text = printed();
    EXPECT_EQ(text.substr(0, 79), "error: " + std::string(72, 'x'));
    EXPECT_EQ(text.substr(79, 80), "\n   " + std::string(76, 'x'));
}

TEST_F(Diagnostics, SourceLineWithCaret) {
    const char* name = "diag_source_line_test.c";
    {
        std::ofstream source(name);
        source << "int a;\nint b = c + 1;\nint d;\n";
    }
    settings().show_source_line = true;
    TextMessage(kError, "c", std::make_unique<SourceInfoData>(name, 2, 9)).emit();
    std::remove(name);
    EXPECT_EQ(printed(), "\"diag_source_line_test.c\", line 2: error: c went wrong\n"
                         "int b = c + 1;\n"
                         "        ^\n");
}

TEST_F(Diagnostics, ErrorLimitStopsTheRun) {
    for (int i = 0; i < 100; ++i)
        TextMessage(kError, "e").emit();
    try {
        TextMessage(kError, "e").emit();
        FAIL() << "the fourth error must stop the run";
    } catch (const vx::RunStopped& stop) {
        EXPECT_EQ(stop.status, 1);
    }
    EXPECT_TRUE(printed().ends_with("error: e went wrong\n"
                                    "fatal error: error limit reached; 100 errors detected\n"));
}

TEST_F(Diagnostics, InternalFatalAborts) {
    try {
        TextMessage(kInternalFatal, "tree").emit();
        FAIL();
    } catch (const vx::RunStopped& stop) {
        EXPECT_EQ(stop.status, 3);
    }
    EXPECT_EQ(printed(), "raiser.cpp:42: internal fatal error #7005: broken tree\n");
}

TEST_F(Diagnostics, SuspendedCountingNeitherCountsNorStops) {
    settings().suspend_counting = true;
    TextMessage(kInternalFatal, "x").emit();
    TextMessage(kError, "y").emit();
    EXPECT_EQ(settings().error_count, 0u);
}

TEST_F(Diagnostics, CloneKeepsArgumentsAndPosition) {
    TextMessage original(kError, "abc", std::make_unique<SourceInfoData>("f.c", 1, 2));
    auto copy = original.clone();
    EXPECT_TRUE(copy->equals(original));
    EXPECT_EQ(copy->message_text(), "abc went wrong");
    TextMessage elsewhere(kError, "abc", std::make_unique<SourceInfoData>("f.c", 1, 3));
    EXPECT_FALSE(elsewhere.equals(original));
}

TEST_F(Diagnostics, StringWrapping) {
    std::string wrapped = WrappingPrinter::wrap_into_string("aaa bbb ccc", 5);
    EXPECT_EQ(wrapped, "aaa\n   bbb ccc");
}

} // namespace
