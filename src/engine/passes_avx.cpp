/* gauss_filter's vector passes with 256-bit AVX vectors, run only on a processor
 * that has them (vector_avx.h). */
#include "exact_arithmetic.h"

#include "volume_passes.h"

#if VOXBLUR_VECTORS_X86_64

#include "vector_avx.h"

extern "C" void volume_passes_avx(const double* input, double* output, const int32_t* dimensions,
                               const int32_t* taps, const double* widths, int32_t threads)
{
    run_passes<Avx<double> >(input, output, dimensions, taps, widths, threads);
}

#include "vector_target_end.h"
#endif
