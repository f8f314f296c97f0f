/* gauss_filter's vector passes with 512-bit AVX-512F vectors, run only on a
 * processor and system that support them (vector_avx512.h). */
#include "exact_arithmetic.h"

#include "volume_passes.h"

#if VOXBLUR_VECTORS_X86_64

#include "vector_avx512.h"

extern "C" void volume_passes_avx512(const double* input, double* output, const int32_t* dimensions,
                               const int32_t* taps, const double* widths, int32_t threads)
{
    run_passes<Avx512<double> >(input, output, dimensions, taps, widths, threads);
}

#include "vector_target_end.h"
#endif
