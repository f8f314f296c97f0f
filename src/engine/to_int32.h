/* Double to 32-bit integer conversion with the host's conventions. */
#ifndef VOXBLUR_TO_INT32_H
#define VOXBLUR_TO_INT32_H

#include <stdint.h>

/* Truncates toward zero. NaN, infinities and values outside the 32-bit range
 * give INT32_MIN, which is what the x86 conversion instructions produce; a
 * plain cast of such a value would be undefined behaviour. */
static inline int32_t to_int32(double value)
{
    if (!(value > -2147483649.0 && value < 2147483648.0))
        return INT32_MIN;
    return (int32_t)value;
}

#endif
