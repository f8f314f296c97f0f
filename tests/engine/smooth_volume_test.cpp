// smooth_volume, the entry beyond gauss_filter's limits: gauss_filter's
// bits for double data within them; long axes and long kernels against a
// sum in long double; float against double; a failed allocation reported.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine_limits.h"
#include "engine_run.h"
#include "smooth_passes.h"
#include "smooth_volume.h"
#include "smooth_work.h"
#include "volume_passes.h"
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

// Every variant of the passes, for both result types.
struct Variant {
    const char* name;
    SmoothPasses<double>::fn* doubles;
    SmoothPasses<float>::fn* floats;
    int (*runs_here)();  // null: every processor of the architecture
};

const Variant variants[] = {
    {"plain", smooth_passes_plain, smooth_passes_plain, nullptr},
#if VOXBLUR_VECTORS_X86_64
    {"sse2", smooth_passes_sse2, smooth_passes_sse2, nullptr},
    {"avx", smooth_passes_avx, smooth_passes_avx, cpu_has_avx},
    {"avx512", smooth_passes_avx512, smooth_passes_avx512, cpu_has_avx512},
#endif
#if VOXBLUR_VECTORS_NEON
    {"neon", smooth_passes_neon, smooth_passes_neon, nullptr},
#endif
};

int64_t voxels(const Dims& dims)
{
    return dims[0] * dims[1] * dims[2];
}

// The output begins `shift` elements past a cache line: the y and z
// passes align their chunks to the output's cache lines.
template <class T>
std::vector<T> run_variant(const Variant& variant, const void* input, voxel_class input_class,
                           const uint8_t* mask, const Dims& dims,
                           const std::array<double, 3>& widths, int32_t factor, int32_t threads,
                           size_t shift)
{
    int64_t taps[3];
    for (int d = 0; d < 3; ++d)
        taps[d] = smooth_kernel_length(dims[d], widths[d], factor);
    const size_t count = static_cast<size_t>(voxels(dims));
    std::vector<T> area(count + 32, T(-12345));
    T* output = area.data() + ((64 - uintptr_t(area.data()) % 64) % 64 / sizeof(T) + shift % 16);
    const SmoothInput source = {input, input_class, mask};
    int status;
    if (sizeof(T) == sizeof(double))
        status = variant.doubles(source, reinterpret_cast<double*>(output), dims.data(), taps,
                                 widths.data(), threads, nullptr);
    else
        status = variant.floats(source, reinterpret_cast<float*>(output), dims.data(), taps,
                                widths.data(), threads, nullptr);
    EXPECT_EQ(status, smooth_done) << variant.name;
    return std::vector<T>(output, output + count);
}

struct OldLimitsCase {
    std::array<int32_t, 3> dims;
    std::array<double, 3> widths;
    int32_t factor;
    voxel_class input_class;  // double, or int16 converted as read
};

// Edges only, kernels as long as their axis, 99 taps, an axis of 1023.
const OldLimitsCase old_limits_cases[] = {
    {{1, 1, 1}, {2, 2, 2}, 4, voxel_double},       {{2, 5, 3}, {8, 1, 0}, 4, voxel_int16},
    {{17, 9, 12}, {2.5, 3, 7}, 3, voxel_double},   {{40, 33, 24}, {8, 8, 8}, 6, voxel_int16},
    {{120, 3, 101}, {24.5, 1, 24.5}, 4, voxel_double},
    {{1023, 2, 3}, {3.3, 1, 1}, 5, voxel_double},  {{9, 100, 11}, {0.5, 40, 1.4}, 7, voxel_double},
};

