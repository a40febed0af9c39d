#include "core/base/AllocationFault.h"

#include <new>

namespace dw {

namespace detail {
std::atomic<int> gArmedAllocationStage{0};
namespace {
std::atomic<long> gCountdown{0};
}  // namespace

bool AllocationFaultCounts() {
    // Exactly one place sees the count reach zero, whichever thread it is on.
    if (gCountdown.fetch_sub(1, std::memory_order_relaxed) != 1) return false;
    gArmedAllocationStage.store(0, std::memory_order_relaxed);
    return true;
}

void AllocationFaultHit() { throw std::bad_alloc(); }
}  // namespace detail

void ArmAllocationFault(AllocationStage stage, unsigned nth) {
    detail::gCountdown.store(nth == 0 ? 1 : static_cast<long>(nth), std::memory_order_relaxed);
    detail::gArmedAllocationStage.store(static_cast<int>(stage), std::memory_order_relaxed);
}

void DisarmAllocationFault() {
    detail::gArmedAllocationStage.store(0, std::memory_order_relaxed);
    detail::gCountdown.store(0, std::memory_order_relaxed);
}

}  // namespace dw
