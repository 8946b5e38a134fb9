#include "driver/run_context.h"

namespace vx::driver {

namespace {
std::unique_ptr<RunContext>& context_slot() {
    static std::unique_ptr<RunContext> context = std::make_unique<RunContext>();
    return context;
}
} // namespace

RunContext& run_context() {
    return *context_slot();
}

void reset_run_context() {
    RunContext& old = run_context();
    old.trailer.reset();
    old.schedule.clear();
    context_slot() = std::make_unique<RunContext>();
}

} // namespace vx::driver
