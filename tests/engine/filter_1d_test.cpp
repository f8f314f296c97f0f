#include <gtest/gtest.h>

#include <vector>

#include "engine_run.h"
#include "voxblur_engine.h"

namespace {

struct LineCase {
    const char* name;
    std::vector<double> input;
    std::vector<double> kernel;
    std::vector<double> expected;
    double tolerance;
};

void PrintTo(const LineCase& c, std::ostream* os)
{
    *os << c.name;
}

class WorkedLines : public testing::TestWithParam<LineCase> {};

TEST_P(WorkedLines, MatchTheWorkedOutput)
{
    const LineCase& c = GetParam();
    const auto nx = static_cast<int32_t>(c.input.size());
    EngineRun run = run_filter_1d(c.input, c.kernel, nx, static_cast<int32_t>(c.kernel.size()),
                                  std::vector<double>(c.input.size(), sentinel_value()));
    ASSERT_FALSE(run.ended_by_error) << run.error;
    EXPECT_EQ(run.console, "");
    for (size_t i = 0; i < c.expected.size(); ++i)
        EXPECT_NEAR(run.output[i], c.expected[i], c.tolerance) << "sample " << i;
}

const std::vector<double> quarter_half_quarter = {0.25, 0.5, 0.25};

INSTANTIATE_TEST_SUITE_P(
    Examples, WorkedLines,
    testing::Values(
        // Edges are weighted means of the samples that exist:
        // (0.5*1 + 0.25*2)/0.75 and (0.25*4 + 0.5*5)/0.75.
        LineCase{"ramp", {1, 2, 3, 4, 5}, quarter_half_quarter, {4.0 / 3, 2, 3, 4, 14.0 / 3}, 1e-15},
        LineCase{"impulse",
                 {0, 0, 1, 0, 0},
                 kernel_of(5, 2.0),
                 {0.04, 0.242424, 0.470588, 0.242424, 0.04},
                 5e-7},
        // nk = nx: out[0] from taps 1..2, out[1] the whole kernel, out[2] taps 0..1.
        LineCase{"kernel as long as the line",
                 {3, 7, 11},
                 quarter_half_quarter,
                 {(0.5 * 3 + 0.25 * 7) / 0.75, 0.25 * 3 + 0.5 * 7 + 0.25 * 11,
                  (0.25 * 7 + 0.5 * 11) / 0.75},
                 0.0},
        LineCase{"one tap", {3, -7, 11.5}, {1.0}, {3, -7, 11.5}, 0.0},
        LineCase{"one tap on one sample", {2.5}, {1.0}, {2.5}, 0.0}),
    [](const testing::TestParamInfo<LineCase>& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

TEST(Filter1d, EmptyLineWithEmptyKernelWritesAndReportsNothing)
{
    std::vector<double> kernel(1, 99.0);
    EngineRun run = run_filter_1d({}, kernel, 0, -1, {sentinel_value()});
    EXPECT_FALSE(run.ended_by_error);
    EXPECT_EQ(run.console, "");
    EXPECT_EQ(run.output[0], sentinel_value());
}

TEST(Filter1d, KernelLongerThanLineIsAnErrorThatEndsTheCall)
{
    struct {
        int32_t nx, nk;
    } cases[] = {{2, 3}, {0, 1}, {4, 99}};
    for (auto c : cases) {
        std::vector<double> input(static_cast<size_t>(c.nx) + 1, 1.0);
        std::vector<double> kernel(static_cast<size_t>(c.nk), 1.0 / c.nk);
        EngineRun run = run_filter_1d(input, kernel, c.nx, c.nk,
                                      std::vector<double>(input.size(), sentinel_value()));
        EXPECT_TRUE(run.ended_by_error) << c.nx << " " << c.nk;
        EXPECT_EQ(run.error, "filter_1d(): Error nk > nx!");
        EXPECT_EQ(run.output, std::vector<double>(input.size(), sentinel_value()));
    }
}

TEST(Filter1d, ConstantLineStaysConstantForEveryKernelLength)
{
    const double level = 3.7;
    for (int32_t nk = 1; nk <= 99; nk += 2)
        for (int32_t nx : {nk, nk + 1, nk + 6, 200}) {
            if (nx < nk)
                continue;
            std::vector<double> kernel = kernel_of(nk, nk / 3.0);
            std::vector<double> line(static_cast<size_t>(nx), level);
            EngineRun run = run_filter_1d(line, kernel, nx, nk, line);
            for (int32_t i = 0; i < nx; ++i)
                ASSERT_NEAR(run.output[i], level, 1e-13) << "nk " << nk << " nx " << nx << " i " << i;
        }
}

TEST(Filter1d, WritesOnlyTheLine)
{
    std::vector<double> input(7, 1.0);
    EngineRun run = run_filter_1d(input, kernel_of(3, 2.0), 6, 3,
                                  std::vector<double>(7, sentinel_value()));
    EXPECT_EQ(run.output[6], sentinel_value());
    EXPECT_EQ(run.output[5], 1.0);
}

}  // namespace
