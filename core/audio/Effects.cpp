#include "core/audio/Effects.h"

#include "core/audio/EffectsShared.h"
#include "core/base/Processor.h"

namespace dw {

namespace {
const bool kHasAvx2 = ProcessorHasAvx2();
}  // namespace

namespace effects {
std::atomic<bool> avx2{kHasAvx2};
}  // namespace effects

void UseWiderVectors(bool on) { effects::avx2.store(on && kHasAvx2, std::memory_order_relaxed); }

}  // namespace dw
