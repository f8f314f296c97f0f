// voxsmooth's case table: every message of its argument rules and the calls
// that pass them, run in one host and checked call by call. The same table
// runs in the stand-in host through the MEX gateway and in Octave through
// voxsmooth.oct and the Octave MEX build.
//
//   smooth_gateway_tests --host-command=CMD --mex=FILE [--arithmetic=double|double-msvcrt]
//   smooth_gateway_tests --results=FILE     (results written by Octave's run_cases)
//   smooth_gateway_tests --write-cases=FILE (the table, for Octave)
//
// A call that passes is held to smooth_volumes, called here with the
// request the case names: the data split into volumes of its first three
// dimensions, the FWHM in voxels, the factor, the mask.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "gateway_cases.h"
#include "host_results.h"
#include "smooth_volume.h"

namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

struct SmoothCase {
    std::string name;
    std::vector<Argument> args;
    // A call the rules refuse: its message, with nothing printed.
    std::string error;
    // Otherwise what the engine is asked for, and what the console shows.
    std::array<double, 3> widths{};
    int32_t factor = 4;
    int mask_argument = -1;  // the mask's position among args, -1 for none
    bool mask_every_volume = false;
    std::string console;
};

void PrintTo(const SmoothCase& c, std::ostream* os)
{
    *os << c.name;
}

Argument text(const std::string& chars)
{
    std::vector<double> codes(chars.begin(), chars.end());
    return of_class(array({1, static_cast<int32_t>(chars.size())}, codes), "char");
}

// Whole values in [0, 100], which every class holds exactly.
Argument whole_volume(std::vector<int32_t> dims, unsigned seed, const char* class_name)
{
    Argument a = volume(std::move(dims), seed);
    for (double& v : a.real)
        v = std::floor((v + 50.0) / 2.0);
    return of_class(a, class_name);
}

Argument mask_of(std::vector<int32_t> dims, unsigned seed)
{
    Argument a = volume(std::move(dims), seed);
    for (double& v : a.real)
        v = v > 0.0;
    return of_class(a, "logical");
}

SmoothCase refused(std::string name, std::vector<Argument> args, std::string message)
{
    SmoothCase c;
    c.name = std::move(name);
    c.args = std::move(args);
    c.error = std::move(message);
    return c;
}

SmoothCase smoothed(std::string name, std::vector<Argument> args, std::array<double, 3> widths,
                    int32_t factor = 4, std::string console = "")
{
    SmoothCase c;
    c.name = std::move(name);
    c.args = std::move(args);
    c.widths = widths;
    c.factor = factor;
    c.console = std::move(console);
    return c;
}

SmoothCase with_mask(SmoothCase c, int argument, bool every_volume)
{
    c.mask_argument = argument;
    c.mask_every_volume = every_volume;
    return c;
}

const char* const known = "'Factor', 'Mask', 'Threads' or 'Verbose'";

