#pragma once
// The true peak of stereo music: the highest magnitude of the waveform
// between the samples as well as at them, found by 4x oversampling as the
// loudness standard (ITU-R BS.1770) describes.
//
// The interpolation filter is the design libebur128 scans with (a sinc of 49
// taps at the oversampled rate, shaped by a Hann window), so both read the
// same peaks; it is ours because libebur128's scan runs one tap at a time in
// double precision and took three quarters of a written file's finishing
// time. Here the three in-between phases run as vectors over blocks of frames.
//
// Pure and re-entrant: each call reads only the frames it is given, so parts
// of one piece can be measured on several threads at once.

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/model/StereoFrame.h"

namespace dw {

// How far TruePeakOf reads outside the frames it is given: frames before
// `begin` (the filter's reach back) and after `end` (its reach ahead, and a
// block rounded up to whole sixteens). A caller that measures a piece in
// pieces keeps these frames settled before it measures up to a border.
inline constexpr std::size_t kTruePeakReachBack = 5;
inline constexpr std::size_t kTruePeakReachAhead = 21;

// The highest magnitude, linear (1.0 is full scale), of the samples and the
// oversampled waveform from frame `begin` up to `end` of `music` (a few
// points past `end` may be measured too: they are of the same waveform). The
// waveform counts silence before the first frame and after the last one, as
// a player's converter does. Oversamples 4x below 96 kHz, 2x below 192 kHz.
float TruePeakOf(std::span<const StereoFrame> music, std::uint32_t sampleRate, std::size_t begin, std::size_t end);

}  // namespace dw
