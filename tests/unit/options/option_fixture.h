// A fresh option world for each test: empty registry and switches, default
// diagnostics writing unwrapped into a temporary file, and a stop handler
// that throws instead of ending the test program.
#pragma once

#include "options/option_object.h"
#include "options/option_sets.h"
#include "support/diagnostics.h"
#include "support/switches.h"
#include "support/termination.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vx::opt::testing {

inline std::string read_all(FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    return text;
}

class OptionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        reset_option_registry("/usr/bin/optvx");
        sw::reset_switches();
        diag::reset();
        messages_ = std::tmpfile();
        diag::settings().stream = messages_;
        diag::settings().wrap = false;
        previous_handler_ = set_stop_handler(throwing_stop_handler);
    }

    void TearDown() override {
        set_stop_handler(previous_handler_);
        diag::reset();
        std::fclose(messages_);
        reset_option_registry();
        sw::reset_switches();
    }

    // Parses command-line words the way the driver does: each word that
    // starts with "-" goes to the registry, and an option may take the word
    // after it as its argument.
    bool parse_words(std::vector<const char*> words, OptionObject& target) {
        std::size_t next = 0;
        NextArgument next_word = [&]() -> const char* {
            return next < words.size() ? words[next++] : nullptr;
        };
        while (next < words.size())
            if (!target.parse(words[next++] + 1, next_word))
                return false;
        return true;
    }
    bool parse_words(std::vector<const char*> words) { return parse_words(words, options_); }

    std::string messages() { return read_all(messages_); }

    // The status the run ends with inside `action`, or -1 when it goes on.
    template <typename Action> static int stop_status(Action action) {
        try {
            action();
        } catch (const RunStopped& stop) {
            return stop.status;
        }
        return -1;
    }

    OptionObject options_{"/usr/bin/optvx"};
    FILE* messages_ = nullptr;
    StopHandler previous_handler_ = nullptr;
};

} // namespace vx::opt::testing
