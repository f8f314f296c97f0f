/* gauss_filter's vector passes with NEON's 128-bit vectors, which every 64-bit ARM
 * processor has (vector_neon.h). */
#include "exact_arithmetic.h"

#include "volume_passes.h"

#if VOXBLUR_VECTORS_NEON

#include "vector_neon.h"

extern "C" void volume_passes_neon(const double* input, double* output, const int32_t* dimensions,
                               const int32_t* taps, const double* widths, int32_t threads)
{
    run_passes<Neon<double> >(input, output, dimensions, taps, widths, threads);
}

#endif
