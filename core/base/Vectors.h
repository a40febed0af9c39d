#pragma once
// The compiler's vector types, one name for each width the signal code uses.
// A type names only the width: which instructions carry it is decided by the
// function that uses it (plain, or compiled for AVX2 or AVX-512 through a
// target attribute), so one loop body serves every instruction set. Lanes do
// plain float (or double) arithmetic in the order written, with no fused
// multiply-add (the libraries are built with -ffp-contract=off), so every
// width gives the same bytes.
//
// A function compiled without AVX must not take or return a vector of 32 or
// 64 bytes by value: it would change the calling convention. Pass pointers or
// references, or keep such helpers always inlined.

#include <cstdint>

namespace dw {

using Float4 = float __attribute__((vector_size(16)));   // SSE on x86, NEON on Arm, plain code elsewhere
using Float8 = float __attribute__((vector_size(32)));   // AVX2
using Float16 = float __attribute__((vector_size(64)));  // AVX-512

using Int4 = std::int32_t __attribute__((vector_size(16)));
using Int8 = std::int32_t __attribute__((vector_size(32)));
using Int16 = std::int32_t __attribute__((vector_size(64)));

using Double4 = double __attribute__((vector_size(32)));

}  // namespace dw
