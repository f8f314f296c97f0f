// Runs the engine inside the stand-in host and collects what a caller sees:
// the console text, the error message, and the result.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

struct EngineRun {
    bool ended_by_error = false;  // the error call fired and ended the call
    int32_t status = -1;          // gauss_filter's result when it returned
    std::string console;
    std::string error;
    std::vector<double> output;
};

// gauss_filter on an nx*ny*nz volume. The output starts as a sentinel NaN
// pattern so that elements left unwritten show up.
EngineRun run_gauss_filter(const std::vector<double>& input, std::array<int32_t, 3> dims,
                           std::array<double, 3> widths, int32_t factor);

// filter_1d on one line; `output` starts as `initial_output`.
EngineRun run_filter_1d(const std::vector<double>& input, const std::vector<double>& kernel,
                        int32_t nx, int32_t nk, std::vector<double> initial_output);

// The three lengths in "Filter kernel size (kx, ky, kz voxels)\n", which
// must be the last line of `console`.
std::array<int32_t, 3> printed_kernel_sizes(const std::string& console);

// compute_gauss into a vector of `count` taps.
std::vector<double> kernel_of(int32_t count, double width);

// A double uniform in [low, high) from the top 53 bits of one draw.
// std::uniform_real_distribution gives the same, but libstdc++ works out
// its number of draws with two logarithms in long double on every call:
// where the compiler does not fold them (Clang) and long double is done in
// software (128 bits on 64-bit ARM), the tables under qemu spent most of
// their time there.
inline double uniform_double(std::mt19937_64& random, double low, double high)
{
    return low + (high - low) * (static_cast<double>(random() >> 11) * 0x1p-53);
}

// count values uniform in [-100, 100).
std::vector<double> random_volume(size_t count, unsigned seed);

double sentinel_value();
