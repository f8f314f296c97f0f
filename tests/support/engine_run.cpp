#include "engine_run.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <stdexcept>

#include "host.h"
#include "voxblur_engine.h"

namespace {

struct GaussFilterCall {
    const double* input;
    double* output;
    const int32_t* dims;
    const double* widths;
    int32_t factor;
    int32_t status;
};

struct Filter1dCall {
    const double* input;
    double* output;
    int32_t nx;
    const double* kernel;
    int32_t nk;
};

void call_gauss_filter(void* context)
{
    auto* call = static_cast<GaussFilterCall*>(context);
    call->status = gauss_filter(call->input, call->output, call->dims, call->widths, call->factor);
}

void call_filter_1d(void* context)
{
    auto* call = static_cast<Filter1dCall*>(context);
    filter_1d(call->input, call->output, call->nx, call->kernel, call->nk);
}

EngineRun finish(int ended, EngineRun run)
{
    run.ended_by_error = ended != 0;
    run.console = host_console();
    run.error = host_error_message();
    host_clear_console();
    return run;
}

}  // namespace

double sentinel_value()
{
    return -12345.678;
}

EngineRun run_gauss_filter(const std::vector<double>& input, std::array<int32_t, 3> dims,
                           std::array<double, 3> widths, int32_t factor)
{
    EngineRun run;
    run.output.assign(input.size(), sentinel_value());
    GaussFilterCall call{input.data(), run.output.data(), dims.data(), widths.data(), factor, -1};
    host_set_echo(0);
    host_clear_console();
    int ended = host_run(call_gauss_filter, &call);
    run.status = call.status;
    return finish(ended, std::move(run));
}

EngineRun run_filter_1d(const std::vector<double>& input, const std::vector<double>& kernel,
                        int32_t nx, int32_t nk, std::vector<double> initial_output)
{
    EngineRun run;
    run.output = std::move(initial_output);
    Filter1dCall call{input.data(), run.output.data(), nx, kernel.data(), nk};
    host_set_echo(0);
    host_clear_console();
    int ended = host_run(call_filter_1d, &call);
    return finish(ended, std::move(run));
}

std::array<int32_t, 3> printed_kernel_sizes(const std::string& console)
{
    size_t start = console.rfind("Filter kernel size (");
    std::array<int32_t, 3> sizes{};
    int consumed = 0;
    if (start == std::string::npos ||
        std::sscanf(console.c_str() + start, "Filter kernel size (%d, %d, %d voxels)\n%n",
                    &sizes[0], &sizes[1], &sizes[2], &consumed) != 3 ||
        start + consumed != console.size())
        throw std::runtime_error("no kernel-size line at the end of: " + console);
    return sizes;
}

std::vector<double> kernel_of(int32_t count, double width)
{
    std::vector<double> kernel(static_cast<size_t>(count));
    compute_gauss(count, kernel.data(), width);
    return kernel;
}

std::vector<double> random_volume(size_t count, unsigned seed)
{
    std::mt19937_64 generator(seed);
    std::vector<double> volume(count);
    for (double& v : volume)
        v = uniform_double(generator, -100.0, 100.0);
    return volume;
}
