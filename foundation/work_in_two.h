#pragma once

#include <functional>

#include "foundation/bus.h"

namespace cpp {

// Runs `here` on this thread and `there` on a worker of `bus` at the same
// time, and returns once both have ended: what they use may go afterwards.
// A `there` the bus has not begun by the time `here` ends runs here instead,
// so a busy bus costs no wait. An exception of either comes out here; when
// `here` fails, a `there` not yet begun is not run.
void workInTwo(Bus& bus, const std::function<void()>& here, const std::function<void()>& there);

}  // namespace cpp
