#pragma once
// What vector instructions the processor offers, asked once for the whole
// program: the renderer and the effects pick their widest loops by it. Safe
// to call from static initialisers. False on other architectures and
// compilers.

namespace dw {

// AVX2 (eight floats to a register).
bool ProcessorHasAvx2();
// AVX-512 with the subsets our loops use (F, VL, DQ, BW): sixteen floats to a
// register, masks per lane.
bool ProcessorHasAvx512();

}  // namespace dw
