/* smooth_volume's passes over Sse2 vectors (vector_sse2.h). */
#include "exact_arithmetic.h"

#include "volume_passes.h"

#if VOXBLUR_VECTORS_X86_64
#include "vector_sse2.h"
#include "smooth_schedule.h"

VOXBLUR_SMOOTH_PASSES(smooth_passes_sse2, Sse2)


#endif
