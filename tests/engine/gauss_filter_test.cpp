#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <vector>

#include "engine_run.h"
#include "voxblur_engine.h"

namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

size_t volume_size(std::array<int32_t, 3> dims)
{
    return static_cast<size_t>(dims[0]) * dims[1] * dims[2];
}

// One axis of n samples, the other two of length 1 (which print as 1 tap).
struct KernelLengthCase {
    int32_t axis_length;
    double width;
    int32_t factor;
    int32_t taps;
    const char* warning;
};

void PrintTo(const KernelLengthCase& c, std::ostream* os)
{
    *os << "axis " << c.axis_length << ", width " << c.width << ", factor " << c.factor;
}

class KernelLengths : public testing::TestWithParam<KernelLengthCase> {};

TEST_P(KernelLengths, FollowTheRules)
{
    const KernelLengthCase& c = GetParam();
    for (int axis = 0; axis < 3; ++axis) {
        std::array<int32_t, 3> dims{1, 1, 1};
        std::array<double, 3> widths{1.0, 1.0, 1.0};
        dims[axis] = c.axis_length;
        widths[axis] = c.width;
        std::array<int32_t, 3> taps{1, 1, 1};
        taps[axis] = c.taps;

        EngineRun run = run_gauss_filter(random_volume(volume_size(dims), 7), dims, widths, c.factor);
        ASSERT_FALSE(run.ended_by_error) << run.error;
        EXPECT_EQ(run.status, 0);
        char line[128];
        std::snprintf(line, sizeof line, "Filter kernel size (%d, %d, %d voxels)\n", taps[0],
                      taps[1], taps[2]);
        EXPECT_EQ(run.console, std::string(c.warning) + line) << "axis " << axis;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, KernelLengths,
    testing::Values(
        KernelLengthCase{7, 1.0, 4, 5, ""},    // 4.5 truncates to 4, made odd
        KernelLengthCase{7, 0.5, 4, 3, ""},    // 2.5 truncates to 2, at least 3
        KernelLengthCase{7, 0.25, 4, 3, ""},   // 1.5 truncates to 1, at least 3
        KernelLengthCase{7, 0.0, 4, 3, ""},
        KernelLengthCase{7, -2.0, 4, 3, ""},   // a negative length becomes 3
        KernelLengthCase{7, 2.0, 4, 7, ""},    // 8.5 -> 8 -> 9, cut to the odd axis
        KernelLengthCase{6, 2.0, 4, 5, ""},    // ... or to one less than the even axis
        KernelLengthCase{9, 1.0, 3, 3, ""},    // 3.5 -> 3, already odd
        KernelLengthCase{9, 1.0, 0, 3, ""},    // factor 0: 0.5 -> 0 -> 3
        KernelLengthCase{9, 2.0, -4, 3, ""},   // -7.5 -> -7 -> 3
        KernelLengthCase{7, nan, 4, 3, ""},    // NaN converts to INT32_MIN
        KernelLengthCase{7, inf, 4, 3, ""},
        KernelLengthCase{7, -inf, 4, 3, ""},
        KernelLengthCase{200, 1e10, 4, 3, ""},  // beyond the 32-bit range
        KernelLengthCase{80, 30.0, 4, 79, ""},
        KernelLengthCase{200, 30.0, 4, 99,
                         "WARNING gauss_filter(): Large kernel truncated ( 121 > 100 voxels)\n"},
        KernelLengthCase{101, 25.0, 4, 99,
                         "WARNING gauss_filter(): Large kernel truncated ( 101 > 100 voxels)\n"},
        KernelLengthCase{100, 25.0, 4, 99, ""},  // cut to 99: no warning
        // The largest factor: 2147483647.5 truncates to INT32_MAX, odd, cut
        // to the axis.
        KernelLengthCase{200, 1.0, 2147483647, 99,
                         "WARNING gauss_filter(): Large kernel truncated ( 199 > 100 voxels)\n"},
        KernelLengthCase{1023, 1e5, 4, 99,
                         "WARNING gauss_filter(): Large kernel truncated ( 1023 > 100 voxels)\n"},
        KernelLengthCase{1, 5.0, 4, 1, ""},
        KernelLengthCase{2, 5.0, 4, 1, ""},
        KernelLengthCase{3, 0.1, 4, 3, ""}));

#if defined(__x86_64__)
// 5 * 0.7 rounds to exactly 3.5 in double, so 4.0 truncates to 4 and is made
// odd. (The x87 builds keep the product unrounded and get 3.)
TEST(GaussFilter, FactorFiveWidthPointSevenGivesFiveTapsInDoubleArithmetic)
{
    EngineRun run = run_gauss_filter(std::vector<double>(9, 1.0), {9, 1, 1}, {0.7, 0, 0}, 5);
    EXPECT_EQ(printed_kernel_sizes(run.console), (std::array<int32_t, 3>{5, 1, 1}));
}
#endif

TEST(GaussFilter, WarningsComeBeforeTheKernelSizeLineInAxisOrder)
{
    std::array<int32_t, 3> dims{200, 1, 150};
    EngineRun run = run_gauss_filter(random_volume(volume_size(dims), 3), dims, {30, 0, 40}, 4);
    EXPECT_EQ(run.console,
              "WARNING gauss_filter(): Large kernel truncated ( 121 > 100 voxels)\n"
              "WARNING gauss_filter(): Large kernel truncated ( 149 > 100 voxels)\n"
              "Filter kernel size (99, 1, 99 voxels)\n");
}

struct SizeLimitCase {
    std::array<int32_t, 3> dims;
    int32_t largest;
};

void PrintTo(const SizeLimitCase& c, std::ostream* os)
{
    *os << c.dims[0] << " x " << c.dims[1] << " x " << c.dims[2];
}

class SizeLimit : public testing::TestWithParam<SizeLimitCase> {};

TEST_P(SizeLimit, RejectsAnAxisOf1024OrMoreBeforePrintingOrWriting)
{
    const SizeLimitCase& c = GetParam();
    std::vector<double> input(volume_size(c.dims), 1.0);
    EngineRun run = run_gauss_filter(input, c.dims, {1, 1, 1}, 4);
    EXPECT_TRUE(run.ended_by_error);
    EXPECT_EQ(run.error, "gauss_filter(): Image dimension " + std::to_string(c.largest) + " > 1024");
    EXPECT_EQ(run.console, "");
    for (double v : run.output)
        ASSERT_EQ(v, sentinel_value());
}

INSTANTIATE_TEST_SUITE_P(Volumes, SizeLimit,
                         testing::Values(SizeLimitCase{{1024, 1, 2}, 1024},
                                         SizeLimitCase{{2, 1024, 1}, 1024},
                                         SizeLimitCase{{1, 3, 1024}, 1024},
                                         SizeLimitCase{{3, 1100, 1025}, 1100}));

TEST(GaussFilter, AcceptsAxesOf1023)
{
    for (std::array<int32_t, 3> dims : {std::array<int32_t, 3>{1023, 1, 2}, {2, 1023, 1}, {1, 2, 1023}}) {
        std::vector<double> input = random_volume(volume_size(dims), 11);
        EngineRun run = run_gauss_filter(input, dims, {2, 2, 2}, 4);
        ASSERT_FALSE(run.ended_by_error) << run.error;
        EXPECT_EQ(run.status, 0);
        for (double v : run.output)
            ASSERT_TRUE(std::isfinite(v) && v != sentinel_value());
    }
}

TEST(GaussFilter, ZeroLengthAxisGivesEmptyResultAndReportsMinusOne)
{
    struct {
        std::array<int32_t, 3> dims;
        const char* line;
    } cases[] = {{{0, 5, 5}, "Filter kernel size (-1, 5, 5 voxels)\n"},
                 {{5, 0, 5}, "Filter kernel size (5, -1, 5 voxels)\n"},
                 {{5, 5, 0}, "Filter kernel size (5, 5, -1 voxels)\n"},
                 {{0, 0, 0}, "Filter kernel size (-1, -1, -1 voxels)\n"}};
    for (const auto& c : cases) {
        EngineRun run = run_gauss_filter({}, c.dims, {2, 2, 2}, 4);
        EXPECT_FALSE(run.ended_by_error) << run.error;
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.console, c.line);
    }
}

