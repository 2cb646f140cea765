#include "foundation/work_in_two.h"

#include <atomic>
#include <memory>

namespace cpp {

void workInTwo(Bus& bus, const std::function<void()>& here, const std::function<void()>& there) {
    // Whoever claims `there` first runs it; the worker touches nothing else
    // when it comes too late.
    const auto claimed = std::make_shared<std::atomic<bool>>(false);
    const Future<void> done = bus.post([claimed, &there] {
        if (!claimed->exchange(true)) there();
    });
    try {
        here();
    } catch (...) {
        if (claimed->exchange(true)) done.wait();
        throw;
    }
    if (!claimed->exchange(true)) {
        there();
        return;
    }
    done.wait();
    done.get();
}

}  // namespace cpp
