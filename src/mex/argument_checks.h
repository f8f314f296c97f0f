/* voxblur's argument rules, written once for every entry point. The MEX
 * gateway and the Octave function each describe their arguments in an
 * argument_view, from their own host's queries, and the rules here decide:
 * which message a call fails with, which optional values it reads, and the
 * values handed to the engine. Plain comparisons and arithmetic only, so
 * that no entry point gains a library call from them. */
#ifndef VOXBLUR_ARGUMENT_CHECKS_H
#define VOXBLUR_ARGUMENT_CHECKS_H

#include <stdint.h>

#include "to_int32.h"

enum { IN_VOLUME, IN_VOXEL_SIZE, IN_FILTER_SIZE, IN_FACTOR, MAX_ARGUMENTS };

/* What the rules know of one argument. */
struct argument_view {
    int32_t dimension_count;
    /* The first two dimension entries. */
    int32_t rows;
    int32_t columns;
    /* Judged by the number of elements, not the shape: a 0x3 array passes
     * the shape test for 3 but holds nothing. */
    bool is_empty;
    /* Only a full double array holds one double per element where its data
     * pointer points. A complex one is fine: its real part is read. */
    bool is_full_double;
};

/* Which optional values a call that passed the checks reads. */
struct argument_plan {
    bool has_voxel_size;
    bool has_factor;
};

/* Kernel length in FWHMs when the caller gives none. */
static const int32_t default_factor = 4;

/* A dimension entry as the engine takes it. Octave's entries are 64-bit;
 * a length beyond 32 bits saturates, so the engine refuses it as too large
 * instead of seeing a wrapped value. The hosts' own 32-bit entries take the
 * plain overload, which has no comparison that could never be true. */
static inline int32_t dimension_entry(int32_t length)
{
    return length;
}

template <typename Length>
static inline int32_t dimension_entry(Length length)
{
    return length > INT32_MAX ? INT32_MAX : (int32_t)length;
}

/* Vectors are judged by the larger of their first two dimensions, so that
 * 1x3 and 3x1 (and 3x3) all count as three values. */
static inline int32_t vector_length(const argument_view& argument)
{
    return argument.rows > argument.columns ? argument.rows : argument.columns;
}

/* The message of the first rule that a call of `count` arguments breaks, or
 * null when it keeps them all; `plan` is then filled. views[i] describes
 * argument i; only the first `count` are read, and none when count is
 * neither 3 nor 4. Every shape is checked before any class, so nothing is
 * read from an argument before both checks have passed for it. */
static inline const char* check_arguments(int32_t count, const argument_view* views,
                                          argument_plan* plan)
{
    if ((uint32_t)count - 3u > 1u)
        return "voxblur: No of input arguments should be 3 or 4\n";
    const argument_view& volume = views[IN_VOLUME];
    const argument_view& voxel_size = views[IN_VOXEL_SIZE];
    const argument_view& filter_size = views[IN_FILTER_SIZE];
    const argument_view* factor = count == 4 ? &views[IN_FACTOR] : 0;

    const int32_t voxel_size_length = vector_length(voxel_size);
    if (voxel_size.dimension_count != 2 || (voxel_size_length != 3 && voxel_size_length != 0))
        return "voxblur: Voxel size should have dimension 3 or []\n";
    if (filter_size.dimension_count != 2 || vector_length(filter_size) != 3 || filter_size.is_empty)
        return "voxblur: Filter size should have dimension 3\n";
    if (factor && (factor->dimension_count != 2 || vector_length(*factor) >= 2))
        return "voxblur: Multiplication factor for filter dimension should have dimension 1 or []\n";
    if (volume.dimension_count != 3)
        return "voxblur: Input volume is not a volume\n";

    /* A voxel size or factor with no elements is never read, whatever its
     * class, and means the same as []. */
    plan->has_voxel_size = voxel_size_length == 3 && !voxel_size.is_empty;
    plan->has_factor = factor && vector_length(*factor) == 1 && !factor->is_empty;

    if (plan->has_voxel_size && !voxel_size.is_full_double)
        return "voxblur: Voxel size should be a full double array\n";
    if (!filter_size.is_full_double)
        return "voxblur: Filter size should be a full double array\n";
    if (plan->has_factor && !factor->is_full_double)
        return "voxblur: Multiplication factor for filter dimension should be a full double array\n";
    if (!volume.is_full_double)
        return "voxblur: Input volume should be a full double array\n";
    return 0;
}

/* FWHM in voxels: the filter size divided by the voxel size, or the filter
 * size itself when no voxel size is given (null). */
static inline void fwhm_in_voxels(const double* filter_size, const double* voxel_size,
                                  double* widths)
{
    for (int d = 0; d < 3; ++d)
        widths[d] = voxel_size ? filter_size[d] / voxel_size[d] : filter_size[d];
}

/* The factor's value + 0.5 truncated toward zero (2.5 gives 3, -1.5 gives
 * -1), or the default when none is given (null). */
static inline int32_t kernel_factor(const double* factor)
{
    return factor ? to_int32(*factor + 0.5) : default_factor;
}

/* Octave names the function in front of every error itself; a message that
 * already starts with the name (`name`, with its ": ") loses it, so that it
 * is not named twice. */
static inline const char* without_function_name(const char* message, const char* name)
{
    int32_t i = 0;
    for (; name[i]; ++i)
        if (message[i] != name[i])
            return message;
    return message + i;
}

static inline const char* without_function_name(const char* message)
{
    return without_function_name(message, "voxblur: ");
}

#endif
