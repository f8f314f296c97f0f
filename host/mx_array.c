/* libmx of the stand-in host: arrays with 32-bit dimension entries, and
 * both generations of the array calls. Every array is kept on a list so
 * that the host can free what a call left behind and count what is live. */
#include <stdlib.h>
#include <string.h>

#include "host.h"

struct mxArray_tag {
    int32_t ndim;
    int32_t* dims;
    int32_t class_id;
    int sparse;
    size_t element_count;
    void* real;
    void* imag;
    struct mxArray_tag* previous;
    struct mxArray_tag* next;
};

static mxArray* live_arrays;
static size_t live_count;

static size_t element_size(int32_t class_id)
{
    switch (class_id) {
    case host_class_logical:
    case host_class_int8:
    case host_class_uint8:
        return 1;
    case host_class_char:
    case host_class_int16:
    case host_class_uint16:
        return 2;
    case host_class_single:
    case host_class_int32:
    case host_class_uint32:
        return 4;
    case host_class_double:
    case host_class_int64:
    case host_class_uint64:
        return 8;
    default:
        return 0;
    }
}

mxArray* host_new_array(int32_t ndim, const int32_t* dims, int32_t class_id, int32_t complex,
                        int sparse)
{
    size_t size = element_size(class_id);
    if (size == 0 || ndim < 0)
        return NULL;
    /* MATLAB keeps at least two dimensions and drops trailing singleton
     * ones: a 5x5x1 array is a 5x5 matrix. */
    while (ndim > 2 && dims[ndim - 1] == 1)
        --ndim;
    size_t count = 1;
    for (int32_t d = 0; d < ndim; ++d) {
        if (dims[d] < 0)
            return NULL;
        count *= (size_t)dims[d];
    }

    mxArray* array = (mxArray*)calloc(1, sizeof *array);
    if (!array)
        return NULL;
    array->dims = (int32_t*)malloc(sizeof(int32_t) * (ndim > 2 ? (size_t)ndim : 2));
    /* One spare element keeps the data pointer valid for empty arrays. */
    array->real = calloc(count + 1, size);
    array->imag = complex ? calloc(count + 1, size) : NULL;
    if (!array->dims || !array->real || (complex && !array->imag)) {
        free(array->dims);
        free(array->real);
        free(array->imag);
        free(array);
        return NULL;
    }
    if (ndim > 0)
        memcpy(array->dims, dims, sizeof(int32_t) * (size_t)ndim);
    for (int32_t d = ndim; d < 2; ++d)
        array->dims[d] = 1;
    if (ndim < 2)
        ndim = 2;
    array->ndim = ndim;
    array->class_id = class_id;
    array->sparse = sparse;
    array->element_count = count;

    array->next = live_arrays;
    if (live_arrays)
        live_arrays->previous = array;
    live_arrays = array;
    ++live_count;
    return array;
}

void host_free_array(mxArray* array)
{
    if (!array)
        return;
    if (array->previous)
        array->previous->next = array->next;
    else
        live_arrays = array->next;
    if (array->next)
        array->next->previous = array->previous;
    --live_count;
    free(array->dims);
    free(array->real);
    free(array->imag);
    free(array);
}

void host_free_all_arrays(void)
{
    while (live_arrays)
        host_free_array(live_arrays);
}

size_t host_live_arrays(void)
{
    return live_count;
}

void* host_real_data(const mxArray* array)
{
    return array->real;
}

void* host_imag_data(const mxArray* array)
{
    return array->imag;
}

size_t host_element_count(const mxArray* array)
{
    return array->element_count;
}

int32_t host_class(const mxArray* array)
{
    return array->class_id;
}

int host_is_complex(const mxArray* array)
{
    return array->imag != NULL;
}

/* ---- the calls a MEX file makes ---- */

int32_t mxGetNumberOfDimensions_700(const mxArray* array)
{
    return array->ndim;
}

const int32_t* mxGetDimensions_700(const mxArray* array)
{
    return array->dims;
}

mxArray* mxCreateNumericArray_700(int32_t ndim, const int32_t* dims, int32_t class_id,
                                  int32_t complexity)
{
    mxArray* array = host_new_array(ndim, dims, class_id, complexity == mxCOMPLEX, 0);
    if (!array)
        mexErrMsgTxt("mxCreateNumericArray: Out of memory or bad arguments");
    return array;
}

int32_t mxGetNumberOfDimensions(const mxArray* array)
{
    return mxGetNumberOfDimensions_700(array);
}

const int32_t* mxGetDimensions(const mxArray* array)
{
    return mxGetDimensions_700(array);
}

mxArray* mxCreateNumericArray(int32_t ndim, const int32_t* dims, int32_t class_id,
                              int32_t complexity)
{
    return mxCreateNumericArray_700(ndim, dims, class_id, complexity);
}

double* mxGetPr(const mxArray* array)
{
    return (double*)array->real;
}
