/* smooth_volume's plain passes: filter_1d's arithmetic in float or double,
 * one line at a time, with 64-bit offsets. */
#include "exact_arithmetic.h"

#include <stddef.h>

#include <limits>

#include "filter_line.h"
#include "smooth_passes.h"
#include "smooth_work.h"
#include "voxel_read.h"

namespace {

/* The n samples `stride` apart from `volume` into `line`. */
template <class T>
void gather_line(const T* volume, int64_t stride, int64_t n, T* line)
{
    for (int64_t j = 0; j < n; ++j)
        line[j] = volume[j * stride];
}

/* `line` back to the n samples `stride` apart of `volume`. */
template <class T>
void scatter_line(const T* line, int64_t n, T* volume, int64_t stride)
{
    for (int64_t j = 0; j < n; ++j)
        volume[j * stride] = line[j];
}

/* The z pass of a masked mean (MaskedMean): each z line of the data over
 * the same line of the smoothed mask, NaN where the mask is 0: of the
 * mask as `weights` holds it, smoothed, or after its x and y passes, when
 * this filters its z lines too. */
template <class T>
void divide_z_lines(T* output, const uint8_t* mask, const T* weights, bool smoothed, int64_t nxy,
                    int64_t nz, const T* kernel, int64_t taps, T* line_in, T* line_out,
                    T* line_weights)
{
    const T nan = std::numeric_limits<T>::quiet_NaN();
    for (int64_t l = 0; l < nxy; ++l) {
        if (smoothed) {
            gather_line(weights + l, nxy, nz, line_weights);
        } else {
            gather_line(weights + l, nxy, nz, line_in);
            filter_line(line_in, line_weights, nz, kernel, taps);
        }
        gather_line(output + l, nxy, nz, line_in);
        filter_line(line_in, line_out, nz, kernel, taps);
        for (int64_t z = 0; z < nz; ++z)
            line_out[z] = mask[l + z * nxy] ? line_out[z] / line_weights[z] : nan;
        scatter_line(line_out, nz, output + l, nxy);
    }
}

/* The y or z pass in place: `lines` lines of n samples `stride` apart,
 * line l starting at first(l). */
template <class T, class First>
void filter_strided_lines(T* output, int64_t lines, const First& first, int64_t n,
                          int64_t stride, const T* kernel, int64_t taps, T* line_in, T* line_out)
{
    for (int64_t l = 0; l < lines; ++l) {
        T* line = output + first(l);
        gather_line(line, stride, n, line_in);
        filter_line(line_in, line_out, n, kernel, taps);
        scatter_line(line_out, n, line, stride);
    }
}

template <class T>
int plain_passes(const SmoothInput& input, T* output, const int64_t* dimensions,
                 const int64_t* taps, const double* widths, const MaskedMean<T>* mean)
{
    const int64_t nx = dimensions[0];
    const int64_t ny = dimensions[1];
    const int64_t nz = dimensions[2];
    const int64_t nxy = nx * ny;
    int64_t longest_line = 0;
    int64_t longest_kernel = 0;
    for (int d = 0; d < 3; ++d) {
        longest_line = dimensions[d] > longest_line ? dimensions[d] : longest_line;
        longest_kernel = taps[d] > longest_kernel ? taps[d] : longest_kernel;
    }
    /* Sized with a null base, then carved from the block. */
    struct Areas {
        double* gauss;
        T* kernel;
        T* line_in;
        T* line_out;
        T* weights;
        T* room;
        size_t bytes;
    };
    auto layout = [&](char* base) {
        Carver carver = {base, 0};
        Areas areas;
        areas.gauss = carver.take<double>(longest_kernel);
        areas.kernel = carver.take<T>(longest_kernel);
        areas.line_in = carver.take<T>(longest_line);
        areas.line_out = carver.take<T>(longest_line);
        areas.weights = carver.take<T>(mean ? longest_line : 0);
        areas.room = carver.take<T>(mean && !mean->smoothed ? nxy * nz : 0);
        areas.bytes = carver.used;
        return areas;
    };
    void* allocated = nullptr;
    char* base = longest_kernel > INT32_MAX ? nullptr : take_work(layout(nullptr).bytes, &allocated);
    if (!base)
        return smooth_out_of_memory;
    const Areas areas = layout(base);
    double* const gauss = areas.gauss;
    T* const kernel = areas.kernel;
    T* const line_in = areas.line_in;
    T* const line_out = areas.line_out;

    /* The mask's x and y passes go into a room of a volume with the
     * data's, unless it comes smoothed. */
    const bool mask_passes = mean && !mean->smoothed;
    T* const room = areas.room;
    const SmoothInput mask = {input.mask, voxel_logical, nullptr};

    /* x lines: read (converting) into a line, filter into the output. */
    kernel_taps(taps[0], widths[0], gauss, kernel);
    for (int64_t l = 0; l < ny * nz; ++l) {
        read_voxels(input.voxels, input.input_class, input.mask, l * nx, nx, line_in);
        filter_line(line_in, output + l * nx, nx, kernel, taps[0]);
        if (mask_passes) {
            read_voxels(mask.voxels, mask.input_class, mask.mask, l * nx, nx, line_in);
            filter_line(line_in, room + l * nx, nx, kernel, taps[0]);
        }
    }

    /* y and z lines are strided: gather, filter, scatter, in place. */
    kernel_taps(taps[1], widths[1], gauss, kernel);
    const auto y_line = [&](int64_t l) { return l / nx * nxy + l % nx; };
    filter_strided_lines(output, nx * nz, y_line, ny, nx, kernel, taps[1], line_in, line_out);
    if (mask_passes)
        filter_strided_lines(room, nx * nz, y_line, ny, nx, kernel, taps[1], line_in, line_out);
    kernel_taps(taps[2], widths[2], gauss, kernel);
    if (mean)
        divide_z_lines(output, input.mask, mask_passes ? room : mean->smoothed, !mask_passes,
                       nxy, nz, kernel, taps[2], line_in, line_out, areas.weights);
    else
        filter_strided_lines(output, nxy, [](int64_t l) { return l; }, nz, nxy, kernel,
                             taps[2], line_in, line_out);

    give_back_work(allocated);
    return smooth_done;
}

}  // namespace

int smooth_passes_plain(const SmoothInput& input, double* output, const int64_t* dimensions,
                        const int64_t* taps, const double* widths, int32_t /* threads */,
                        const MaskedMean<double>* mean)
{
    return plain_passes(input, output, dimensions, taps, widths, mean);
}

int smooth_passes_plain(const SmoothInput& input, float* output, const int64_t* dimensions,
                        const int64_t* taps, const double* widths, int32_t /* threads */,
                        const MaskedMean<float>* mean)
{
    return plain_passes(input, output, dimensions, taps, widths, mean);
}
