/* The kernel length rule that gauss_filter and smooth_kernel_length share,
 * for their own integer types. */
#ifndef VOXBLUR_KERNEL_LENGTH_H
#define VOXBLUR_KERNEL_LENGTH_H

/* `truncated` (factor * width + 0.5 truncated toward zero) made odd and at
 * least 3, then cut to the odd length that fits an axis of axis_length
 * samples: 1 for an axis of 1 or 2, -1 for an empty one. */
template <class I>
inline I odd_kernel_length(I truncated, I axis_length)
{
    I k = truncated;
    if (k <= 2)
        k = 3;
    else if (k % 2 == 0)
        k = k + 1;

    if (axis_length < k)
        k = axis_length % 2 != 0 ? axis_length : axis_length - 1;
    return k;
}

#endif