// For double data within gauss_filter's limits, every variant on 1 to 3
// threads and smooth_volume itself give gauss_filter's bits.
TEST(SmoothVolume, DoubleWithinTheOldLimitsIsGaussFiltersBits)
{
    for (const OldLimitsCase& c : old_limits_cases) {
        const Dims dims = {c.dims[0], c.dims[1], c.dims[2]};
        const size_t count = static_cast<size_t>(voxels(dims));
        std::vector<double> input = random_volume(count, 17u + c.dims[0]);
        std::vector<int16_t> samples(count);
        if (c.input_class == voxel_int16)
            for (size_t i = 0; i < count; ++i)
                input[i] = samples[i] = static_cast<int16_t>(input[i] * 300.0);  // within int16
        const void* given = c.input_class == voxel_double ? static_cast<const void*>(input.data())
                                                          : samples.data();
        const EngineRun run = run_gauss_filter(input, c.dims, c.widths, c.factor);
        ASSERT_FALSE(run.ended_by_error) << run.error;
        const std::array<int32_t, 3> printed = printed_kernel_sizes(run.console);
        for (int d = 0; d < 3; ++d)
            EXPECT_EQ(smooth_kernel_length(dims[d], c.widths[d], c.factor), printed[d])
                << "axis " << d;
        EXPECT_EQ(first_difference(run.output, smoothed<double>(given, c.input_class, nullptr,
                                                                dims, c.widths, c.factor, 3),
                                   dims),
                  "")
            << "smooth_volume, " << c.dims[0] << " x " << c.dims[1] << " x " << c.dims[2];
        for (const Variant& variant : variants) {
            if (variant.runs_here && !variant.runs_here())
                continue;
            for (int32_t threads = 1; threads <= 3; ++threads)
                EXPECT_EQ(first_difference(run.output,
                                           run_variant<double>(variant, given, c.input_class,
                                                               nullptr, dims, c.widths, c.factor,
                                                               threads, 2 * threads),
                                           dims),
                          "")
                    << variant.name << ", " << threads << " threads, " << c.dims[0] << " x "
                    << c.dims[1] << " x " << c.dims[2];
        }
    }
}

struct FloatCase {
    Dims dims;
    std::array<double, 3> widths;
    int32_t factor;
    voxel_class input_class;  // double, uint16 or single
    bool masked;
    double special_share;     // infinities, NaN, zeros, subnormals, overflow
    uint32_t seed;
};

// The float sums of every variant against the plain passes': small
// volumes of every shape, x lines on either side of going through blocks
// whole, long axes and kernels, and planes and rows that end on either
// side of the y and z passes' chunks (sized, as the engine sizes them,
// from work_capacity doubles' bytes of ring).
std::vector<FloatCase> float_cases()
{
    std::vector<FloatCase> cases;
    std::mt19937_64 random(28);
    std::uniform_int_distribution<int64_t> axis(1, 40);
    const voxel_class classes[] = {voxel_double, voxel_uint16, voxel_single};
    for (uint32_t i = 0; i < 150; ++i)
        cases.push_back({{axis(random), axis(random), axis(random)},
                         {uniform_double(random, 0.3, 9.0), uniform_double(random, 0.3, 9.0),
                          uniform_double(random, 0.3, 9.0)},
                         static_cast<int32_t>(1 + i % 7), classes[i % 3], i % 5 == 0,
                         i % 4 == 0 ? 0.05 : 0.0, i});
    // Rows and planes of whole cache lines, the output 0 to 15 floats past
    // one: chunks that begin on cache lines after a short first one.
    for (uint32_t shift = 0; shift < 16; ++shift)
        cases.push_back({{64, 16, 12}, {2, 8, 3}, 4, voxel_single, false, 0.0, shift});
    for (int64_t nx = 7; nx <= 26; ++nx)  // 9 taps: whole lines below 8 + width
        cases.push_back({{nx, 5, 3}, {2, 2, 1}, 4, voxel_single, false, 0.0, 7u});
    cases.push_back({{3000, 3, 2}, {60, 1, 1}, 4, voxel_uint16, false, 0.0, 1u});
    cases.push_back({{2, 3000, 3}, {1, 60, 2}, 4, voxel_double, true, 0.0, 2u});
    cases.push_back({{2, 3, 3000}, {1, 2, 60}, 4, voxel_single, false, 0.0, 3u});
    cases.push_back({{3, 401, 5}, {1, 1e6, 1}, 4, voxel_single, false, 0.0, 4u});
    const int64_t ring = work_capacity * int64_t(sizeof(double)) / int64_t(sizeof(float));
    for (int64_t run : {2, 4, 8})  // outputs per run: SSE2 and NEON, AVX, AVX-512
        for (int64_t half : {4, 16}) {
            const int64_t chunk = ring / (half + run) / 16 * 16;
            for (int64_t nx = chunk / 3 - 1; nx <= chunk / 3 + 1; ++nx)
                cases.push_back({{nx, 3, 5 + half}, {2, 2, half / 2.0}, 4, voxel_single, false,
                                 0.0, uint32_t(nx)});
            cases.push_back({{chunk + 1, 2 * half + 3, 2}, {half / 2.0, half / 2.0, 1}, 4,
                             voxel_single, false, 0.0, uint32_t(chunk)});
        }
    return cases;
}

