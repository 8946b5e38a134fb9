// A fresh optimizer world for tests that read I-code text into trees:
// switches, symbol tables, node environment, type world and options reset,
// and a type package with the reading environment installed.
#pragma once

#include "ir/type_package.h"

#include <cstdio>
#include <memory>
#include <string>

namespace vx::testing {

// Resets the process-wide state and makes the run's type package.
std::unique_ptr<ir::TYPE_PKG> fresh_ir_world();
// Resets it again after the test, the package last but one: the type world
// must outlive it.
void drop_ir_world(std::unique_ptr<ir::TYPE_PKG>& package);

// A temporary stream holding the I-code that `text` assembles to, rewound.
FILE* icode_stream(const std::string& text);

} // namespace vx::testing
