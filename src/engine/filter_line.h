/* filter_1d's arithmetic for a line of any element type T (double or
 * float) and any index type I (int32_t for filter_1d, int64_t for
 * smooth_volume's long axes): every product and sum rounded to T, in
 * increasing tap order. The caller has checked nk <= n. */
#ifndef VOXBLUR_FILTER_LINE_H
#define VOXBLUR_FILTER_LINE_H

namespace {

/* An edge sample, where only part of the kernel meets the line: the mean of
 * in[0 .. count-1] weighted by kernel[0 .. count-1]. */
template <class T, class I>
inline T edge_mean(const T* in, const T* kernel, I count)
{
    T sum = 0;
    T weight = 0;
    for (I j = 0; j < count; ++j) {
        sum += kernel[j] * in[j];
        weight += kernel[j];
    }
    return sum / weight;
}

template <class T, class I>
void filter_line(const T* in, T* out, I n, const T* kernel, I nk)
{
    const I h = nk / 2;

    /* Leading edge: the kernel's first h - i taps would fall before in[0]. */
    for (I i = 0; i < h; ++i)
        out[i] = edge_mean(in, kernel + (h - i), h + i + 1);

    /* Interior: the whole kernel, which already sums to 1. */
    for (I i = h; i < n - h; ++i) {
        const T* window = in + (i - h);
        T sum = 0;
        for (I j = 0; j < nk; ++j)
            sum += kernel[j] * window[j];
        out[i] = sum;
    }

    /* Trailing edge: only the kernel's first n + h - i taps meet samples. */
    for (I i = n - h; i < n; ++i)
        out[i] = edge_mean(in + (i - h), kernel, n + h - i);
}

}  // namespace

#endif
