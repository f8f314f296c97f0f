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

/* One block for all of a call's areas, handed out in turn by carve. */
struct WorkBlock {
    void* allocated;
    char* next;
};

/* Allocates `bytes` (a sum of area_bytes) for the areas; false when they
 * cannot be had, and then nothing needs freeing. */
bool take_work(WorkBlock* block, size_t bytes);
void give_back_work(WorkBlock* block);

/* The next area of `count` elements of T, from the block. */
template <class T>
T* carve(WorkBlock* block, int64_t count)
{
    T* area = reinterpret_cast<T*>(block->next);
    block->next += area_bytes(count, sizeof(T));
    return area;
}

#endif
