#include "exact_arithmetic.h"

#include "volume_passes.h"

#if defined(__x86_64__)
extern "C" int cpu_has_avx(void)
{
    /* Also true only when the operating system saves the 256-bit registers. */
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx");
}
#endif

extern "C" void volume_passes(const double* input, double* output, const int32_t* dimensions,
                              const int32_t* taps, const double* widths)
{
#if defined(__x86_64__)
    if (cpu_has_avx())
        volume_passes_avx(input, output, dimensions, taps, widths);
    else
        volume_passes_sse2(input, output, dimensions, taps, widths);
#else
    /* The 32-bit builds compute in the x87 unit; their results are their own. */
    volume_passes_plain(input, output, dimensions, taps, widths);
#endif
}
