/* smooth_volume's work areas: allocated for the call, in one block, and
 * freed before it returns. Their sizes follow from the volume and the
 * kernels, so the arithmetic on them saturates instead of wrapping: a size
 * beyond what the address space holds is a block that cannot be had, as is
 * one the allocator refuses. */
#ifndef VOXBLUR_SMOOTH_WORK_H
#define VOXBLUR_SMOOTH_WORK_H

#include <stddef.h>
#include <stdint.h>

#include "volume_passes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Where the blocks come from: malloc, unless a test puts an allocator that
 * fails here to see the failure reported. Freed with free. */
VOXBLUR_INTERNAL extern void* (*smooth_allocate)(size_t bytes);

#ifdef __cplusplus
}
#endif

/* Every area begins on a cache line: the vector passes' rows are 64 bytes
 * and must not straddle two. */
const size_t work_alignment = 64;

/* count elements of `size` bytes, rounded up to whole cache lines;
 * SIZE_MAX when that does not fit. */
inline size_t area_bytes(int64_t count, size_t size)
{
    if (count < 0 || (uint64_t)count > (SIZE_MAX - work_alignment) / size)
        return SIZE_MAX;
    return ((size_t)count * size + work_alignment - 1) / work_alignment * work_alignment;
}

inline size_t add_bytes(size_t a, size_t b)
{
    return a > SIZE_MAX - b ? SIZE_MAX : a + b;
}

/* a * b for counts that may come from any volume: INT64_MAX where it
 * overflows, which area_bytes then refuses. */
inline int64_t times(int64_t a, int64_t b)
{
    return a > 0 && b > INT64_MAX / a ? INT64_MAX : a * b;
}

/* Hands out areas one after the other from `base`, each on a cache line,
 * and counts the bytes they take. With a null base it only counts: the
 * same layout code sizes a block and then carves it. */
struct Carver {
    char* base;
    size_t used;

    template <class T>
    T* take(int64_t count)
    {
        const size_t at = used;
        used = add_bytes(used, area_bytes(count, sizeof(T)));
        return base ? reinterpret_cast<T*>(base + at) : nullptr;
    }
};

/* `bytes` (a sum of area_bytes) from smooth_allocate, from a cache line
 * on; null when they cannot be had. *allocated is what give_back_work
 * frees. */
char* take_work(size_t bytes, void** allocated);
void give_back_work(void* allocated);

#endif
