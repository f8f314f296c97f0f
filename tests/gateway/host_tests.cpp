// Runs the gateway case table in one host and checks every call: console
// text, error message, output shape and values, inputs left unchanged and
// every array freed.
//
//   host_tests --host-command=CMD --mex=FILE [--export=NAME] [--version=TEXT]
//              [--arithmetic=double|double-msvcrt|x87-53|x87-64]
//   host_tests --results=FILE --host-kind=octave   (results written by Octave)
//   host_tests --write-cases=FILE                  (the table, for other hosts)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "engine_run.h"
#include "gateway_cases.h"
#include "host_results.h"

namespace {

struct Options {
    std::string host_command;
    std::string mex_file;
    std::string gateway_export = "mexFunction";
    std::string version;  // expected mexVersion, "none" for no export
    std::string arithmetic = "double";
    std::string results_file;
    std::string host_kind = "loader";
} options;

HostResults load_host_results()
{
    if (!options.results_file.empty()) {
        std::ifstream file(options.results_file);
        if (!file)
            throw std::runtime_error("cannot read " + options.results_file);
        std::stringstream text;
        text << file.rdbuf();
        return parse_host_results(text.str());
    }
    return parse_host_results(run_host_command(options.host_command, options.mex_file,
                                               options.gateway_export,
                                               case_file_text(gateway_cases())));
}

// The host runs the whole table once; a failure to run it is kept too, so
// that every case reports it without running the host again.
const HostResults& host_results()
{
    static std::string failure;
    static const HostResults results = [] {
        try {
            return load_host_results();
        } catch (const std::exception& e) {
            failure = e.what();
            return HostResults{};
        }
    }();
    if (!failure.empty())
        throw std::runtime_error(failure);
    return results;
}

// Octave adds "voxblur: " before every message by itself and drops the
// final line end; the gateway leaves its own prefix to Octave there.
std::string as_host_shows(const std::string& message)
{
    if (options.host_kind != "octave")
        return message;
    std::string shown = message;
    if (!shown.empty() && shown.back() == '\n')
        shown.pop_back();
    if (shown.compare(0, 9, "voxblur: ") != 0)
        shown = "voxblur: " + shown;
    return shown;
}

struct Expected {
    std::string console;
    std::string error;
    std::vector<long> output_dims;
    std::vector<double> values;
};

Expected expected_call(const GatewayCase& c)
{
    Expected e;
    if (!c.gateway_error.empty()) {
        e.error = c.gateway_error;
        return e;
    }
    const Argument& volume = c.args.at(0);
    std::array<int32_t, 3> dims{volume.dims.at(0), volume.dims.at(1), volume.dims.at(2)};
    char line[128];
    std::snprintf(line, sizeof line, "GaussFiltering (Image volume: %d x %d x %d)\n", dims[0],
                  dims[1], dims[2]);
    int32_t factor = options.arithmetic == "x87-64" ? c.x87_extended_factor : c.factor;
    EngineRun run = run_gauss_filter(volume.real, dims, c.widths, factor);
    e.console = line + run.console;
    if (run.ended_by_error) {
        e.error = run.error;
        return e;
    }
    e.output_dims.assign(dims.begin(), dims.end());
    e.values = run.output;
    return e;
}

double largest_magnitude(const std::vector<double>& values)
{
    double largest = 1.0;
    for (double v : values)
        if (std::isfinite(v))
            largest = std::max(largest, std::fabs(v));
    return largest;
}

// The x86-64 files compute in double and must match bit for bit. The
// Windows one takes exp from msvcrt.dll, which rounds about one kernel tap
// in a thousand to the other neighbour of glibc's: a tap one unit in the
// last place off moves the result by far less than 1e-14 of the input's
// scale. The x87 builds keep intermediates in 80-bit registers (at 53 or 64
// bits of precision, as the host process sets the unit), which moves a
// filtered value by a few units in the last place per pass; 1e-12 of the
// input's scale is far above that and far below any real fault.
bool same_value(double got, double want, double scale)
{
    if (std::isnan(want))
        return std::isnan(got);
    const bool same_bits = std::memcmp(&got, &want, sizeof got) == 0;
    if (same_bits || options.arithmetic == "double")
        return same_bits;
    if (std::isinf(want))
        return got == want;
    const double tolerance = options.arithmetic == "double-msvcrt" ? 1e-14 : 1e-12;
    return std::fabs(got - want) <= tolerance * scale;
}

class GatewayCalls : public testing::TestWithParam<GatewayCase> {};

TEST_P(GatewayCalls, SeeWhatTheCallerMustSee)
{
    const GatewayCase& c = GetParam();
    const auto& calls = host_results().calls;
    auto found = calls.find(c.name);
    ASSERT_NE(found, calls.end()) << "the host reported nothing for this case";
    const CallResult& got = found->second;
    Expected want = expected_call(c);

    EXPECT_EQ(got.console, want.console);
    EXPECT_EQ(got.failed, !want.error.empty());
    if (!want.error.empty()) {
        EXPECT_EQ(got.error, as_host_shows(want.error));
    }
    EXPECT_TRUE(got.inputs_unchanged);
    if (options.host_kind == "loader") {
        EXPECT_EQ(got.live_arrays, 0);
    }
    if (!want.error.empty())
        return;

    EXPECT_EQ(got.output_dims, want.output_dims);
    ASSERT_EQ(got.values.size(), want.values.size());
    const double scale = largest_magnitude(c.args[0].real);
    const long nx = want.output_dims[0], ny = want.output_dims[1];
    for (size_t i = 0; i < want.values.size(); ++i)
        if (!same_value(got.values[i], want.values[i], scale)) {
            long x = static_cast<long>(i) % nx, y = static_cast<long>(i) / nx % ny,
                 z = static_cast<long>(i) / (nx * ny);
            char text[160];
            std::snprintf(text, sizeof text, "first difference at (%ld, %ld, %ld): got %a, want %a",
                          x, y, z, got.values[i], want.values[i]);
            FAIL() << text;
        }
}

INSTANTIATE_TEST_SUITE_P(Table, GatewayCalls, testing::ValuesIn(gateway_cases()),
                         [](const testing::TestParamInfo<GatewayCase>& info) {
                             return info.param.name;
                         });

TEST(MexFile, ReportsItsHostGeneration)
{
    if (options.version.empty())
        GTEST_SKIP() << "this host does not read mexVersion";
    EXPECT_EQ(host_results().mex_version, options.version == "none" ? "" : options.version);
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    std::string write_cases;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!(take_option(a, "--host-command", options.host_command) ||
              take_option(a, "--mex", options.mex_file) ||
              take_option(a, "--export", options.gateway_export) ||
              take_option(a, "--version", options.version) ||
              take_option(a, "--arithmetic", options.arithmetic) ||
              take_option(a, "--results", options.results_file) ||
              take_option(a, "--host-kind", options.host_kind) ||
              take_option(a, "--write-cases", write_cases))) {
            std::fprintf(stderr, "host_tests: unknown option %s\n", a);
            return 2;
        }
    }
    if (!write_cases.empty()) {
        std::ofstream(write_cases) << case_file_text(gateway_cases());
        return 0;
    }
    return RUN_ALL_TESTS();
}
