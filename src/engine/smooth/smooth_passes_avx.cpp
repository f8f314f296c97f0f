/* smooth_volume's passes over Avx vectors (vector_avx.h). */
#include "exact_arithmetic.h"

#include "volume_passes.h"

#if VOXBLUR_VECTORS_X86_64
#include "vector_avx.h"
#include "smooth_schedule.h"

VOXBLUR_SMOOTH_PASSES(smooth_passes_avx, Avx)

#include "vector_target_end.h"
#endif
