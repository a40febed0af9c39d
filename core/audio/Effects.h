#pragma once
// The three playback effects: a resonant low-pass (the high-cut filter,
// HighCut.h), a reverb (Reverb.h) and a chorus (Chorus.h). Our own DSP, in
// the style of "prepare, then process": Prepare() sizes every delay line for
// a sample rate on a non-real-time thread; Process() and Reset() run on the
// audio thread and never allocate. Where the project's formulas leave the
// units of a parameter open, each header says what we chose (what sounds
// right for slow ambient music).

#include "core/audio/Chorus.h"
#include "core/audio/HighCut.h"
#include "core/audio/Reverb.h"

namespace dw {

// The effects run their loops on AVX2 where the processor has it; every lane
// does the same arithmetic in the same order as the plain loops, so the bytes
// are the same either way. Tests switch the wider loops off (and on again) to
// hold the two to each other; on a processor without AVX2 this does nothing.
void UseWiderVectors(bool on);

}  // namespace dw
