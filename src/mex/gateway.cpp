/* The MEX gateway: out = voxblur(volume, voxel_size, filter_size[, factor]).
 * Describes each argument through the host's queries, lets the argument
 * rules decide, creates the result and hands raw pointers to the engine. */
#include <stdint.h>

#include "argument_checks.h"
#include "mex_host.h"
#include "voxblur_engine.h"

enum { OUT_VOLUME };

#ifdef VOXBLUR_OCTAVE
/* Octave's mexErrMsgTxt names the function in front of every message. */
static void fail(const char* message)
{
    mexErrMsgTxt(without_function_name(message));
}
#else
static void fail(const char* message)
{
    mexErrMsgTxt(message);
}
#endif

static int32_t dimension(const mxArray* array, int index)
{
    return dimension_entry(mxGetDimensions(array)[index]);
}

/* The arguments tested hold at most 9 elements when their shape passes, so
 * the low 32 bits of the element count, which every host generation
 * returns correctly, tell whether there are any. */
static argument_view view_of(const mxArray* array)
{
    argument_view view;
    view.dimension_count = (int32_t)mxGetNumberOfDimensions(array);
    view.rows = dimension(array, 0);
    view.columns = dimension(array, 1);
    view.is_empty = (uint32_t)mxGetNumberOfElements(array) == 0;
    view.is_full_double = mxIsDouble(array) && !mxIsSparse(array);
    return view;
}

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    (void)nlhs;

    argument_view views[MAX_ARGUMENTS];
    for (int i = 0; i < nrhs && i < MAX_ARGUMENTS; ++i)
        views[i] = view_of(prhs[i]);
    argument_plan plan;
    if (const char* message = check_arguments(nrhs, views, &plan)) {
        fail(message);
        return;
    }

    const mxArray* volume = prhs[IN_VOLUME];
    const int32_t dims[3] = {dimension(volume, 0), dimension(volume, 1), dimension(volume, 2)};

    mexPrintf("GaussFiltering (Image volume: %d x %d x %d)\n", dims[0], dims[1], dims[2]);

    plhs[OUT_VOLUME] = mxCreateNumericArray(3, mxGetDimensions(volume), mxDOUBLE_CLASS, mxREAL);
    double* output = mxGetPr(plhs[OUT_VOLUME]);
    const double* input = mxGetPr(volume);

    double widths[3];
    fwhm_in_voxels(mxGetPr(prhs[IN_FILTER_SIZE]),
                   plan.has_voxel_size ? mxGetPr(prhs[IN_VOXEL_SIZE]) : 0, widths);
    const int32_t factor = kernel_factor(plan.has_factor ? mxGetPr(prhs[IN_FACTOR]) : 0);

    /* Never taken: gauss_filter's only failure ends the call in its error
     * call first (voxblur_engine.h). */
    if (gauss_filter(input, output, dims, widths, factor) != 0)
        fail("voxblur: Problems in gauss_filter subroutine");
}
