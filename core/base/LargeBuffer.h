#pragma once
// Memory for buffers of many megabytes (the created music, a decoded source).
// Such a buffer is aligned to the 2 MiB of a huge page and marked for huge
// pages where the system offers them (Linux's transparent huge pages), so
// that the first touch of a gigabyte costs hundreds of page faults instead of
// hundreds of thousands; on a virtual machine each fault is dear. Smaller
// buffers come from the ordinary heap. Nothing is written here: whoever fills
// the buffer touches its pages first.

#include <cstddef>

namespace dw {

// Null when the memory cannot be had. Release with FreeLarge.
void* AllocateLarge(std::size_t bytes) noexcept;
void FreeLarge(void* memory) noexcept;

}  // namespace dw
