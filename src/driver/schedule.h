// The fixed, named schedule of steps through which every function goes.
#pragma once

#include "driver/pass.h"

#include <memory>
#include <vector>

namespace vx::driver {

// Empties the step registry and builds the 54 steps in run order (numbered
// from 0), storing them in the run context's schedule.
void build_schedule();

// Builds the trailer step ("pass 2 trailer"), numbered after the schedule.
void build_trailer();

} // namespace vx::driver
