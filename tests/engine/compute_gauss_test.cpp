#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine_run.h"
#include "voxblur_engine.h"

namespace {

struct KernelCase {
    int32_t count;
    double width;
    std::vector<double> taps;
};

void PrintTo(const KernelCase& c, std::ostream* os)
{
    *os << c.count << " taps, width " << c.width;
}

class KnownKernels : public testing::TestWithParam<KernelCase> {};

TEST_P(KnownKernels, MatchTheWorkedTaps)
{
    const KernelCase& c = GetParam();
    std::vector<double> kernel = kernel_of(c.count, c.width);
    for (size_t i = 0; i < c.taps.size(); ++i)
        EXPECT_NEAR(kernel[i], c.taps[i], 1e-12) << "tap " << i;
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, KnownKernels,
    testing::Values(KernelCase{3, 1.0, {1.0 / 18, 16.0 / 18, 1.0 / 18}},
                    KernelCase{3, 2.0, {0.25, 0.5, 0.25}},
                    // 0.5^(4/4) and 0.5^(1/4) before normalisation
                    KernelCase{5, 2.0,
                               {0.0625 / 2.125, 0.5 / 2.125, 1.0 / 2.125, 0.5 / 2.125,
                                0.0625 / 2.125}},
                    KernelCase{1, 7.5, {1.0}}, KernelCase{1, 0.0, {1.0}}));

TEST(ComputeGauss, FiveTapWidthTwoToSixDigits)
{
    std::vector<double> kernel = kernel_of(5, 2.0);
    const double expected[] = {0.0294118, 0.235294, 0.470588, 0.235294, 0.0294118};
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(kernel[i], expected[i], 5e-7);
}

TEST(ComputeGauss, ZeroWidthIsFlooredToACleanImpulse)
{
    // Without the variance floor the centre tap would be exp(-0/0) = NaN.
    // With it the outer taps are exp(-5000), which underflows to exactly 0.
    for (double width : {0.0, -0.0, 1e-300, 0.01, -0.02, 0.0235}) {
        std::vector<double> kernel = kernel_of(3, width);
        EXPECT_EQ(kernel[0], 0.0) << width;
        EXPECT_EQ(kernel[1], 1.0) << width;
        EXPECT_EQ(kernel[2], 0.0) << width;
    }
}

TEST(ComputeGauss, SignOfWidthDoesNotMatter)
{
    EXPECT_EQ(kernel_of(9, -2.5), kernel_of(9, 2.5));
}

TEST(ComputeGauss, UsesTheFourteenDigitVarianceConstant)
{
    // At distance FWHM/2 a Gaussian is half its peak. The 14-digit constant
    // makes it differ from one half by a few units in the last place; the
    // double nearest 1/(8 ln 2) would not.
    std::vector<double> kernel = kernel_of(3, 2.0);
    double ratio = kernel[0] / kernel[1];
    EXPECT_NEAR(ratio, 0.5, 1e-15);
    const double variance = 2.0 * 2.0 * 0.18033688011112;
    EXPECT_EQ(kernel[0], std::exp(-1.0 / (2.0 * variance)) /
                             (std::exp(-1.0 / (2.0 * variance)) * 2.0 + 1.0));
}

TEST(ComputeGauss, LongKernelsBitForBitAsDocumented)
{
    // The documented arithmetic written out step by step. Rewrites that
    // look equal, multiplying by 1 / (2 v) or by 1 / sum, change last bits
    // of long kernels, which every other check shares through compute_gauss
    // and so cannot see. The values are computed here rather than written
    // down: exp differs in last bits between C libraries.
    for (int32_t count : {9, 99})
        for (double width : {2.5, 7.0}) {
            const double variance = width * width * 0.18033688011112;
            std::vector<double> expected(count);
            double sum = 0.0;
            for (int32_t i = 0; i < count; ++i) {
                const double offset = i - (count - 1) * 0.5;
                const double square = offset * offset;
                const double scaled = square / (2.0 * variance);
                expected[i] = std::exp(-scaled);
                sum += expected[i];
            }
            for (double& tap : expected)
                tap = tap / sum;

            std::vector<double> kernel = kernel_of(count, width);
            for (int32_t i = 0; i < count; ++i)
                ASSERT_EQ(kernel[i], expected[i])
                    << count << " taps, width " << width << ", tap " << i << ": "
                    << std::hexfloat << kernel[i] << " against " << expected[i];
        }
}

TEST(ComputeGauss, SymmetricAndSummingToOneForManyWidths)
{
    for (int32_t count = 1; count <= 99; count += 2)
        for (double width : {0.3, 0.7, 1.0, 2.5, 7.0, 30.0, 1e6}) {
            std::vector<double> kernel = kernel_of(count, width);
            double sum = 0.0;
            for (int32_t i = 0; i < count; ++i) {
                ASSERT_EQ(kernel[i], kernel[count - 1 - i]) << count << " taps, width " << width;
                sum += kernel[i];
            }
            EXPECT_NEAR(sum, 1.0, 1e-13) << count << " taps, width " << width;
        }
}

TEST(ComputeGauss, NonPositiveCountWritesNothing)
{
    for (int32_t count : {0, -1, -7}) {
        std::vector<double> kernel(4, 42.0);
        compute_gauss(count, kernel.data(), 2.0);
        EXPECT_EQ(kernel, std::vector<double>(4, 42.0)) << count;
    }
}

TEST(ComputeGauss, WritesExactlyCountTaps)
{
    std::vector<double> kernel(8, 42.0);
    compute_gauss(5, kernel.data(), 2.0);
    EXPECT_EQ(kernel[5], 42.0);
    EXPECT_EQ(kernel[7], 42.0);
}

TEST(ComputeGauss, NanWidthGivesNanTaps)
{
    for (double tap : kernel_of(3, std::numeric_limits<double>::quiet_NaN()))
        EXPECT_TRUE(std::isnan(tap));
}

TEST(ComputeGauss, InfiniteWidthGivesEqualTaps)
{
    for (double width : {std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity()})
        for (double tap : kernel_of(3, width))
            EXPECT_EQ(tap, 1.0 / 3.0);
}

}  // namespace
