/* The stand-in MEX host: what MATLAB would do around a gateway call.
 * libmex provides the console and the error call, libmx the arrays; these
 * are the host-side functions a loader or a test uses to drive them. */
#ifndef VOXBLUR_HOST_H
#define VOXBLUR_HOST_H

#include <stddef.h>
#include <stdint.h>

#include "mex_host.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- libmex: console and error call ---- */

typedef void (*mex_gateway)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

/* Calls the gateway as MATLAB does. Returns 0 when it returned normally and
 * 1 when it ended through mexErrMsgTxt (see host_error_message). */
int host_call_gateway(mex_gateway gateway, int nlhs, mxArray* plhs[], int nrhs,
                      const mxArray* prhs[]);

/* Runs body(context) with the error call armed, for code that is not a
 * gateway (the engine, in tests). Returns 0 or 1 as host_call_gateway. */
int host_run(void (*body)(void* context), void* context);

/* Everything printed with mexPrintf on this thread since host_clear_console,
 * and the message of the last error call (empty when there was none). */
const char* host_console(void);
const char* host_error_message(void);
void host_clear_console(void);

/* Whether mexPrintf also writes to stdout (on by default). */
void host_set_echo(int echo);

/* ---- memory the host holds ---- */

/* Every block the host allocates for arrays and console text goes through
 * these, so that a test can tell that a call left nothing behind.
 * host_allocate zeroes the block; host_reallocate(NULL, size) allocates. */
void* host_allocate(size_t count, size_t size);
void* host_reallocate(void* block, size_t size);
void host_release(void* block);
size_t host_live_allocations(void);

/* ---- libmx: arrays ---- */

/* mxClassID values the stand-in host knows. */
enum {
    host_class_logical = 3,
    host_class_char = 4,
    host_class_double = 6,
    host_class_single = 7,
    host_class_int8 = 8,
    host_class_uint8 = 9,
    host_class_int16 = 10,
    host_class_uint16 = 11,
    host_class_int32 = 12,
    host_class_uint32 = 13,
    host_class_int64 = 14,
    host_class_uint64 = 15
};

/* A new array as the caller of a gateway would pass it: zeroed data of the
 * given class, real or complex (1), one value per element and not one more,
 * so that a memory checker sees any read past it. An array with no elements
 * has no data at all (NULL, as mxGetPr gives in MATLAB). An array made
 * sparse (1) is filled like a full one and then packed with
 * host_pack_sparse. Returns NULL for an unknown class or when memory runs
 * out. */
mxArray* host_new_array(int32_t ndim, const int32_t* dims, int32_t class_id, int32_t complex,
                        int sparse);
/* Keeps only the nonzero values of a sparse array, as MATLAB stores one:
 * its data then no longer has one value per element, and a caller that
 * reads it as a full array reads past its end. Does nothing to a full one. */
void host_pack_sparse(mxArray* array);
void* host_real_data(const mxArray* array);
void* host_imag_data(const mxArray* array);
size_t host_element_count(const mxArray* array);
/* How many values the data holds: the element count, or for a packed
 * sparse array its nonzero count. */
size_t host_stored_count(const mxArray* array);
/* Bytes per value of the array's class. */
size_t host_element_size(const mxArray* array);
int32_t host_class(const mxArray* array);
int host_is_complex(const mxArray* array);
int host_is_sparse(const mxArray* array);

/* Frees one array, or every array the host holds (as MATLAB clears a
 * call's temporaries); host_live_arrays counts those not yet freed. Arrays
 * belong to one thread at a time, as MATLAB's do. */
void host_free_array(mxArray* array);
void host_free_all_arrays(void);
size_t host_live_arrays(void);

#ifdef __cplusplus
}
#endif

#endif
