#pragma once
// One stereo sample frame. Every audio buffer of the program (the decoded
// source, the created music, the render target) is a plain array of these,
// which playback and export read as interleaved 32-bit float stereo bytes, so
// the layout is part of the contract.

#include <type_traits>

namespace dw {

struct StereoFrame {
    float left = 0.0f;
    float right = 0.0f;
};

static_assert(sizeof(StereoFrame) == 8, "StereoFrame must be two packed 32-bit floats");
static_assert(std::is_trivially_copyable_v<StereoFrame>, "StereoFrame is copied as raw bytes");
static_assert(std::is_standard_layout_v<StereoFrame>, "left must come before right");

}  // namespace dw
