// A fresh type world for each test, one package, and the text a body prints
// before it ends the run.
#pragma once

#include "ir/type_package.h"
#include "support/termination.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace vx::ir {

// The standard-error text of a body that must end the run with status 1.
template <typename Body> std::string stop_text_of(Body body) {
    ::testing::internal::CaptureStderr();
    try {
        body();
    } catch (const RunStopped& stop) {
        EXPECT_EQ(stop.status, 1);
        return ::testing::internal::GetCapturedStderr();
    }
    ::testing::internal::GetCapturedStderr();
    ADD_FAILURE() << "the run went on";
    return "";
}

class TypeWorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_type_world();
        previous_handler_ = set_stop_handler(throwing_stop_handler);
        package_ = std::make_unique<TYPE_PKG>();
    }
    void TearDown() override {
        package_.reset();
        reset_type_world();
        set_stop_handler(previous_handler_);
    }
    TYPE_PKG& pkg() { return *package_; }
    TYPE* basic(TYPE::IKIND ikind) { return pkg().int_type(ikind); }
    TYPE* basic(TYPE::FKIND fkind) { return pkg().float_type(fkind); }

    template <typename Body> static std::string stop_text(Body body) { return stop_text_of(body); }

    std::unique_ptr<TYPE_PKG> package_;
    StopHandler previous_handler_ = nullptr;
};

} // namespace vx::ir