std::vector<SmoothCase> make_cases()
{
    const Argument v = volume({7, 6, 5}, 1);
    const Argument series = volume({5, 4, 3, 2, 2}, 2);
    const Argument two = row({2, 2, 2});
    const std::string option_name = std::string("voxsmooth: argument 4 should be an option name (") +
                                    known + "), not ";
    return {
        // The count of arguments, then each in order.
        refused("no_arguments", {},
                "voxsmooth: takes data, voxel_size and fwhm, then options as name-value pairs; "
                "got 0 arguments"),
        refused("one_argument", {v},
                "voxsmooth: takes data, voxel_size and fwhm, then options as name-value pairs; "
                "got 1 argument"),
        refused("data_char", {text("abc"), empty(), two},
                "voxsmooth: data should be a numeric or logical array, not char"),
        refused("data_sparse", {as_sparse(v), empty(), two},
                "voxsmooth: data should be a full array, not sparse double; convert it with "
                "full(data)"),
        refused("data_complex", {with_imag(row({1, 2}), {3, 4}), empty(), two},
                "voxsmooth: data should be real, not complex double; smooth real(data) and "
                "imag(data) one at a time"),
        refused("data_checked_before_sizes", {text("a"), row({1, 2}), empty()},
                "voxsmooth: data should be a numeric or logical array, not char"),
        refused("voxel_size_logical", {v, of_class(two, "logical"), two},
                "voxsmooth: voxel_size should be a full real numeric array, not logical"),
        refused("voxel_size_complex", {v, with_imag(scalar(1), {1}), two},
                "voxsmooth: voxel_size should be a full real numeric array, not complex double"),
        refused("voxel_size_of_two", {v, row({1, 1}), two},
                "voxsmooth: voxel_size should be [], one value or three, not 2 values"),
        refused("voxel_size_zero", {v, row({1, 0, 1}), two},
                "voxsmooth: voxel_size(2) should be positive and finite"),
        refused("voxel_size_negative", {v, scalar(-1), two},
                "voxsmooth: voxel_size should be positive and finite"),
        refused("voxel_size_infinite", {v, row({1, 1, inf}), two},
                "voxsmooth: voxel_size(3) should be positive and finite"),
        refused("fwhm_empty", {v, empty(), empty()},
                "voxsmooth: fwhm should be one value or three, not 0 values"),
        refused("fwhm_nan", {v, empty(), row({1, nan, 1})},
                "voxsmooth: fwhm(2) should be finite and not negative"),
        refused("fwhm_negative", {v, scalar(2), scalar(-3)},
                "voxsmooth: fwhm should be finite and not negative"),
        refused("fwhm_sparse", {v, empty(), as_sparse(two)},
                "voxsmooth: fwhm should be a full real numeric array, not sparse double"),
        // Options: names, values, left to right.
        refused("option_name_number", {v, empty(), two, scalar(1), scalar(1)},
                option_name + "double"),
        refused("option_name_char_matrix",
                {v, empty(), two, of_class(array({2, 2}, {70, 70, 70, 70}), "char"), scalar(1)},
                option_name + "a char array of size 2x2"),
        refused("option_unknown", {v, empty(), two, text("Sigma"), scalar(1)},
                "voxsmooth: unknown option 'Sigma'; the options are 'Factor', 'Mask', 'Threads' "
                "and 'Verbose'"),
        refused("option_unknown_long",
                {v, empty(), two, text("ThisIsAVeryLongNameOfAnOptionThatIsNotOne"), scalar(1)},
                "voxsmooth: unknown option 'ThisIsAVeryLongNameOfAnOptionThatIsNotOn...'; the "
                "options are 'Factor', 'Mask', 'Threads' and 'Verbose'"),
        refused("option_prefix_is_unknown", {v, empty(), two, text("Fact"), scalar(1)},
                "voxsmooth: unknown option 'Fact'; the options are 'Factor', 'Mask', 'Threads' "
                "and 'Verbose'"),
        refused("option_without_value", {v, empty(), two, text("Factor"), scalar(2), text("mask")},
                "voxsmooth: option 'Mask' has no value"),
        refused("factor_of_two", {v, empty(), two, text("Factor"), row({1, 2})},
                "voxsmooth: 'Factor' should be one value, not 2 values"),
        refused("factor_zero", {v, empty(), two, text("Factor"), scalar(0)},
                "voxsmooth: 'Factor' should be positive and finite"),
        refused("factor_nan", {v, empty(), two, text("factor"), scalar(nan)},
                "voxsmooth: 'Factor' should be positive and finite"),
        refused("factor_char", {v, empty(), two, text("Factor"), text("4")},
                "voxsmooth: 'Factor' should be a full real numeric array, not char"),
        refused("threads_fraction", {v, empty(), two, text("Threads"), scalar(1.5)},
                "voxsmooth: 'Threads' should be a whole number of at least 1"),
        refused("threads_zero", {v, empty(), two, text("THREADS"), of_class(scalar(0), "int8")},
                "voxsmooth: 'Threads' should be a whole number of at least 1"),
        refused("threads_infinite", {v, empty(), two, text("Threads"), scalar(inf)},
                "voxsmooth: 'Threads' should be a whole number of at least 1"),
        refused("verbose_char", {v, empty(), two, text("Verbose"), text("yes")},
                "voxsmooth: 'Verbose' should be true or false, not char"),
        refused("verbose_two_values", {v, empty(), two, text("Verbose"), row({1, 0})},
                "voxsmooth: 'Verbose' should be true or false, not 2 values"),
        refused("verbose_nan", {v, empty(), two, text("Verbose"), scalar(nan)},
                "voxsmooth: 'Verbose' should be true or false, not NaN"),
        refused("mask_double",
                {v, empty(), two, text("Mask"), array({7, 6, 5}, std::vector<double>(210, 1.0))},
                "voxsmooth: 'Mask' should be a full logical array, not double; for a numeric "
                "mask m, pass m ~= 0"),
        refused("mask_sparse", {v, empty(), two, text("Mask"), as_sparse(mask_of({7, 6, 5}, 3))},
                "voxsmooth: 'Mask' should be a full logical array, not sparse logical"),
        refused("mask_of_a_slice", {v, empty(), two, text("Mask"), mask_of({7, 6}, 3)},
                "voxsmooth: 'Mask' is 7x6, the data 7x6x5: it should be the size of one volume "
                "(7x6x5) or of the data"),
        refused("mask_of_part_of_a_series", {series, empty(), two, text("Mask"),
                                            mask_of({5, 4, 3, 2}, 3)},
                "voxsmooth: 'Mask' is 5x4x3x2, the data 5x4x3x2x2: it should be the size of one "
                "volume (5x4x3) or of the data"),
        refused("later_option_checked_after_earlier",
                {v, empty(), two, text("Verbose"), text("no"), text("Factor"), scalar(0)},
                "voxsmooth: 'Verbose' should be true or false, not char"),

        // Calls that pass: sizes, then classes, then options.
        smoothed("fwhm_in_voxels", {v, empty(), row({2, 3, 4})}, {2, 3, 4}),
        smoothed("isotropic_voxel_size_and_fwhm", {v, scalar(2), scalar(5)}, {2.5, 2.5, 2.5}),
        smoothed("voxel_size_per_axis_column", {v, array({3, 1}, {1, 2, 4}), row({4, 4, 4})},
                 {4, 2, 1}),
        smoothed("sizes_of_other_classes",
                 {v, of_class(row({1, 2, 1}), "single"), of_class(row({3, 4, 0}), "uint8")},
                 {3, 2, 0}),
        smoothed("image_is_one_slice", {volume({9, 8}, 4), empty(), row({2, 3, 4})}, {2, 3, 4}),
        smoothed("series_of_five_dimensions", {series, empty(), scalar(2)}, {2, 2, 2}),
        smoothed("empty_axis", {volume({4, 0, 3}, 5), empty(), scalar(2), text("Verbose"),
                                scalar(1)},
                 {2, 2, 2}, 4,
                 "GaussFiltering (Image volume: 4 x 0 x 3)\nFilter kernel size (3, -1, 3 voxels)\n"),
        smoothed("single_data", {of_class(v, "single"), empty(), two}, {2, 2, 2}),
        smoothed("int8_data", {whole_volume({6, 5, 4}, 6, "int8"), empty(), two}, {2, 2, 2}),
        smoothed("uint16_data", {whole_volume({6, 5, 4}, 7, "uint16"), empty(), two}, {2, 2, 2}),
        smoothed("int64_data", {whole_volume({6, 5, 4}, 8, "int64"), empty(), two}, {2, 2, 2}),
        smoothed("logical_data", {mask_of({6, 5, 4}, 9), empty(), two}, {2, 2, 2}),
        smoothed("factor_rounds_as_voxblur", {volume({30, 3, 2}, 10), empty(), scalar(2),
                                              text("FACTOR"), scalar(2.5)},
                 {2, 2, 2}, 3),
        smoothed("later_value_wins", {volume({30, 3, 2}, 10), empty(), scalar(2), text("Factor"),
                                      scalar(9), text("factor"), scalar(6)},
                 {2, 2, 2}, 6),
        smoothed("threads_one", {series, empty(), two, text("Threads"), scalar(1)}, {2, 2, 2}),
        smoothed("threads_many", {series, empty(), two, text("threads"),
                                  of_class(scalar(1e6), "uint32")},
                 {2, 2, 2}),
        smoothed("verbose_prints_once_per_call",
                 {series, scalar(0.5), scalar(1), text("Verbose"), of_class(scalar(1), "logical")},
                 {2, 2, 2}, 4,
                 "GaussFiltering (Image volume: 5 x 4 x 3)\nFilter kernel size (5, 3, 3 voxels)\n"),
        smoothed("verbose_false_prints_nothing", {v, empty(), two, text("Verbose"), scalar(0)},
                 {2, 2, 2}),
        smoothed("mask_empty_is_none", {v, empty(), two, text("Mask"), empty()}, {2, 2, 2}),
        with_mask(smoothed("mask_of_one_volume", {series, empty(), two, text("Mask"),
                                                  mask_of({5, 4, 3}, 11)},
                           {2, 2, 2}),
                  4, false),
        with_mask(smoothed("mask_of_every_volume", {series, empty(), two, text("Mask"),
                                                    mask_of({5, 4, 3, 2, 2}, 12)},
                           {2, 2, 2}),
                  4, true),
        with_mask(smoothed("mask_of_an_image", {volume({9, 8}, 13), empty(), two, text("mask"),
                                                mask_of({9, 8}, 14)},
                           {2, 2, 2}),
                  4, false),
    };
}

