#include "core/base/Processor.h"

namespace dw {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

bool ProcessorHasAvx2() {
    __builtin_cpu_init();  // callers may run among the static initialisers
    return __builtin_cpu_supports("avx2") != 0;
}

bool ProcessorHasAvx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw");
}

#else

bool ProcessorHasAvx2() { return false; }
bool ProcessorHasAvx512() { return false; }

#endif

}  // namespace dw