TEST(GaussFilter, AxesOfOneOrTwoSamplesPassThroughUnchanged)
{
    for (std::array<int32_t, 3> dims : {std::array<int32_t, 3>{1, 1, 1}, {2, 2, 2}, {1, 2, 1}, {2, 1, 2}}) {
        std::vector<double> input = random_volume(volume_size(dims), 5);
        EngineRun run = run_gauss_filter(input, dims, {3, 3, 3}, 4);
        EXPECT_EQ(run.output, input);
    }
}

TEST(GaussFilter, OnlyTheLongAxisIsFiltered)
{
    // A 2 x 7 x 2 volume: x and z pass through, each y line is filtered alone.
    std::array<int32_t, 3> dims{2, 7, 2};
    std::vector<double> input = random_volume(volume_size(dims), 9);
    EngineRun run = run_gauss_filter(input, dims, {2, 2, 2}, 4);
    std::vector<double> kernel(7);
    compute_gauss(7, kernel.data(), 2.0);
    for (int z = 0; z < 2; ++z)
        for (int x = 0; x < 2; ++x) {
            std::vector<double> line(7), expected(7);
            for (int y = 0; y < 7; ++y)
                line[y] = input[x + 2 * y + 14 * z];
            EngineRun line_run = run_filter_1d(line, kernel, 7, 7, expected);
            for (int y = 0; y < 7; ++y)
                EXPECT_EQ(run.output[x + 2 * y + 14 * z], line_run.output[y]);
        }
}

