/* The MEX host calls that voxblur and voxsmooth make, declared from their
 * documented behaviour. Both generations of the array interface are declared; a build
 * binds the R14 names (mxGetDimensions_700, ...) by defining
 * VOXBLUR_HOST_R14, and the earlier plain names otherwise. Dimension entries
 * are 32-bit in both generations, also on x86-64.
 *
 * Only the calls whose arguments or results are dimensions (or built from
 * them) were renamed in R14. The class, sparsity and element-count queries
 * take nothing but an array handle, so both generations import them under
 * their plain names: mxIsDouble, mxIsSparse and mxGetNumberOfElements.
 *
 * Under GNU Octave (VOXBLUR_OCTAVE) Octave's own mex.h is used instead. */
#ifndef VOXBLUR_MEX_HOST_H
#define VOXBLUR_MEX_HOST_H

#include "mex_console.h"

#ifndef VOXBLUR_OCTAVE

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct mxArray_tag mxArray;
typedef int32_t mwSize;

/* mxClassID and mxComplexity values that voxblur and voxsmooth pass. */
enum { mxDOUBLE_CLASS = 6, mxSINGLE_CLASS = 7 };
/* One character of a char array. */
typedef uint16_t mxChar;
enum { mxREAL = 0, mxCOMPLEX = 1 };

/* libmx, R14 generation */
int32_t mxGetNumberOfDimensions_700(const mxArray* array);
const int32_t* mxGetDimensions_700(const mxArray* array);
mxArray* mxCreateNumericArray_700(int32_t ndim, const int32_t* dims, int32_t class_id,
                                  int32_t complexity);

/* libmx, earlier generation */
int32_t mxGetNumberOfDimensions(const mxArray* array);
const int32_t* mxGetDimensions(const mxArray* array);
mxArray* mxCreateNumericArray(int32_t ndim, const int32_t* dims, int32_t class_id,
                              int32_t complexity);

/* libmx, both generations */
double* mxGetPr(const mxArray* array);
/* Whether the array's class is double (real or complex, full or sparse). */
bool mxIsDouble(const mxArray* array);
/* Whether the array is stored sparse: its data is then not one value per
 * element, and mxGetPr does not give the matrix in column-major order. */
bool mxIsSparse(const mxArray* array);
/* The number of elements, the product of all dimension entries. Older hosts
 * return it as a 32-bit int on x86-64 and later ones as size_t; a caller
 * that relies only on the low 32 bits reads the right count from either. */
size_t mxGetNumberOfElements(const mxArray* array);

/* libmx, the generation of 64-bit dimensions (MATLAB 7.3 on), which
 * voxsmooth binds to take arrays of 2^31 elements and more: the calls that
 * take or give dimensions, under these names, in size_t. */
size_t mxGetNumberOfDimensions_730(const mxArray* array);
const size_t* mxGetDimensions_730(const mxArray* array);
mxArray* mxCreateNumericArray_730(size_t ndim, const size_t* dims, int32_t class_id,
                                  int32_t complexity);

/* libmx, every generation: the queries voxsmooth adds. */
/* The array's class as an mxClassID: 3 logical, 4 char, 6 double, 7
 * single, 8 .. 15 int8, uint8, ... uint64; others for cells, structs,
 * objects. */
int32_t mxGetClassID(const mxArray* array);
/* Its class's name as MATLAB's class() gives it. */
const char* mxGetClassName(const mxArray* array);
/* The real values in the class's own type (mxChar for char, one byte per
 * logical); null for an empty array. */
void* mxGetData(const mxArray* array);
bool mxIsComplex(const mxArray* array);

#ifdef __cplusplus
}
#endif

#ifdef VOXBLUR_HOST_R14
#define mxGetNumberOfDimensions mxGetNumberOfDimensions_700
#define mxGetDimensions mxGetDimensions_700
#define mxCreateNumericArray mxCreateNumericArray_700
#endif

#endif /* VOXBLUR_OCTAVE */
#endif
