#pragma once
// One stereo sample frame. Every audio buffer of the program (the decoded
// source, the created music, the render target) is a plain array of these,
// which playback and export read as interleaved 32-bit float stereo bytes, so
// the layout is part of the contract.

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "core/base/LargeBuffer.h"

namespace dw {

struct StereoFrame {
    float left = 0.0f;
    float right = 0.0f;
};

static_assert(sizeof(StereoFrame) == 8, "StereoFrame must be two packed 32-bit floats");
static_assert(std::is_trivially_copyable_v<StereoFrame>, "StereoFrame is copied as raw bytes");
static_assert(std::is_standard_layout_v<StereoFrame>, "left must come before right");

// A buffer of frames: the decoded source, the created music. Long ones sit on
// huge pages (see base/LargeBuffer.h).
struct FreeFrameBuffer {
    void operator()(StereoFrame* frames) const { FreeLarge(frames); }
};
using FrameBuffer = std::unique_ptr<StereoFrame[], FreeFrameBuffer>;

// `count` frames, not written: whoever fills them touches the pages first.
// StereoFrame is an aggregate of two floats, so raw storage holds its frames.
// Null when the memory cannot be had.
inline FrameBuffer AllocateFrames(std::size_t count) {
    return FrameBuffer(static_cast<StereoFrame*>(AllocateLarge(count * sizeof(StereoFrame))));
}

// `count` silent frames. Null when the memory cannot be had.
inline FrameBuffer MakeSilentFrames(std::size_t count) {
    FrameBuffer frames = AllocateFrames(count);
    if (frames && count > 0) std::memset(static_cast<void*>(frames.get()), 0, count * sizeof(StereoFrame));
    return frames;
}

}  // namespace dw
