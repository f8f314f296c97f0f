/* The first pass's reading of smooth_volume's input: `count` voxels from
 * voxel `start` on, of any class, into samples of the element type T, each
 * converted on its own as C converts it (rounded to nearest), a logical
 * voxel to 1 or 0, and a voxel whose mask byte is 0 to 0. No converted copy
 * of the volume is ever made: only the rows a pass is about to filter. */
#ifndef VOXBLUR_VOXEL_READ_H
#define VOXBLUR_VOXEL_READ_H

#include <stddef.h>
#include <stdint.h>

#include "smooth_volume.h"

namespace {

/* Voxels start .. start + count - 1 of an input of class In. */
template <class T, class In>
void convert_voxels(const void* input, const uint8_t* mask, int64_t start, int64_t count, T* out)
{
    const In* in = static_cast<const In*>(input) + start;
    /* Every voxel is converted, inside the mask or not, so that the loop
     * reads whole vectors and selects, where a read only inside the mask
     * would take a masked load per vector. */
    if (mask)
        for (int64_t i = 0; i < count; ++i) {
            const T voxel = static_cast<T>(in[i]);
            out[i] = mask[start + i] != 0 ? voxel : T(0);
        }
    else
        for (int64_t i = 0; i < count; ++i)
            out[i] = static_cast<T>(in[i]);
}

/* Logical voxels: one byte each, 0 false, anything else true. */
template <class T>
void convert_logical(const void* input, const uint8_t* mask, int64_t start, int64_t count, T* out)
{
    const uint8_t* in = static_cast<const uint8_t*>(input) + start;
    for (int64_t i = 0; i < count; ++i)
        out[i] = in[i] != 0 && (!mask || mask[start + i] != 0) ? T(1) : T(0);
}

template <class T>
void read_voxels(const void* input, enum voxel_class input_class, const uint8_t* mask,
                 int64_t start, int64_t count, T* out)
{
    typedef void convert_fn(const void*, const uint8_t*, int64_t, int64_t, T*);
    /* In the order of enum voxel_class. */
    static convert_fn* const by_class[] = {
        convert_voxels<T, double>,  convert_voxels<T, float>,   convert_voxels<T, int8_t>,
        convert_voxels<T, uint8_t>, convert_voxels<T, int16_t>, convert_voxels<T, uint16_t>,
        convert_voxels<T, int32_t>, convert_voxels<T, uint32_t>, convert_voxels<T, int64_t>,
        convert_voxels<T, uint64_t>, convert_logical<T>,
    };
    by_class[input_class](input, mask, start, count, out);
}

}  // namespace

#endif
