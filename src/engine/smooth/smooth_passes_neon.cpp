/* smooth_volume's passes over Neon vectors (vector_neon.h). */
#include "exact_arithmetic.h"

#include "volume_passes.h"

#if VOXBLUR_VECTORS_NEON
#include "vector_neon.h"
#include "smooth_schedule.h"

VOXBLUR_SMOOTH_PASSES(smooth_passes_neon, Neon)


#endif
