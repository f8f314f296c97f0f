/* The MEX gateway of voxsmooth:
 *   out = voxsmooth(data, voxel_size, fwhm[, Name, Value, ...])
 * Reads the arguments through the host's array calls, lets the rules of
 * smooth_arguments.h decide, creates the result and hands raw pointers to
 * the engine. Dimensions are the 64-bit generation's (size_t), so arrays
 * of 2^31 elements and more pass whole; under Octave they are mwSize. */
#include <stdint.h>

#include "mex_host.h"
#include "smooth_arguments.h"
#include "smooth_volume.h"

#ifdef VOXBLUR_OCTAVE
typedef mwSize host_size;
static host_size dimension_count_of(const mxArray* a)
{
    return mxGetNumberOfDimensions(a);
}
static const host_size* dimensions_of(const mxArray* a)
{
    return mxGetDimensions(a);
}
static mxArray* new_array(host_size count, const host_size* dims, mxClassID class_id)
{
    return mxCreateNumericArray(count, dims, class_id, mxREAL);
}
/* Octave's mexErrMsgTxt names the function in front of every message. */
static void fail(const char* message)
{
    mexErrMsgTxt(without_function_name(message, "voxsmooth: "));
}
#else
typedef size_t host_size;
static host_size dimension_count_of(const mxArray* a)
{
    return mxGetNumberOfDimensions_730(a);
}
static const host_size* dimensions_of(const mxArray* a)
{
    return mxGetDimensions_730(a);
}
static mxArray* new_array(host_size count, const host_size* dims, int32_t class_id)
{
    return mxCreateNumericArray_730(count, dims, class_id, mxREAL);
}
static void fail(const char* message)
{
    mexErrMsgTxt(message);
}
#endif

/* The rules' view of an mxArray. */
struct MexArrays {
    int32_t class_id(const mxArray* a) { return (int32_t)mxGetClassID(a); }
    const char* class_name(const mxArray* a) { return mxGetClassName(a); }
    bool is_sparse(const mxArray* a) { return mxIsSparse(a); }
    bool is_complex(const mxArray* a) { return mxIsComplex(a); }
    int32_t dimension_count(const mxArray* a) { return (int32_t)dimension_count_of(a); }
    int64_t dimension(const mxArray* a, int32_t d) { return (int64_t)dimensions_of(a)[d]; }
    int64_t element_count(const mxArray* a) { return (int64_t)mxGetNumberOfElements(a); }
    const void* data(const mxArray* a) { return mxGetData(a); }
    uint32_t character(const mxArray* a, int64_t i)
    {
        return (uint32_t)((const mxChar*)mxGetData(a))[i];
    }
};

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    (void)nlhs;
    MexArrays host;
    smooth_call call;
    smooth_message message;
    if (const char* failure = read_smooth_call(host, prhs, nrhs, &call, &message)) {
        fail(failure);
        return;
    }
    if (call.verbose)
        print_smooth_lines(call);

    const mxArray* data = prhs[IN_DATA];
    plhs[0] = new_array(dimension_count_of(data), dimensions_of(data),
                        call.output_double ? mxDOUBLE_CLASS : mxSINGLE_CLASS);
    const smooth_request request = smooth_request_of(call, mxGetData(plhs[0]));
    if (smooth_volumes(&request) != smooth_done)
        fail(smooth_out_of_memory_message);
}
