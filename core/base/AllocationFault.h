#pragma once
// Running out of memory on purpose, for the tests: each long stage names the
// places where it allocates, and a test arms one stage so that its n-th such
// place throws std::bad_alloc as a failed allocation would. Unarmed, a place
// costs one relaxed load of an atomic; none sits in the audio callback.

#include <atomic>

namespace dw {

enum class AllocationStage : int {
    None = 0,
    Creation,       // the engine's render
    Finishing,      // effects and loudness over the whole piece
    FlacEncoding,   // the FLAC writer's chunks, inside libFLAC's callback too
    SourceLoading,  // reading the source into memory
};

namespace detail {
extern std::atomic<int> gArmedAllocationStage;
[[noreturn]] void AllocationFaultHit();
bool AllocationFaultCounts();
}  // namespace detail

// Makes the `nth` allocation place reached in `stage` (1: the first) throw,
// once; places reached on several threads count in the order they come.
void ArmAllocationFault(AllocationStage stage, unsigned nth);
void DisarmAllocationFault();

// A place in `stage` that allocates: throws std::bad_alloc when armed for
// this stage and its turn has come.
inline void AllocationPoint(AllocationStage stage) {
    if (detail::gArmedAllocationStage.load(std::memory_order_relaxed) == static_cast<int>(stage)) [[unlikely]] {
        if (detail::AllocationFaultCounts()) detail::AllocationFaultHit();
    }
}

}  // namespace dw
