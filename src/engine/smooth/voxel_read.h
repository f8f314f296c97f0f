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

template <class T, class In>
inline void convert_voxels(const In* in, const uint8_t* mask, int64_t count, T* out)
{
    if (mask)
        for (int64_t i = 0; i < count; ++i)
            out[i] = mask[i] != 0 ? static_cast<T>(in[i]) : T(0);
    else
        for (int64_t i = 0; i < count; ++i)
            out[i] = static_cast<T>(in[i]);
}

template <class T>
inline void convert_logical(const uint8_t* in, const uint8_t* mask, int64_t count, T* out)
{
    for (int64_t i = 0; i < count; ++i)
        out[i] = in[i] != 0 && (!mask || mask[i] != 0) ? T(1) : T(0);
}

template <class In>
inline const In* voxels_from(const void* input, int64_t start)
{
    return static_cast<const In*>(input) + start;
}

template <class T>
void read_voxels(const void* input, enum voxel_class input_class, const uint8_t* mask,
                 int64_t start, int64_t count, T* out)
{
    const uint8_t* m = mask ? mask + start : nullptr;
    switch (input_class) {
    case voxel_double:
        return convert_voxels(voxels_from<double>(input, start), m, count, out);
    case voxel_single:
        return convert_voxels(voxels_from<float>(input, start), m, count, out);
    case voxel_int8:
        return convert_voxels(voxels_from<int8_t>(input, start), m, count, out);
    case voxel_uint8:
        return convert_voxels(voxels_from<uint8_t>(input, start), m, count, out);
    case voxel_int16:
        return convert_voxels(voxels_from<int16_t>(input, start), m, count, out);
    case voxel_uint16:
        return convert_voxels(voxels_from<uint16_t>(input, start), m, count, out);
    case voxel_int32:
        return convert_voxels(voxels_from<int32_t>(input, start), m, count, out);
    case voxel_uint32:
        return convert_voxels(voxels_from<uint32_t>(input, start), m, count, out);
    case voxel_int64:
        return convert_voxels(voxels_from<int64_t>(input, start), m, count, out);
    case voxel_uint64:
        return convert_voxels(voxels_from<uint64_t>(input, start), m, count, out);
    case voxel_logical:
        return convert_logical(voxels_from<uint8_t>(input, start), m, count, out);
    }
}

}  // namespace

#endif
