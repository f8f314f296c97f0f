/* gauss_filter's fixed working storage and the limits that follow from it.
 * Every buffer lives on the stack of one call, so its size is fixed here
 * rather than taken from the volume; a volume or kernel beyond these is
 * refused or cut before any pass runs. (smooth_volume allocates its work
 * areas for the call instead, and has no such limits.) */
#ifndef VOXBLUR_ENGINE_LIMITS_H
#define VOXBLUR_ENGINE_LIMITS_H

#include <stdint.h>

/* Samples in each line buffer, which holds one y or z line. */
const int32_t line_buffer_length = 1024;
/* The longest axis gauss_filter accepts: one sample short of the line
 * buffer, as the established message has it ("Image dimension N > 1024"
 * from N = 1024 on). */
const int32_t longest_axis = line_buffer_length - 1;

/* Taps in the kernel buffer, which holds one axis's kernel. */
const int32_t kernel_buffer_length = 100;
/* The longest kernel, odd and within the kernel buffer: a longer one is
 * cut to it with a warning. */
const int32_t longest_kernel = kernel_buffer_length - 1;

/* Doubles in the work area of each part of the vector passes, on its
 * thread's stack (128 KiB): two x-pass blocks of eight lines as long as a
 * line buffer, or the ring of layer chunks of the y and z passes. */
const int32_t work_capacity = 2 * line_buffer_length * 8;

#endif
