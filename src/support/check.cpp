#include "support/check.h"

#include "support/termination.h"

#include <cstdio>

namespace vx {

namespace {

void default_check_failure(const char* expression, const char* file, int line) {
    std::fprintf(stderr, "\n>>>> Internal check failed: %s (%s:%d)\n", expression, file, line);
    stop_run(1);
}

CheckFailureHandler& installed_handler() {
    static CheckFailureHandler handler = default_check_failure;
    return handler;
}

} // namespace

CheckFailureHandler set_check_failure_handler(CheckFailureHandler handler) {
    CheckFailureHandler previous = installed_handler();
    installed_handler() = handler ? handler : default_check_failure;
    return previous;
}

void check_failed(const char* expression, const char* file, int line) {
    installed_handler()(expression, file, line);
    stop_run(1);
}

} // namespace vx
