/* smooth_volume's passes over Avx512 vectors (vector_avx512.h). */
#include "exact_arithmetic.h"

#include "volume_passes.h"

#if VOXBLUR_VECTORS_X86_64
#include "vector_avx512.h"
#include "smooth_schedule.h"

VOXBLUR_SMOOTH_PASSES(smooth_passes_avx512, Avx512)

#include "vector_target_end.h"
#endif