// "" when the volumes are the same bits, a NaN matching any NaN.
std::string first_float_difference(const std::vector<float>& expected,
                                   const std::vector<float>& actual, const Dims& dims)
{
    std::vector<float> e = expected, a = actual;
    for (size_t i = 0; i < e.size() && i < a.size(); ++i)
        if (std::isnan(e[i]) && std::isnan(a[i]))
            e[i] = a[i] = 0.0f;
    return first_difference(e, a, dims);
}

TEST(SmoothVolume, EveryVariantGivesThePlainFloatBits)
{
    const float specials[] = {HUGE_VALF, -HUGE_VALF, 0.0f, -0.0f, 1e-45f, 3e38f, NAN};
    for (const FloatCase& c : float_cases()) {
        const size_t count = static_cast<size_t>(voxels(c.dims));
        std::mt19937_64 random(c.seed);
        std::vector<double> doubles(count);
        std::vector<float> singles(count);
        std::vector<uint16_t> samples(count);
        std::vector<uint8_t> mask(count);
        for (size_t i = 0; i < count; ++i) {
            doubles[i] = uniform_double(random, 0.0, 60000.0);
            if (uniform_double(random, 0.0, 1.0) < c.special_share)
                doubles[i] = specials[random() % std::size(specials)];
            singles[i] = static_cast<float>(doubles[i]);
            samples[i] = static_cast<uint16_t>(doubles[i] >= 0.0 && doubles[i] < 65536.0 ? doubles[i] : 0.0);
            mask[i] = uniform_double(random, 0.0, 1.0) < 0.8 ? 1 : 0;
        }
        const void* input = c.input_class == voxel_double   ? static_cast<const void*>(doubles.data())
                            : c.input_class == voxel_single ? static_cast<const void*>(singles.data())
                                                            : samples.data();
        const uint8_t* m = c.masked ? mask.data() : nullptr;
        const std::vector<float> plain =
            run_variant<float>(variants[0], input, c.input_class, m, c.dims, c.widths, c.factor, 1, 0);
        for (size_t v = 1; v < std::size(variants); ++v) {
            if (variants[v].runs_here && !variants[v].runs_here())
                continue;
            const int32_t threads = 1 + int32_t(c.seed % 3);
            ASSERT_EQ(first_float_difference(plain,
                                             run_variant<float>(variants[v], input, c.input_class,
                                                                m, c.dims, c.widths, c.factor,
                                                                threads, c.seed),
                                             c.dims),
                      "")
                << variants[v].name << ", " << threads << " threads, " << c.dims[0] << " x "
                << c.dims[1] << " x " << c.dims[2] << ", widths " << c.widths[0] << " "
                << c.widths[1] << " " << c.widths[2] << ", factor " << c.factor;
        }
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
    // A few float roundings of the largest value: measured on 128^3
    // random volumes up to 4.6 epsilons, on a point source 1.
    const double epsilon = std::numeric_limits<float>::epsilon();
    for (double width : {2.0, 8.0}) {
        EXPECT_LE(float_from_double(random_volume(count, 3), dims, width), 6 * epsilon) << width;
        EXPECT_LE(float_from_double(point, dims, width), 2 * epsilon) << width;
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

// The masked mean as smooth_volumes defined it before the passes took
// it over: the data read as 0 outside the mask, smoothed, over the mask
// smoothed, NaN outside the mask.
template <class T>
std::vector<T> mean_by_definition(const std::vector<double>& input, const uint8_t* mask,
                                  const Dims& dims, const std::array<double, 3>& widths)
{
    std::vector<T> data = smoothed<T>(input.data(), voxel_double, mask, dims, widths, 4);
    const std::vector<T> weights = smoothed<T>(mask, voxel_logical, nullptr, dims, widths, 4);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = mask[i] ? data[i] / weights[i] : std::numeric_limits<T>::quiet_NaN();
    return data;
}

// A variant's masked mean, the mask smoothed by the passes or, as a mask
// that serves a series has it, already.
template <class T>
std::vector<T> variant_mean(const Variant& variant, const std::vector<double>& input,
                            const uint8_t* mask, const Dims& dims,
                            const std::array<double, 3>& widths, int32_t threads,
                            bool already_smoothed)
{
    int64_t taps[3];
    for (int d = 0; d < 3; ++d)
        taps[d] = smooth_kernel_length(dims[d], widths[d], 4);
    std::vector<T> output(static_cast<size_t>(voxels(dims)), T(-12345));
    const std::vector<T> weights = smoothed<T>(mask, voxel_logical, nullptr, dims, widths, 4);
    const SmoothInput source = {input.data(), voxel_double, mask};
    const MaskedMean<T> mean = {already_smoothed ? weights.data() : nullptr};
    int status;
    if (sizeof(T) == sizeof(double))
        status = variant.doubles(source, reinterpret_cast<double*>(output.data()), dims.data(),
                                 taps, widths.data(), threads,
                                 reinterpret_cast<const MaskedMean<double>*>(&mean));
    else
        status = variant.floats(source, reinterpret_cast<float*>(output.data()), dims.data(),
                                taps, widths.data(), threads,
                                reinterpret_cast<const MaskedMean<float>*>(&mean));
    EXPECT_EQ(status, smooth_done) << variant.name;
    return output;
}

struct MeanCase {
    Dims dims;
    std::array<double, 3> widths;
    double kept;  // the share of the mask that is true
};

// Planes of several z chunks; a z kernel longer than its axis and voxels
// with no voxel of the mask in reach; planes narrower than a vector.
const MeanCase mean_cases[] = {
    {{64, 48, 20}, {2, 2, 2}, 0.8},
    {{37, 41, 30}, {3, 1.5, 6}, 0.5},
    {{20, 9, 4}, {2, 2, 9}, 0.05},
    {{3, 1, 9}, {1, 1, 2}, 0.6},
};

template <class T>
void expect_every_variant_means_by_definition()
{
    for (const MeanCase& c : mean_cases) {
        const size_t count = static_cast<size_t>(voxels(c.dims));
        const std::vector<double> input = random_volume(count, uint32_t(count));
        std::mt19937_64 random{count};
        std::vector<uint8_t> mask(count);
        for (size_t i = 0; i < count; ++i)
            mask[i] = uniform_double(random, 0.0, 1.0) < c.kept ? uint8_t(i % 2 ? 1 : 200) : 0;
        const std::vector<T> want = mean_by_definition<T>(input, mask.data(), c.dims, c.widths);
        for (const Variant& variant : variants) {
            if (variant.runs_here && !variant.runs_here())
                continue;
            for (int32_t threads : {1, 3})
                for (bool smoothed : {false, true})
                    EXPECT_EQ(first_difference(want,
                                               variant_mean<T>(variant, input, mask.data(),
                                                               c.dims, c.widths, threads,
                                                               smoothed),
                                               c.dims),
                              "")
                        << variant.name << ", " << threads << " threads, "
                        << (smoothed ? "mask smoothed already, " : "") << c.dims[0] << " x "
                        << c.dims[1] << " x " << c.dims[2] << ", " << sizeof(T) << "-byte";
        }
    }
}

TEST(SmoothVolume, EveryVariantsMaskedMeanIsItsDefinitionsBits)
{
    expect_every_variant_means_by_definition<double>();
    expect_every_variant_means_by_definition<float>();
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
    // Work areas beyond the address space, and kernels beyond
    // compute_gauss's count, are never asked for.
    const std::vector<uint16_t> samples(16);
    const struct {
        Dims dims;
        int64_t taps[3];
    } beyond[] = {
        {{int64_t(1) << 62, 2, 1}, {3, 1, 1}},  // more voxels than the address space
        {{3, int64_t(1) << 40, 1}, {3, (int64_t(1) << 40) - 1, 1}},
    };
    void* (*const normal)(size_t) = smooth_allocate;
    smooth_allocate = refuse;
    allocations_made = 0;
    for (const auto& b : beyond)
        for (int output_double : {0, 1})
            EXPECT_EQ(smooth_volume(samples.data(), voxel_uint16, nullptr, nullptr, output_double,
                                    b.dims.data(), b.taps, widths, 1),
                      smooth_out_of_memory);
    smooth_allocate = normal;
    EXPECT_EQ(allocations_made, 0);
}

}  // namespace
