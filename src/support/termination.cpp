#include "support/termination.h"

#include <cstdio>
#include <cstdlib>

namespace vx {

namespace {

[[noreturn]] void default_stop_handler(int status) {
    std::fflush(nullptr);
    std::exit(status);
}

StopHandler& installed_handler() {
    static StopHandler handler = default_stop_handler;
    return handler;
}

} // namespace

StopHandler set_stop_handler(StopHandler handler) {
    StopHandler previous = installed_handler();
    installed_handler() = handler ? handler : default_stop_handler;
    return previous;
}

void stop_run(int status) {
    installed_handler()(status);
    // A handler that returns breaks its contract; do not continue the run.
    default_stop_handler(status);
}

void abort_run() {
    if (installed_handler() == throwing_stop_handler)
        throw RunStopped(3);
    std::fflush(nullptr);
    std::_Exit(3);
}

void throwing_stop_handler(int status) {
    throw RunStopped(status);
}

} // namespace vx