TEST(GaussFilter, ImpulseInFiveCubedVolume)
{
    std::array<int32_t, 3> dims{5, 5, 5};
    std::vector<double> input(125, 0.0);
    input[62] = 1.0;
    EngineRun run = run_gauss_filter(input, dims, {2, 2, 2}, 4);
    EXPECT_EQ(run.console, "Filter kernel size (5, 5, 5 voxels)\n");

    const double response[5] = {0.04, 0.242424, 0.470588, 0.242424, 0.04};
    for (int z = 0; z < 5; ++z)
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_NEAR(run.output[x + 5 * y + 25 * z], response[x] * response[y] * response[z],
                            2e-6);
    EXPECT_NEAR(run.output[62], 0.104213, 5e-7);
    EXPECT_NEAR(run.output[0], 0.000064, 5e-7);
    EXPECT_NEAR(run.output[124], 0.000064, 5e-7);
    EXPECT_NEAR(std::accumulate(run.output.begin(), run.output.end(), 0.0), 1.1101, 5e-5);
}

TEST(GaussFilter, LeavesTheInputBitForBitUnchanged)
{
    std::array<int32_t, 3> dims{17, 9, 12};
    std::vector<double> input = random_volume(volume_size(dims), 13);
    input[3] = nan;
    input[4] = -0.0;
    std::vector<double> copy = input;
    run_gauss_filter(input, dims, {3, 1.5, 4}, 4);
    EXPECT_EQ(std::memcmp(input.data(), copy.data(), input.size() * sizeof(double)), 0);
}

TEST(GaussFilter, WritesEveryOutputElement)
{
    std::array<int32_t, 3> dims{6, 5, 4};
    EngineRun run = run_gauss_filter(random_volume(volume_size(dims), 17), dims, {1, 2, 3}, 4);
    for (double v : run.output)
        ASSERT_NE(v, sentinel_value());
}

TEST(GaussFilter, NanWidthMakesTheResultNan)
{
    std::array<int32_t, 3> dims{5, 4, 3};
    EngineRun run = run_gauss_filter(random_volume(volume_size(dims), 19), dims, {1, nan, 1}, 4);
    for (double v : run.output)
        ASSERT_TRUE(std::isnan(v));
}

}  // namespace
