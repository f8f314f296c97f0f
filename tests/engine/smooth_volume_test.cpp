// smooth_volume, the entry beyond gauss_filter's limits: gauss_filter's
// bits for double data within them; long axes and long kernels against a
// sum in long double; float against double; a failed allocation reported.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine_run.h"
#include "smooth_volume.h"
#include "smooth_work.h"
#include "voxblur_engine.h"

namespace {

typedef std::array<int64_t, 3> Dims;

template <class T>
std::vector<T> smoothed(const void* input, voxel_class input_class, const uint8_t* mask,
                        const Dims& dims, const std::array<double, 3>& widths, int32_t factor,
                        int32_t threads = 1)
{
    int64_t taps[3];
    for (int d = 0; d < 3; ++d)
        taps[d] = smooth_kernel_length(dims[d], widths[d], factor);
    std::vector<T> output(static_cast<size_t>(dims[0] * dims[1] * dims[2]), T(-12345));
    const int status = smooth_volume(input, input_class, mask, output.data(),
                                     sizeof(T) == sizeof(double), dims.data(), taps,
                                     widths.data(), threads);
    EXPECT_EQ(status, smooth_done);
    return output;
}

template <class T>
uint64_t bits(T value)
{
    uint64_t b = 0;
    std::memcpy(&b, &value, sizeof value);
    return b;
}

// "" when the volumes are the same bits, else the first voxel that is not.
template <class T>
std::string first_difference(const std::vector<T>& expected, const std::vector<T>& actual,
                             const Dims& dims)
{
    for (size_t i = 0; i < expected.size(); ++i)
        if (bits(expected[i]) != bits(actual[i])) {
            char text[160];
            std::snprintf(text, sizeof text, "first difference at (%lld, %lld, %lld): %a, got %a",
                          (long long)(i % dims[0]), (long long)(i / dims[0] % dims[1]),
                          (long long)(i / dims[0] / dims[1]), (double)expected[i],
                          (double)actual[i]);
            return text;
        }
    return expected.size() == actual.size() ? "" : "the volumes differ in size";
}

struct OldLimitsCase {
    std::array<int32_t, 3> dims;
    std::array<double, 3> widths;
    int32_t factor;
};

// Edges only, kernels as long as their axis, 99 taps, an axis of 1023.
const OldLimitsCase old_limits_cases[] = {
    {{1, 1, 1}, {2, 2, 2}, 4},        {{2, 5, 3}, {8, 1, 0}, 4},
    {{17, 9, 12}, {2.5, 3, 7}, 3},    {{40, 33, 24}, {8, 8, 8}, 6},
    {{120, 3, 101}, {24.5, 1, 24.5}, 4},  {{1023, 2, 3}, {3.3, 1, 1}, 5},
    {{9, 100, 11}, {0.5, 40, 1.4}, 7},
};

TEST(SmoothVolume, DoubleWithinTheOldLimitsIsGaussFiltersBits)
{
    for (const OldLimitsCase& c : old_limits_cases) {
        const Dims dims = {c.dims[0], c.dims[1], c.dims[2]};
        const size_t count = static_cast<size_t>(c.dims[0]) * c.dims[1] * c.dims[2];
        const std::vector<double> input = random_volume(count, 17u + c.dims[0]);
        const EngineRun run = run_gauss_filter(input, c.dims, c.widths, c.factor);
        ASSERT_FALSE(run.ended_by_error) << run.error;
        const std::array<int32_t, 3> printed = printed_kernel_sizes(run.console);
        for (int d = 0; d < 3; ++d)
            EXPECT_EQ(smooth_kernel_length(dims[d], c.widths[d], c.factor), printed[d])
                << "axis " << d;
        const std::vector<double> output =
            smoothed<double>(input.data(), voxel_double, nullptr, dims, c.widths, c.factor);
        EXPECT_EQ(first_difference(run.output, output, dims), "")
            << c.dims[0] << " x " << c.dims[1] << " x " << c.dims[2];
    }
}

TEST(SmoothVolume, KernelLengthIsGaussFiltersRuleWithoutTheCap)
{
    const double inf = HUGE_VAL;
    const struct {
        int64_t axis;
        double width;
        int32_t factor;
        int64_t taps;
    } cases[] = {
        {3000, 60, 4, 241},   {3000, 50, 4, 201},  {3000, 1000, 4, 2999}, {3000, inf, 4, 2999},
        {5000000000, 1e9, 4, 4000000001}, {3000, NAN, 4, 3}, {3000, -inf, 4, 3},
        {2, 8, 4, 1},         {1, 8, 4, 1},        {0, 8, 4, -1},         {3000, 1.9, 1, 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(smooth_kernel_length(c.axis, c.width, c.factor), c.taps)
            << c.axis << " voxels, width " << c.width << ", factor " << c.factor;
}

// Each axis in turn filtered in long double with compute_gauss's kernel,
// the edges divided by the taps they use.
std::vector<long double> long_double_passes(std::vector<long double> volume, const Dims& dims,
                                            const std::array<double, 3>& widths, int32_t factor)
{
    const int64_t stride[3] = {1, dims[0], dims[0] * dims[1]};
    for (int d = 0; d < 3; ++d) {
        const int64_t n = dims[d];
        const int64_t taps = smooth_kernel_length(n, widths[d], factor);
        std::vector<double> kernel(static_cast<size_t>(taps));
        compute_gauss(static_cast<int32_t>(taps), kernel.data(), widths[d]);
        const int64_t h = taps / 2;
        std::vector<long double> line(static_cast<size_t>(n));
        for (int64_t first = 0; first < (int64_t)volume.size(); ++first) {
            if (first / stride[d] % n != 0)
                continue;  // not the start of a line along d
            for (int64_t i = 0; i < n; ++i)
                line[i] = volume[first + i * stride[d]];
            for (int64_t i = 0; i < n; ++i) {
                long double sum = 0, weight = 0;
                for (int64_t j = 0; j < taps; ++j)
                    if (i - h + j >= 0 && i - h + j < n) {
                        sum += kernel[j] * line[i - h + j];
                        weight += kernel[j];
                    }
                volume[first + i * stride[d]] = sum / weight;
            }
        }
    }
    return volume;
}

// Positive data, so every sum's rounding error is bounded relative to the
// voxel: about taps roundings per pass at most.
template <class T>
void expect_close_to_long_double(const std::vector<T>& output,
                                 const std::vector<long double>& exact, const Dims& dims,
                                 int64_t longest_kernel, const char* what)
{
    const double bound = 3.0 * (longest_kernel + 4) * std::numeric_limits<T>::epsilon();
    double worst = 0.0;
    size_t at = 0;
    for (size_t i = 0; i < output.size(); ++i) {
        const double error = std::fabs((double)((output[i] - exact[i]) / exact[i]));
        if (!(error <= worst))
            worst = error, at = i;
    }
    EXPECT_LE(worst, bound) << what << ": " << dims[0] << " x " << dims[1] << " x " << dims[2]
                            << ", at voxel " << at;
}

struct LongCase {
    Dims dims;
    std::array<double, 3> widths;
    int32_t factor;
};

// 241 taps on the long axis; a kernel as long as the axis; a short axis
// across the long one.
const LongCase long_cases[] = {
    {{3000, 3, 2}, {60, 1, 1}, 4},
    {{2, 3000, 3}, {1, 60, 2}, 4},
    {{2, 3, 3000}, {1, 2, 60}, 4},
    {{3, 401, 5}, {1, 1e6, 1}, 4},
};

TEST(SmoothVolume, LongAxesAndKernelsAgreeWithALongDoubleSum)
{
    for (const LongCase& c : long_cases) {
        const size_t count = static_cast<size_t>(c.dims[0] * c.dims[1] * c.dims[2]);
        std::mt19937 random(5);
        std::uniform_int_distribution<int> value(1, 65535);
        std::vector<uint16_t> input(count);
        std::vector<long double> exact_input(count);
        for (size_t i = 0; i < count; ++i)
            exact_input[i] = input[i] = static_cast<uint16_t>(value(random));
        const std::vector<long double> exact =
            long_double_passes(exact_input, c.dims, c.widths, c.factor);
        int64_t longest = 0;
        for (int d = 0; d < 3; ++d)
            longest = std::max(longest, smooth_kernel_length(c.dims[d], c.widths[d], c.factor));
        expect_close_to_long_double(
            smoothed<double>(input.data(), voxel_uint16, nullptr, c.dims, c.widths, c.factor),
            exact, c.dims, longest, "double");
        expect_close_to_long_double(
            smoothed<float>(input.data(), voxel_uint16, nullptr, c.dims, c.widths, c.factor),
            exact, c.dims, longest, "float");
    }
}

// The largest difference of float from double results, relative to the
// largest double result.
double float_from_double(const std::vector<double>& input, const Dims& dims, double width)
{
    const std::array<double, 3> widths = {width, width, width};
    const std::vector<double> d = smoothed<double>(input.data(), voxel_double, nullptr, dims,
                                                   widths, 4);
    const std::vector<float> f = smoothed<float>(input.data(), voxel_double, nullptr, dims,
                                                 widths, 4);
    double largest = 0.0, difference = 0.0;
    for (size_t i = 0; i < d.size(); ++i) {
        largest = std::max(largest, std::fabs(d[i]));
        difference = std::max(difference, std::fabs(f[i] - d[i]));
    }
    return difference / largest;
}

TEST(SmoothVolume, FloatIsWithinItsBoundOfDouble)
{
    const Dims dims = {48, 40, 36};
    const size_t count = static_cast<size_t>(dims[0] * dims[1] * dims[2]);
    std::vector<double> point(count, 0.0);
    point[count / 2 + dims[0] / 2] = 1.0;
    for (double width : {2.0, 8.0}) {
        EXPECT_LE(float_from_double(random_volume(count, 3), dims, width), 4e-7) << width;
        EXPECT_LE(float_from_double(point, dims, width), 4e-7) << width;
    }
}

// What the mask hides reads as 0, every class converts as C converts it.
TEST(SmoothVolume, ClassesConvertAsReadAndTheMaskReadsZero)
{
    const Dims dims = {13, 7, 5};
    const size_t count = 13 * 7 * 5;
    const std::array<double, 3> widths = {2, 3, 1.5};
    std::vector<int16_t> samples(count);
    std::vector<uint8_t> mask(count), logical(count);
    std::vector<double> masked(count), as_logical(count);
    for (size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<int16_t>((i * 7919) % 4001) - 2000;
        mask[i] = (i * 31) % 5 == 0 ? 0 : static_cast<uint8_t>(i % 7 + 1);
        logical[i] = static_cast<uint8_t>(i % 3 == 0 ? 0 : i % 3 == 1 ? 1 : 200);
        masked[i] = mask[i] ? samples[i] : 0.0;
        as_logical[i] = logical[i] ? 1.0 : 0.0;
    }
    EXPECT_EQ(first_difference(
                  smoothed<double>(masked.data(), voxel_double, nullptr, dims, widths, 4),
                  smoothed<double>(samples.data(), voxel_int16, mask.data(), dims, widths, 4),
                  dims),
              "");
    EXPECT_EQ(first_difference(
                  smoothed<float>(as_logical.data(), voxel_double, nullptr, dims, widths, 4),
                  smoothed<float>(logical.data(), voxel_logical, nullptr, dims, widths, 4), dims),
              "");
}

int allocations_made;
void* refuse(size_t)
{
    ++allocations_made;
    return nullptr;
}

TEST(SmoothVolume, AFailedAllocationIsReportedAndWritesNothing)
{
    const Dims dims = {20, 9, 6};
    const int64_t taps[3] = {9, 9, 5};
    const double widths[3] = {2, 2, 1};
    const std::vector<double> input = random_volume(20 * 9 * 6, 8);
    for (int output_double : {0, 1}) {
        std::vector<double> output(input.size(), sentinel_value());
        void* (*const normal)(size_t) = smooth_allocate;
        allocations_made = 0;
        smooth_allocate = refuse;
        const int status = smooth_volume(input.data(), voxel_double, nullptr, output.data(),
                                         output_double, dims.data(), taps, widths, 1);
        smooth_allocate = normal;
        EXPECT_EQ(status, smooth_out_of_memory);
        EXPECT_GT(allocations_made, 0);
        EXPECT_EQ(output, std::vector<double>(input.size(), sentinel_value()));
    }
    // Work areas beyond the address space are never asked for.
    const Dims huge = {int64_t(1) << 62, 1, 1};
    const int64_t huge_taps[3] = {3, 1, 1};
    allocations_made = 0;
    void* (*const normal)(size_t) = smooth_allocate;
    smooth_allocate = refuse;
    EXPECT_EQ(smooth_volume(input.data(), voxel_double, nullptr, nullptr, 1, huge.data(),
                            huge_taps, widths, 1),
              smooth_out_of_memory);
    smooth_allocate = normal;
    EXPECT_EQ(allocations_made, 0);
}

}  // namespace