const std::vector<SmoothCase>& smooth_cases()
{
    static const std::vector<SmoothCase> cases = make_cases();
    return cases;
}

std::string cases_text()
{
    std::vector<GatewayCase> calls;
    for (const SmoothCase& c : smooth_cases()) {
        GatewayCase call;
        call.name = c.name;
        call.args = c.args;
        calls.push_back(call);
    }
    return case_file_text(calls);
}

struct Options {
    std::string host_command;
    std::string mex_file;
    std::string arithmetic = "double";
    std::string results_file;
} options;

const HostResults& host_results()
{
    static const HostResults results = [] {
        if (!options.results_file.empty()) {
            std::ifstream file(options.results_file);
            std::stringstream text;
            text << file.rdbuf();
            return parse_host_results(text.str());
        }
        return parse_host_results(
            run_host_command(options.host_command, options.mex_file, "mexFunction", cases_text()));
    }();
    return results;
}

// The data in its class's own bytes, as the host stores an argument whose
// values the class holds exactly.
std::vector<unsigned char> stored(const Argument& a)
{
    const std::string& k = a.class_name;
    const size_t size = k == "double" || k == "int64" || k == "uint64" ? 8
                        : k == "single" || k == "int32" || k == "uint32" ? 4
                        : k == "int16" || k == "uint16" ? 2 : 1;
    std::vector<unsigned char> bytes(a.real.size() * size);
    for (size_t i = 0; i < a.real.size(); ++i) {
        unsigned char* at = bytes.data() + i * size;
        const double x = a.real[i];
        if (k == "double") std::memcpy(at, &x, 8);
        else if (k == "single") { float f = static_cast<float>(x); std::memcpy(at, &f, 4); }
        else if (k == "int8") { int8_t n = static_cast<int8_t>(x); std::memcpy(at, &n, 1); }
        else if (k == "uint16") { uint16_t n = static_cast<uint16_t>(x); std::memcpy(at, &n, 2); }
        else if (k == "int64") { int64_t n = static_cast<int64_t>(x); std::memcpy(at, &n, 8); }
        else if (k == "logical") *at = x != 0.0;
        else throw std::runtime_error("no conversion to " + k + " in this table");
    }
    return bytes;
}

