// The SSE2, AVX and AVX-512 passes (or on 64-bit ARM the NEON passes)
// against the plain passes, bit for bit, on one thread and split among 2 to
// 5 threads (NEON: 1 to 3), on a few thousand random
// volumes: every axis length from 0 to 40 and some of up to 1023, planes
// that end on either side of the z pass's chunks, widths from zero to
// infinite and NaN, factors 1 to 7, and data with
// NaNs, infinities, signed zeros, subnormals and values that overflow when
// summed. gauss_filter settles the kernel lengths (and its own output, from
// whichever variant it picks, is checked too).
//
// When two NaNs of different bits meet in one addition or multiplication,
// x86 keeps the first operand's (ARM too, unless only the other is
// signalling), and for a commutative operation the compiler picks which
// that is: filter_1d's own compiled code picks
// differently from one term of a sum to the next. So the bits of such a
// NaN are no property of either engine. Cases whose NaNs all have the bits
// of the processor's default NaN (which inf - inf and 0 * inf also give)
// are compared bit for bit everywhere; cases that mix NaN payloads are
// compared bit for bit wherever the plain result is not a NaN.
#include <gtest/gtest.h>

#include "volume_passes.h"

#if VOXBLUR_VECTORS_X86_64 || VOXBLUR_VECTORS_NEON

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine_limits.h"
#include "engine_run.h"

