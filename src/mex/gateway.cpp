/* The MEX gateway: out = voxblur(volume, voxel_size, filter_size[, factor]).
 * Checks the arguments' shapes and then their classes, creates the result,
 * converts the filter size to FWHM in voxels and hands raw pointers to the
 * engine. Nothing is read from an argument before both checks have passed
 * for it, so no argument is ever read past the end of its data. */
#include <stdint.h>

#include "mex_host.h"
#include "to_int32.h"
#include "voxblur_engine.h"

enum { IN_VOLUME, IN_VOXEL_SIZE, IN_FILTER_SIZE, IN_FACTOR };
enum { OUT_VOLUME };

/* Kernel length in FWHMs when the caller gives none. */
static const int32_t default_factor = 4;

#ifdef VOXBLUR_OCTAVE
#include <string.h>

/* Octave's dimension entries are 64-bit. A length beyond 32 bits saturates,
 * so the engine refuses it as too large instead of seeing a wrapped value. */
static int32_t dimension(const mxArray* array, int index)
{
    mwSize length = mxGetDimensions(array)[index];
    return length > INT32_MAX ? INT32_MAX : (int32_t)length;
}

/* Octave puts "voxblur: " in front of every message by itself. */
static void fail(const char* message)
{
    static const char own_prefix[] = "voxblur: ";
    const size_t prefix_length = sizeof own_prefix - 1;
    mexErrMsgTxt(strncmp(message, own_prefix, prefix_length) == 0 ? message + prefix_length
                                                                   : message);
}
#else
static int32_t dimension(const mxArray* array, int index)
{
    return mxGetDimensions(array)[index];
}

static void fail(const char* message)
{
    mexErrMsgTxt(message);
}
#endif

static int32_t dimension_count(const mxArray* array)
{
    return (int32_t)mxGetNumberOfDimensions(array);
}

/* Vectors are judged by the larger of their first two dimensions, so that
 * 1x3 and 3x1 (and 3x3) all count as three values. */
static int32_t vector_length(const mxArray* array)
{
    int32_t rows = dimension(array, 0);
    int32_t columns = dimension(array, 1);
    return rows > columns ? rows : columns;
}

/* An argument with no elements is judged by its number of elements, not its
 * shape: a 0x3 array passes the shape test for 3 but holds nothing. The
 * arguments tested here hold at most 9 elements, so the low 32 bits of the
 * count, which every host generation returns correctly, are enough. */
static bool has_no_elements(const mxArray* array)
{
    return (uint32_t)mxGetNumberOfElements(array) == 0;
}

/* Only a full double array holds one double per element where mxGetPr
 * points. A complex one is fine: mxGetPr gives its real part. */
static bool is_full_double(const mxArray* array)
{
    return mxIsDouble(array) && !mxIsSparse(array);
}

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    (void)nlhs;

    if ((uint32_t)nrhs - 3u > 1u) {
        fail("voxblur: No of input arguments should be 3 or 4\n");
        return;
    }
    const mxArray* volume = prhs[IN_VOLUME];
    const mxArray* voxel_size = prhs[IN_VOXEL_SIZE];
    const mxArray* filter_size = prhs[IN_FILTER_SIZE];
    const mxArray* factor_argument = nrhs == 4 ? prhs[IN_FACTOR] : 0;

    const int32_t voxel_size_length = vector_length(voxel_size);
    if (dimension_count(voxel_size) != 2 || (voxel_size_length != 3 && voxel_size_length != 0)) {
        fail("voxblur: Voxel size should have dimension 3 or []\n");
        return;
    }
    if (dimension_count(filter_size) != 2 || vector_length(filter_size) != 3 ||
        has_no_elements(filter_size)) {
        fail("voxblur: Filter size should have dimension 3\n");
        return;
    }
    if (factor_argument &&
        (dimension_count(factor_argument) != 2 || vector_length(factor_argument) >= 2)) {
        fail("voxblur: Multiplication factor for filter dimension should have dimension 1 or []\n");
        return;
    }
    if (dimension_count(volume) != 3) {
        fail("voxblur: Input volume is not a volume\n");
        return;
    }

    /* A voxel size or factor with no elements is never read, whatever its
     * class, and means the same as []. */
    const bool has_voxel_size = voxel_size_length == 3 && !has_no_elements(voxel_size);
    const bool has_factor = factor_argument && vector_length(factor_argument) == 1 &&
                            !has_no_elements(factor_argument);

    /* The classes, in the order of the shape checks. */
    if (has_voxel_size && !is_full_double(voxel_size)) {
        fail("voxblur: Voxel size should be a full double array\n");
        return;
    }
    if (!is_full_double(filter_size)) {
        fail("voxblur: Filter size should be a full double array\n");
        return;
    }
    if (has_factor && !is_full_double(factor_argument)) {
        fail("voxblur: Multiplication factor for filter dimension should be a full double array\n");
        return;
    }
    if (!is_full_double(volume)) {
        fail("voxblur: Input volume should be a full double array\n");
        return;
    }

    const int32_t dims[3] = {dimension(volume, 0), dimension(volume, 1), dimension(volume, 2)};

    mexPrintf("GaussFiltering (Image volume: %d x %d x %d)\n", dims[0], dims[1], dims[2]);

    plhs[OUT_VOLUME] = mxCreateNumericArray(3, mxGetDimensions(volume), mxDOUBLE_CLASS, mxREAL);
    double* output = mxGetPr(plhs[OUT_VOLUME]);
    const double* input = mxGetPr(volume);
    const double* filter = mxGetPr(filter_size);

    double widths[3];
    if (has_voxel_size) {
        const double* voxel = mxGetPr(voxel_size);
        for (int d = 0; d < 3; ++d)
            widths[d] = filter[d] / voxel[d];
    } else {
        for (int d = 0; d < 3; ++d)
            widths[d] = filter[d];
    }

    int32_t factor = default_factor;
    if (has_factor)
        factor = to_int32(*mxGetPr(factor_argument) + 0.5);

    if (gauss_filter(input, output, dims, widths, factor) != 0)
        fail("voxblur: Problems in gauss_filter subroutine");
}
