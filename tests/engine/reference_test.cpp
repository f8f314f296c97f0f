// The engine against a deliberately naive formulation: for every voxel, a
// direct 3-D weighted sum over the kernel taps that land inside the volume,
// divided by the sum of those weights.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine_run.h"

namespace {

// Unnormalised Gaussian taps at offsets -h .. h for a FWHM in voxels; the
// normalisation cancels in the weighted mean.
std::vector<double> naive_taps(int32_t count, double fwhm)
{
    double variance = std::max(fwhm * fwhm / (8.0 * std::log(2.0)), 0.0001);
    std::vector<double> taps;
    for (int32_t offset = -(count / 2); offset <= count / 2; ++offset)
        taps.push_back(std::exp(-offset * offset / (2.0 * variance)));
    return taps;
}

std::vector<double> naive_filter(const std::vector<double>& input, std::array<int32_t, 3> n,
                                 std::array<int32_t, 3> counts, std::array<double, 3> widths)
{
    std::vector<double> taps[3];
    for (int d = 0; d < 3; ++d)
        taps[d] = naive_taps(counts[d], widths[d]);
    const int hx = counts[0] / 2, hy = counts[1] / 2, hz = counts[2] / 2;
    std::vector<double> output(input.size());
    for (int z = 0; z < n[2]; ++z)
        for (int y = 0; y < n[1]; ++y)
            for (int x = 0; x < n[0]; ++x) {
                double sum = 0, weight = 0;
                for (int c = -hz; c <= hz; ++c)
                    for (int b = -hy; b <= hy; ++b)
                        for (int a = -hx; a <= hx; ++a) {
                            int xi = x + a, yi = y + b, zi = z + c;
                            if (xi < 0 || yi < 0 || zi < 0 || xi >= n[0] || yi >= n[1] || zi >= n[2])
                                continue;
                            double w = taps[0][a + hx] * taps[1][b + hy] * taps[2][c + hz];
                            sum += w * input[xi + n[0] * (yi + n[1] * zi)];
                            weight += w;
                        }
                output[x + n[0] * (y + n[1] * z)] = sum / weight;
            }
    return output;
}

TEST(EngineAgainstNaiveFilter, RandomVolumesOfOddShapes)
{
    std::mt19937 generator(2024);
    std::uniform_int_distribution<int32_t> length(1, 14);
    std::uniform_real_distribution<double> width(0.0, 4.0);
    std::uniform_int_distribution<int32_t> factor(1, 6);
    for (int trial = 0; trial < 60; ++trial) {
        std::array<int32_t, 3> dims{length(generator), length(generator), length(generator)};
        std::array<double, 3> widths{width(generator), width(generator), width(generator)};
        int32_t f = factor(generator);
        std::vector<double> input =
            random_volume(static_cast<size_t>(dims[0]) * dims[1] * dims[2], 100 + trial);

        EngineRun run = run_gauss_filter(input, dims, widths, f);
        ASSERT_FALSE(run.ended_by_error) << run.error;
        std::vector<double> expected =
            naive_filter(input, dims, printed_kernel_sizes(run.console), widths);
        for (size_t i = 0; i < input.size(); ++i)
            ASSERT_NEAR(run.output[i], expected[i], 1e-12 * 100)
                << "trial " << trial << " voxel " << i << " of " << dims[0] << "x" << dims[1]
                << "x" << dims[2];
    }
}

}  // namespace