namespace {

struct PassCase {
    std::array<int32_t, 3> dims;
    std::array<double, 3> widths;
    int32_t factor;
    double special_share;  // how many samples are drawn from special values
    bool mixed_nans;       // NaNs of several payloads, not only the default one
    bool zero_background;  // signed zeros instead of ordinary values between them
    uint64_t seed;
};

double from_bits(uint64_t bits)
{
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The NaN that the processor's arithmetic makes: negative on x86,
// positive on ARM. Worked out at run time, which a compiler's folding
// would not answer for the processor.
double processor_nan()
{
    volatile double infinity = std::numeric_limits<double>::infinity();
    return infinity - infinity;
}

const double default_nan = processor_nan();

// NaNs beside the default one: C's and Octave's NaN, a payload, a
// signalling NaN.
const double other_nans[] = {from_bits(0x7ff8000000000000), from_bits(0x7ff8000000c0ffee),
                             from_bits(0x7ff0000000000bad)};

const double special_values[] = {
    default_nan,
    std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(),
    0.0,
    -0.0,
    std::numeric_limits<double>::denorm_min(),
    -2.5e-310,
    DBL_MIN,
    DBL_MAX,
    -DBL_MAX,
};

// Mostly widths that give kernels of 3 to 99 taps, sometimes the extremes.
double random_width(std::mt19937_64& random)
{
    static const double extremes[] = {0.0, -1.5, 1e-3, 1e10, 1e300,
                                      std::numeric_limits<double>::infinity(), default_nan};
    static const double upper[] = {3.0, 12.0, 40.0};
    const int kind = std::uniform_int_distribution<int>(0, 9)(random);
    if (kind == 0)
        return extremes[std::uniform_int_distribution<size_t>(0, std::size(extremes) - 1)(random)];
    return uniform_double(random, 0.1, upper[(kind - 1) / 3]);
}

// Under an emulator the table runs many times slower (the NEON table under
// qemu-aarch64: minutes), and under a sanitizer five times.
// VOXBLUR_PASS_TABLE=emulated, which the tests that run it so set, keeps the rows that reach a path of their own (every
// length on every axis, the long axes, every plane that ends at a chunk's
// edge) but takes a tenth of the rows of three random lengths, and z axes of
// at most 12 beside the planes of 600 samples or more.
bool emulated_table()
{
    const char* table = std::getenv("VOXBLUR_PASS_TABLE");
    return table && std::string(table) == "emulated";
}

void trim_for_emulator(std::vector<PassCase>& cases)
{
    for (PassCase& c : cases)
        if (c.dims[0] * c.dims[1] >= 600)
            c.dims[2] = std::min(c.dims[2], 12);
}

std::vector<PassCase> pass_cases()
{
    std::mt19937_64 random(20240611);
    std::uniform_int_distribution<int32_t> small(0, 12);
    std::uniform_int_distribution<int32_t> any(0, 40);
    std::uniform_int_distribution<int32_t> factor(1, 7);
    const double shares[] = {0.0, 0.001, 0.02, 0.3};
    std::uniform_int_distribution<size_t> share(0, std::size(shares) - 1);
    std::vector<PassCase> cases;
    auto add = [&](std::array<int32_t, 3> dims) {
        cases.push_back({dims,
                         {random_width(random), random_width(random), random_width(random)},
                         factor(random),
                         shares[share(random)],
                         random() % 4 == 0,
                         random() % 4 == 0,
                         random()});
    };

    // Every length from 0 to 40 on every axis, beside short other axes.
    for (int repeat = 0; repeat < 6; ++repeat)
        for (int axis = 0; axis < 3; ++axis)
            for (int32_t n = 0; n <= 40; ++n) {
                std::array<int32_t, 3> dims{small(random), small(random), small(random)};
                dims[axis] = n;
                add(dims);
            }
    // Any three lengths up to 40.
    for (int i = 0, rows = emulated_table() ? 150 : 1500; i < rows; ++i)
        add({any(random), any(random), any(random)});
    // Long axes, up to the longest accepted, where kernels reach 99 taps,
    // beside short axes and beside axes of more than one block of eight
    // (so that a long y or z line leaves room for one block per gather).
    const int32_t long_lengths[] = {1023, 1022, 513, 300, 101, 100, 99};
    std::uniform_int_distribution<int32_t> wide(9, 20);
    for (int32_t n : long_lengths)
        for (int axis = 0; axis < 3; ++axis) {
            std::array<int32_t, 3> dims{1 + small(random) % 5, 1 + small(random) % 5,
                                        1 + small(random) % 5};
            dims[axis] = n;
            add(dims);
            if (n % 2 == 0)
                continue;
            dims = {wide(random), wide(random), wide(random)};
            dims[axis] = n;
            add(dims);
        }
    // The z pass takes the planes in chunks that fill its work area with a
    // ring of half a kernel and a run of layers (layer_pass.h), for 9 and
    // 33 taps with vectors of 2, 4 or 8 lanes: planes of 3 x nx samples
    // that end just before, on and after the end of a chunk, and planes of
    // 8 x nx, whose chunks are moved to begin on cache lines, beside z axes
    // of 1 to 40 and of 1023.
    std::vector<int32_t> chunk_ends;
    for (int32_t half : {4, 16})
        for (int32_t lanes : {4, 2, 8})
            chunk_ends.push_back(work_capacity / (half + lanes) / 8 * 8);
    std::uniform_int_distribution<int32_t> z_axis(1, 40);
    for (int32_t end : chunk_ends)
        for (int32_t ny : {3, 8})
            for (int32_t nx = end / ny - 1; nx <= end / ny + 1; ++nx)
                for (double z_width : {2.0, 8.0}) {
                    add({nx, ny, random() % 8 == 0 ? 1023 : z_axis(random)});
                    cases.back().widths[2] = z_width;
                    cases.back().factor = 4;
                }
    return cases;
}

size_t voxel_count(const std::array<int32_t, 3>& dims)
{
    return static_cast<size_t>(dims[0]) * dims[1] * dims[2];
}

std::vector<double> case_volume(const PassCase& c)
{
    std::mt19937_64 random(c.seed);
    std::uniform_int_distribution<size_t> special(0, std::size(special_values) - 1);
    std::uniform_int_distribution<size_t> other_nan(0, std::size(other_nans) - 1);
    std::vector<double> volume(voxel_count(c.dims));
    for (double& v : volume) {
        if (uniform_double(random, 0.0, 1.0) < c.special_share)
            v = special_values[special(random)];
        else if (c.zero_background)
            v = uniform_double(random, 0.0, 1.0) < 0.5 ? 0.0 : -0.0;
        else
            v = uniform_double(random, -100.0, 100.0);
        if (c.mixed_nans && std::isnan(v) && uniform_double(random, 0.0, 1.0) < 0.75)
            v = other_nans[other_nan(random)];
    }
    return volume;
}

uint64_t bits(double value)
{
    uint64_t b;
    std::memcpy(&b, &value, sizeof b);
    return b;
}

// "" when the volumes are the same bits, else the first voxel that is not.
// With any_nan_bits, a NaN matches a NaN of other bits.
std::string first_difference(const std::vector<double>& expected, const std::vector<double>& actual,
                             const std::array<int32_t, 3>& dims, bool any_nan_bits = false)
{
    if (expected.size() != actual.size())
        return "the volumes differ in size";
    if (expected.empty() ||
        std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(double)) == 0)
        return "";
    for (size_t i = 0; i < expected.size(); ++i) {
        if (bits(expected[i]) == bits(actual[i]) ||
            (any_nan_bits && std::isnan(expected[i]) && std::isnan(actual[i])))
            continue;
        char text[200];
        std::snprintf(text, sizeof text,
                      "first difference at (%zu, %zu, %zu): plain %a, got %a (bits %016llx, %016llx)",
                      i % dims[0], i / dims[0] % dims[1], i / dims[0] / dims[1], expected[i],
                      actual[i], static_cast<unsigned long long>(bits(expected[i])),
                      static_cast<unsigned long long>(bits(actual[i])));
        return text;
    }
    return "";
}

std::string describe(const PassCase& c, const std::array<int32_t, 3>& taps)
{
    char text[300];
    std::snprintf(text, sizeof text,
                  "volume %d x %d x %d, widths %a %a %a, factor %d, taps %d %d %d, special share %g%s%s",
                  c.dims[0], c.dims[1], c.dims[2], c.widths[0], c.widths[1], c.widths[2], c.factor,
                  taps[0], taps[1], taps[2], c.special_share,
                  c.mixed_nans ? ", mixed NaNs" : "", c.zero_background ? ", zeros" : "");
    return text;
}

struct Variant {
    const char* name;
    volume_passes_fn* passes;
    int (*cpu_has)();       // null: every processor of the architecture has it
    const char* missing;    // what the processor lacks when cpu_has() is 0
    int32_t least_threads;  // case i on least_threads + i % thread_counts threads
    int32_t thread_counts;
};

void PrintTo(const Variant& variant, std::ostream* out)
{
    *out << variant.name;
}

class VectorPasses : public testing::TestWithParam<Variant> {};

TEST_P(VectorPasses, WriteTheSameBitsAsThePlainPasses)
{
    const Variant& variant = GetParam();
    if (variant.cpu_has && !variant.cpu_has())
        GTEST_SKIP() << "this processor or system has no " << variant.missing;

    std::vector<PassCase> cases = pass_cases();
    if (emulated_table())
        trim_for_emulator(cases);
    ASSERT_GT(cases.size(), emulated_table() ? 900u : 2000u);
    // A voxel left unwritten keeps this payload, which no arithmetic makes.
    const double unwritten = from_bits(0x7ff4000000dead00);
    for (size_t i = 0; i < cases.size(); ++i) {
        const PassCase& c = cases[i];
        const int32_t threads = variant.least_threads + int32_t(i % variant.thread_counts);
        const std::vector<double> input = case_volume(c);
        const std::vector<double> input_copy = input;
        EngineRun run = run_gauss_filter(input, c.dims, c.widths, c.factor);
        ASSERT_FALSE(run.ended_by_error) << run.error;
        const std::array<int32_t, 3> taps = printed_kernel_sizes(run.console);
        // gauss_filter hands the passes no empty volume (its data may be null).
        if (input.empty())
            continue;

        std::vector<double> plain(input.size(), unwritten);
        volume_passes_plain(input.data(), plain.data(), c.dims.data(), taps.data(),
                            c.widths.data(), 1);
        std::vector<double> vector(input.size(), unwritten);
        variant.passes(input.data(), vector.data(), c.dims.data(), taps.data(), c.widths.data(),
                       threads);

        ASSERT_EQ(first_difference(plain, vector, c.dims, c.mixed_nans), "")
            << describe(c, taps) << ", " << threads << " threads";
        ASSERT_EQ(first_difference(plain, run.output, c.dims, c.mixed_nans), "")
            << "gauss_filter, " << describe(c, taps);
        ASSERT_EQ(first_difference(input_copy, input, c.dims), "") << "input changed";
    }
}

const Variant variants[] = {
#if VOXBLUR_VECTORS_X86_64
    {"sse2", volume_passes_sse2, nullptr, "", 1, 1},
    {"avx", volume_passes_avx, cpu_has_avx, "AVX", 1, 1},
    {"avx512", volume_passes_avx512, cpu_has_avx512, "AVX-512F", 1, 1},
    {"sse2_2_to_5_threads", volume_passes_sse2, nullptr, "", 2, 4},
#else
    {"neon_1_to_3_threads", volume_passes_neon, nullptr, "", 1, 3},
#endif
};

INSTANTIATE_TEST_SUITE_P(Variants, VectorPasses, testing::ValuesIn(variants),
                         [](const testing::TestParamInfo<Variant>& info) {
                             return std::string(info.param.name);
                         });

#if VOXBLUR_VECTORS_NEON
// NEON is in every 64-bit ARM processor: gauss_filter takes it for any
// kernels, never the plain passes.
TEST(VectorChoice, EveryArmBuildTakesNeon)
{
    for (int32_t length : {1, 3, 9, 33, 99}) {
        const int32_t taps[3] = {length, length, length};
        EXPECT_EQ(fastest_passes(taps), volume_passes_neon) << length << " taps";
    }
}
#endif

}  // namespace

#endif
