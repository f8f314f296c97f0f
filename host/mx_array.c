/* libmx of the stand-in host: arrays with 32-bit dimension entries, the
 * two generations of the array calls that take them, and the calls of the
 * 64-bit generation (_730), which give the same entries as size_t. Every array is kept on a list so
 * that the host can free what a call left behind and count what is live.
 *
 * Data is allocated to its exact size, so that a MEX file that reads past
 * an argument's values is caught by a memory checker: an empty array has no
 * data (mxGetPr gives NULL, as in MATLAB), and a packed sparse array holds
 * only its nonzero values. */
#include <stdlib.h>
#include <string.h>

#include "host.h"

struct mxArray_tag {
    int32_t ndim;
    int32_t* dims;
    /* The same entries for the 64-bit generation's calls. */
    size_t* wide_dims;
    int32_t class_id;
    int complex;
    int sparse;
    size_t element_count;
    size_t stored_count;
    void* real;
    void* imag;
    struct mxArray_tag* previous;
    struct mxArray_tag* next;
};

static mxArray* live_arrays;
static size_t live_count;

static size_t class_element_size(int32_t class_id)
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

/* NULL for no values, which is not a failure. */
static int allocate_values(void** data, size_t count, size_t size)
{
    *data = count ? host_allocate(count, size) : NULL;
    return count == 0 || *data != NULL;
}

static void release_array(mxArray* array)
{
    host_release(array->dims);
    host_release(array->wide_dims);
    host_release(array->real);
    host_release(array->imag);
    host_release(array);
}

mxArray* host_new_array(int32_t ndim, const int32_t* dims, int32_t class_id, int32_t complex,
                        int sparse)
{
    size_t size = class_element_size(class_id);
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

    mxArray* array = (mxArray*)host_allocate(1, sizeof *array);
    if (!array)
        return NULL;
    array->dims = (int32_t*)host_allocate(ndim > 2 ? (size_t)ndim : 2, sizeof(int32_t));
    array->wide_dims = (size_t*)host_allocate(ndim > 2 ? (size_t)ndim : 2, sizeof(size_t));
    int have_real = allocate_values(&array->real, count, size);
    int have_imag = complex ? allocate_values(&array->imag, count, size) : 1;
    if (!array->dims || !array->wide_dims || !have_real || !have_imag) {
        release_array(array);
        return NULL;
    }
    if (ndim > 0)
        memcpy(array->dims, dims, sizeof(int32_t) * (size_t)ndim);
    for (int32_t d = ndim; d < 2; ++d)
        array->dims[d] = 1;
    for (int32_t d = 0; d < (ndim > 2 ? ndim : 2); ++d)
        array->wide_dims[d] = (size_t)array->dims[d];
    if (ndim < 2)
        ndim = 2;
    array->ndim = ndim;
    array->class_id = class_id;
    array->complex = complex != 0;
    array->sparse = sparse;
    array->element_count = count;
    array->stored_count = count;

    array->next = live_arrays;
    if (live_arrays)
        live_arrays->previous = array;
    live_arrays = array;
    ++live_count;
    return array;
}

static int value_is_zero(const unsigned char* value, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        if (value[i] != 0)
            return 0;
    return 1;
}

void host_pack_sparse(mxArray* array)
{
    if (!array->sparse || array->stored_count != array->element_count)
        return;
    size_t size = class_element_size(array->class_id);
    int complex = host_is_complex(array);
    unsigned char* real = (unsigned char*)host_real_data(array);
    unsigned char* imag = (unsigned char*)host_imag_data(array);
    size_t kept = 0;
    for (size_t i = 0; i < array->element_count; ++i) {
        if (value_is_zero(real + i * size, size) &&
            (!complex || value_is_zero(imag + i * size, size)))
            continue;
        memmove(real + kept * size, real + i * size, size);
        if (complex)
            memmove(imag + kept * size, imag + i * size, size);
        ++kept;
    }
    /* MATLAB keeps room for at least one value, even in an all-zero sparse
     * matrix. */
    size_t room = kept ? kept : 1;
    if (array->element_count > room) {
        /* Shrinking keeps the old block should the allocator refuse. */
        void* real_kept = host_reallocate(array->real, room * size);
        if (real_kept)
            array->real = real_kept;
        if (complex) {
            void* imag_kept = host_reallocate(array->imag, room * size);
            if (imag_kept)
                array->imag = imag_kept;
        }
    }
    array->stored_count = kept;
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
    release_array(array);
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

size_t host_stored_count(const mxArray* array)
{
    return array->stored_count;
}

size_t host_element_size(const mxArray* array)
{
    return class_element_size(array->class_id);
}

int32_t host_class(const mxArray* array)
{
    return array->class_id;
}

int host_is_complex(const mxArray* array)
{
    return array->complex;
}

int host_is_sparse(const mxArray* array)
{
    return array->sparse != 0;
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

bool mxIsDouble(const mxArray* array)
{
    return array->class_id == host_class_double;
}

bool mxIsSparse(const mxArray* array)
{
    return array->sparse != 0;
}

size_t mxGetNumberOfElements(const mxArray* array)
{
    return array->element_count;
}

/* ---- the calls voxsmooth adds: the 64-bit generation and class queries -- */

size_t mxGetNumberOfDimensions_730(const mxArray* array)
{
    return (size_t)array->ndim;
}

const size_t* mxGetDimensions_730(const mxArray* array)
{
    return array->wide_dims;
}

/* The stand-in host's entries are 32-bit: a larger one is refused as
 * MATLAB refuses an array it has no memory for. */
mxArray* mxCreateNumericArray_730(size_t ndim, const size_t* dims, int32_t class_id,
                                  int32_t complexity)
{
    int32_t narrow[64];
    int fits = ndim <= 64;
    for (size_t d = 0; fits && d < ndim; ++d) {
        fits = dims[d] <= (size_t)INT32_MAX;
        narrow[d] = (int32_t)dims[d];
    }
    mxArray* array = fits ? host_new_array((int32_t)ndim, narrow, class_id,
                                           complexity == mxCOMPLEX, 0)
                          : NULL;
    if (!array)
        mexErrMsgTxt("mxCreateNumericArray_730: Out of memory or bad arguments");
    return array;
}

int32_t mxGetClassID(const mxArray* array)
{
    return array->class_id;
}

const char* mxGetClassName(const mxArray* array)
{
    switch (array->class_id) {
    case host_class_logical: return "logical";
    case host_class_char: return "char";
    case host_class_double: return "double";
    case host_class_single: return "single";
    case host_class_int8: return "int8";
    case host_class_uint8: return "uint8";
    case host_class_int16: return "int16";
    case host_class_uint16: return "uint16";
    case host_class_int32: return "int32";
    case host_class_uint32: return "uint32";
    case host_class_int64: return "int64";
    case host_class_uint64: return "uint64";
    default: return "unknown";
    }
}

void* mxGetData(const mxArray* array)
{
    return array->real;
}

bool mxIsComplex(const mxArray* array)
{
    return array->complex != 0;
}
