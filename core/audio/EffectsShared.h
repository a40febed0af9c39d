#pragma once
// What the effects' own files share (not for their users): which channels a
// mask names, and whether the wider vector loops run.

#include <atomic>

// The AVX2 loops are compiled where the compiler can target them.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define DW_EFFECTS_AVX2 1
#endif

namespace dw::effects {

inline bool Uses(int mask, int channel) { return mask == -1 || (mask & (1 << channel)) != 0; }

inline int MaskOf(int channels) { return channels == -1 ? 3 : (channels & 3); }

// Whether the effects' AVX2 loops run (see UseWiderVectors in Effects.h).
extern std::atomic<bool> avx2;

}  // namespace dw::effects