enum voxel_class class_of(const std::string& k)
{
    static const char* const names[] = {"double", "single", "int8",   "uint8",  "int16", "uint16",
                                        "int32",  "uint32", "int64",  "uint64", "logical"};
    for (int i = 0; i < 11; ++i)
        if (k == names[i])
            return static_cast<enum voxel_class>(i);
    throw std::runtime_error("no voxel class " + k);
}

// What smooth_volumes writes for the request the case names, as doubles.
std::vector<double> engine_result(const SmoothCase& c)
{
    const Argument& data = c.args.at(0);
    smooth_request request = {};
    std::vector<unsigned char> input = stored(data);
    request.input = input.data();
    request.input_class = class_of(data.class_name);
    request.volumes = 1;
    for (size_t d = 0; d < data.dims.size(); ++d) {
        if (d < 3)
            request.dimensions[d] = data.dims[d];
        else
            request.volumes *= data.dims[d];
    }
    for (size_t d = data.dims.size(); d < 3; ++d)
        request.dimensions[d] = 1;
    for (int d = 0; d < 3; ++d)
        request.widths[d] = c.widths[d];
    request.factor = c.factor;
    std::vector<unsigned char> mask;
    if (c.mask_argument >= 0) {
        mask = stored(c.args.at(c.mask_argument));
        request.mask = mask.data();
        request.mask_every_volume = c.mask_every_volume;
    }
    request.threads = 1;
    const size_t count = data.real.size();
    std::vector<double> result(count);
    std::vector<float> single_result(count);
    const bool as_double = data.class_name == "double";
    request.output = as_double ? static_cast<void*>(result.data()) : single_result.data();
    EXPECT_EQ(smooth_volumes(&request), smooth_done);
    if (!as_double)
        result.assign(single_result.begin(), single_result.end());
    return result;
}

