/* gauss_filter's vector passes with SSE2's 128-bit vectors, which every x86-64 processor has;
 * the 32-bit builds keep the plain passes (vector_sse2.h). */
#include "exact_arithmetic.h"

#include "volume_passes.h"

#if VOXBLUR_VECTORS_X86_64

#include "vector_sse2.h"

extern "C" void volume_passes_sse2(const double* input, double* output, const int32_t* dimensions,
                               const int32_t* taps, const double* widths, int32_t threads)
{
    run_passes<Sse2<double> >(input, output, dimensions, taps, widths, threads);
}

#endif
