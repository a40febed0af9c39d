#include "core/base/LargeBuffer.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace dw {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// From here on a buffer is worth aligning: a few huge pages at least.
constexpr std::size_t kLargeFrom = 4 * kHugePage;
}  // namespace

void* AllocateLarge(std::size_t bytes) noexcept {
    if (bytes < kLargeFrom) return std::malloc(bytes == 0 ? 1 : bytes);
    void* memory = nullptr;
    if (posix_memalign(&memory, kHugePage, bytes) != 0) return nullptr;
#if defined(MADV_HUGEPAGE)
    // Only advice: where huge pages are off, or the call is refused, the
    // buffer simply keeps ordinary pages.
    (void)madvise(memory, (bytes + kHugePage - 1) / kHugePage * kHugePage, MADV_HUGEPAGE);
#endif
    return memory;
}

void FreeLarge(void* memory) noexcept { std::free(memory); }

}  // namespace dw