// Bit for bit, but where the Windows file takes exp from msvcrt.dll, which
// rounds about one kernel tap in a thousand to the other neighbour of
// glibc's: that moves a double result by far less than 1e-14 of the data's
// scale, and a single one by at most one unit in its last place.
bool same_value(double got, double want, bool single)
{
    if (std::isnan(want))
        return std::isnan(got);
    if (std::memcmp(&got, &want, sizeof got) == 0)
        return true;
    if (options.arithmetic == "double")
        return false;
    return std::fabs(got - want) <= (single ? 2e-7 : 1e-14) * 150.0;
}

class SmoothCalls : public testing::TestWithParam<SmoothCase> {};

TEST_P(SmoothCalls, SeeWhatTheCallerMustSee)
{
    const SmoothCase& c = GetParam();
    const auto& calls = host_results().calls;
    auto found = calls.find(c.name);
    ASSERT_NE(found, calls.end()) << "the host reported nothing for this case";
    const CallResult& got = found->second;
    EXPECT_EQ(got.console, c.console);
    EXPECT_EQ(got.error, c.error);
    EXPECT_TRUE(got.inputs_unchanged);
    EXPECT_TRUE(got.live_arrays <= 0) << got.live_arrays << " arrays left";
    if (!c.error.empty())
        return;
    const Argument& data = c.args[0];
    const std::vector<long> dims(data.dims.begin(), data.dims.end());
    EXPECT_EQ(got.output_dims, dims);
    const bool single = data.class_name != "double";
    EXPECT_EQ(got.output_class, single ? "single" : "double");
    const std::vector<double> want = engine_result(c);
    ASSERT_EQ(got.values.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        ASSERT_TRUE(same_value(got.values[i], want[i], single))
            << "first difference at element " << i << ": got " << got.values[i] << ", want "
            << want[i];
}

INSTANTIATE_TEST_SUITE_P(Table, SmoothCalls, testing::ValuesIn(smooth_cases()),
                         [](const testing::TestParamInfo<SmoothCase>& info) {
                             return info.param.name;
                         });

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    std::string write_cases;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!(take_option(a, "--host-command", options.host_command) ||
              take_option(a, "--mex", options.mex_file) ||
              take_option(a, "--arithmetic", options.arithmetic) ||
              take_option(a, "--results", options.results_file) ||
              take_option(a, "--write-cases", write_cases))) {
            std::fprintf(stderr, "smooth_gateway_tests: unknown option %s\n", a);
            return 2;
        }
    }
    if (!write_cases.empty()) {
        std::ofstream(write_cases) << cases_text();
        return 0;
    }
    return RUN_ALL_TESTS();
}
