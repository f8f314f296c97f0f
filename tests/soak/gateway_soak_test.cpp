// 10,000 gateway calls in one process, as a long MATLAB session makes them:
// random small volumes and arguments, with about one call in ten failing.
// Every call must give exactly the engine's result or the expected message,
// and once the host has cleared the call's arrays it must hold no array and
// no allocation; the process's heap must not grow over the run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VOXBLUR_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VOXBLUR_ASAN 1
#endif
#ifdef VOXBLUR_ASAN
#include <sanitizer/allocator_interface.h>
#else
#include <malloc.h>
#endif

#include "engine_run.h"
#include "host.h"
#include "to_int32.h"

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

namespace {

// Bytes the program has allocated and not freed. glibc counts the blocks in
// its per-thread cache as in use, so its figure is exact only with that
// cache off (GLIBC_TUNABLES=glibc.malloc.tcache_count=0, as CTest runs this
// test); without it the figure is not compared.
bool heap_figure_is_exact()
{
#ifdef VOXBLUR_ASAN
    return true;
#else
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    return tunables && std::strstr(tunables, "glibc.malloc.tcache_count=0");
#endif
}

size_t heap_in_use()
{
#ifdef VOXBLUR_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

struct Arg {
    int32_t class_id = host_class_double;
    std::vector<int32_t> dims;
    std::vector<double> real;
    std::vector<double> imag;
    bool sparse = false;
};

Arg make(std::vector<int32_t> dims, std::vector<double> real)
{
    Arg a;
    a.dims = std::move(dims);
    a.real = std::move(real);
    return a;
}

mxArray* to_host(const Arg& a)
{
    mxArray* array = host_new_array(int32_t(a.dims.size()), a.dims.data(), a.class_id,
                                    !a.imag.empty(), a.sparse);
    if (!array)
        return nullptr;
    // Only double data is filled; the other classes stay zero, which the
    // gateway must never read anyway.
    if (a.class_id == host_class_double && !a.real.empty()) {
        std::memcpy(host_real_data(array), a.real.data(), a.real.size() * sizeof(double));
        if (!a.imag.empty())
            std::memcpy(host_imag_data(array), a.imag.data(), a.imag.size() * sizeof(double));
    }
    host_pack_sparse(array);
    return array;
}

struct Call {
    std::vector<Arg> args;
    std::string error;  // empty: the call must filter
    std::array<double, 3> widths{};
    int32_t factor = 4;
};

class CallMaker {
public:
    explicit CallMaker(unsigned seed) : random_(seed) {}

    Call next()
    {
        Call c = valid();
        if (pick(10) == 0)
            spoil(c);
        return c;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    double value(double low, double high)
    {
        return std::uniform_real_distribution<double>(low, high)(random_);
    }

    std::vector<double> values(size_t count, double low, double high)
    {
        std::vector<double> v(count);
        for (double& x : v)
            x = value(low, high);
        return v;
    }

    Call valid()
    {
        Call c;
        // nz of 1 would make the volume a matrix; 0 to 9 otherwise.
        std::vector<int32_t> dims{pick(10), pick(10), pick(9)};
        if (dims[2] == 1)
            dims[2] = 0;
        size_t count = size_t(dims[0]) * dims[1] * dims[2];
        Arg volume = make(dims, values(count, -100, 100));
        if (pick(4) == 0)
            volume.imag = values(count, -100, 100);

        std::vector<double> filter = values(3, 0, 5);
        Arg filter_arg = pick(2) ? make({1, 3}, filter) : make({3, 1}, filter);

        Arg voxel = make({0, 0}, {});
        c.widths = {filter[0], filter[1], filter[2]};
        switch (pick(3)) {
        case 0: {
            std::vector<double> size = values(3, 0.5, 3);
            for (int d = 0; d < 3; ++d)
                c.widths[d] = filter[d] / size[d];
            voxel = make({1, 3}, size);
            break;
        }
        case 1: voxel = make({0, 3}, {}); break;  // no elements: as []
        default: break;
        }
        c.args = {volume, voxel, filter_arg};

        switch (pick(4)) {
        case 0: break;
        case 1: c.args.push_back(make({0, 0}, {})); break;
        case 2: c.args.push_back(make({1, 0}, {})); break;  // no elements: as []
        default: {
            double f = value(-1, 7);
            c.factor = to_int32(f + 0.5);
            c.args.push_back(make({1, 1}, {f}));
        }
        }
        return c;
    }

    void spoil(Call& c)
    {
        switch (pick(8)) {
        case 0:
            c.args.resize(2);
            c.error = "voxblur: No of input arguments should be 3 or 4\n";
            break;
        case 1:
            c.args[0].class_id = host_class_int16;
            c.args[0].imag.clear();
            c.error = "voxblur: Input volume should be a full double array\n";
            break;
        case 2:
            c.args[2].class_id = host_class_single;
            c.error = "voxblur: Filter size should be a full double array\n";
            break;
        case 3:
            c.args[1] = make({1, 3}, {1, 0, 0});
            c.args[1].sparse = true;
            c.error = "voxblur: Voxel size should be a full double array\n";
            break;
        case 4:
            c.args.resize(3);
            c.args.push_back(make({1, 1}, {1}));
            c.args[3].class_id = host_class_logical;
            c.error = "voxblur: Multiplication factor for filter dimension should be a full "
                      "double array\n";
            break;
        case 5:
            c.args[0] = make({1024, 1, 2}, std::vector<double>(2048, 1.0));
            c.error = "gauss_filter(): Image dimension 1024 > 1024";
            break;
        case 6:
            c.args[2] = make({0, 3}, {});
            c.error = "voxblur: Filter size should have dimension 3\n";
            break;
        default:
            c.args[0] = make({4, 5}, values(20, -1, 1));
            c.error = "voxblur: Input volume is not a volume\n";
        }
    }

    std::mt19937 random_;
};

// What the call must show: "" when it did, else a description.
std::string check_call(const Call& c)
{
    std::vector<mxArray*> inputs;
    std::vector<std::vector<char>> before;
    for (const Arg& a : c.args) {
        inputs.push_back(to_host(a));
        if (!inputs.back())
            return "the host could not create an argument";
        size_t bytes = host_stored_count(inputs.back()) * host_element_size(inputs.back());
        const char* data = static_cast<const char*>(host_real_data(inputs.back()));
        before.emplace_back(data, data + (data ? bytes : 0));
    }
    mxArray* outputs[1] = {nullptr};
    std::vector<const mxArray*> prhs(inputs.begin(), inputs.end());
    host_clear_console();
    int failed = host_call_gateway(mexFunction, 1, outputs, int(prhs.size()), prhs.data());
    std::string console = host_console();
    std::string error = host_error_message();

    // The output is the only array the gateway makes, and only once every
    // argument check has passed.
    const bool output_made = c.error.empty() || c.error.rfind("gauss_filter(): ", 0) == 0;
    std::string problem;
    if (host_live_arrays() != inputs.size() + output_made)
        problem = std::to_string(host_live_arrays()) + " arrays live after the call";
    if (problem.empty() && !c.error.empty()) {
        if (!failed || error != c.error)
            problem = "expected \"" + c.error + "\", got \"" + error + "\"";
    } else if (problem.empty()) {
        const Arg& volume = c.args[0];
        std::array<int32_t, 3> dims{volume.dims[0], volume.dims[1], volume.dims[2]};
        EngineRun want = run_gauss_filter(volume.real, dims, c.widths, c.factor);
        char head[96];
        std::snprintf(head, sizeof head, "GaussFiltering (Image volume: %d x %d x %d)\n", dims[0],
                      dims[1], dims[2]);
        size_t count = want.output.size();
        if (failed)
            problem = "unexpected error \"" + error + "\"";
        else if (console != head + want.console)
            problem = "console \"" + console + "\"";
        else if (!outputs[0] || host_element_count(outputs[0]) != count ||
                 (count && std::memcmp(mxGetPr(outputs[0]), want.output.data(),
                                       count * sizeof(double)) != 0))
            problem = "the result differs from the engine's";
    }
    for (size_t i = 0; i < inputs.size() && problem.empty(); ++i) {
        const char* data = static_cast<const char*>(host_real_data(inputs[i]));
        if (!before[i].empty() && std::memcmp(data, before[i].data(), before[i].size()) != 0)
            problem = "input " + std::to_string(i + 1) + " changed";
    }

    host_free_all_arrays();
    host_clear_console();
    if (problem.empty() && (host_live_arrays() != 0 || host_live_allocations() != 0))
        problem = "the host still holds " + std::to_string(host_live_arrays()) + " arrays, " +
                  std::to_string(host_live_allocations()) + " allocations";
    return problem;
}

TEST(GatewaySoak, TenThousandCallsLeaveNothingBehind)
{
    const int calls = 10000;
    const int settled = 1000;  // first lazy allocations of the process are done by then
    host_set_echo(0);
    CallMaker maker(20240611);
    int failing_calls = 0, problems = 0;
    std::string first_problem;
    size_t heap_settled = 0;

    for (int i = 0; i < calls; ++i) {
        Call c = maker.next();
        failing_calls += !c.error.empty();
        std::string problem = check_call(c);
        if (!problem.empty() && problems++ == 0)
            first_problem = "call " + std::to_string(i) + ": " + problem;
        if (i == settled - 1)
            heap_settled = heap_in_use();
    }

    EXPECT_EQ(problems, 0) << first_problem;
    // About one call in ten was made to fail, each of the eight ways.
    EXPECT_GT(failing_calls, calls / 20);
    EXPECT_LT(failing_calls, calls / 5);
    if (heap_figure_is_exact())
        EXPECT_LE(heap_in_use(), heap_settled);
    else
        std::printf("Heap growth not compared: run with "
                    "GLIBC_TUNABLES=glibc.malloc.tcache_count=0\n");
}

}  // namespace
