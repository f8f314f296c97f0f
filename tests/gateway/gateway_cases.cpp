#include "gateway_cases.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

namespace {

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

const char* count_error = "voxblur: No of input arguments should be 3 or 4\n";
const char* voxel_error = "voxblur: Voxel size should have dimension 3 or []\n";
const char* filter_error = "voxblur: Filter size should have dimension 3\n";
const char* factor_error =
    "voxblur: Multiplication factor for filter dimension should have dimension 1 or []\n";
const char* volume_error = "voxblur: Input volume is not a volume\n";
const char* volume_class_error = "voxblur: Input volume should be a full double array\n";
const char* voxel_class_error = "voxblur: Voxel size should be a full double array\n";
const char* filter_class_error = "voxblur: Filter size should be a full double array\n";
const char* factor_class_error =
    "voxblur: Multiplication factor for filter dimension should be a full double array\n";

}  // namespace

Argument array(std::vector<int32_t> dims, std::vector<double> values)
{
    Argument a;
    a.dims = std::move(dims);
    a.real = std::move(values);
    return a;
}

Argument row(std::vector<double> values)
{
    auto n = static_cast<int32_t>(values.size());
    return array({1, n}, std::move(values));
}

Argument empty()
{
    return array({0, 0}, {});
}

Argument scalar(double value)
{
    return array({1, 1}, {value});
}

Argument of_class(Argument a, std::string class_name)
{
    a.class_name = std::move(class_name);
    return a;
}

Argument as_sparse(Argument a)
{
    a.sparse = true;
    return a;
}

Argument with_imag(Argument a, std::vector<double> imag)
{
    a.imag = std::move(imag);
    return a;
}

Argument volume(std::vector<int32_t> dims, unsigned seed)
{
    size_t count = 1;
    for (int32_t d : dims)
        count *= static_cast<size_t>(d);
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> value(-50.0, 150.0);
    std::vector<double> values(count);
    for (double& v : values)
        v = value(generator);
    return array(std::move(dims), std::move(values));
}

namespace {

Argument impulse(std::vector<int32_t> dims, size_t at)
{
    Argument a = volume(dims, 0);
    std::fill(a.real.begin(), a.real.end(), 0.0);
    a.real[at] = 1.0;
    return a;
}

GatewayCase rejected(std::string name, std::vector<Argument> args, const char* message)
{
    GatewayCase c;
    c.name = std::move(name);
    c.args = std::move(args);
    c.gateway_error = message;
    return c;
}

GatewayCase filtered(std::string name, std::vector<Argument> args, std::array<double, 3> widths,
                     int32_t factor = 4)
{
    GatewayCase c;
    c.name = std::move(name);
    c.args = std::move(args);
    c.widths = widths;
    c.factor = factor;
    c.x87_extended_factor = factor;
    return c;
}

GatewayCase with_x87_extended_factor(GatewayCase c, int32_t factor)
{
    c.x87_extended_factor = factor;
    return c;
}

std::vector<GatewayCase> make_cases()
{
    const Argument vol = volume({7, 6, 5}, 1);
    const Argument vol2d = volume({7, 6}, 2);
    const Argument vol4d = volume({3, 4, 2, 2}, 3);
    const Argument size3 = row({2, 3, 4});
    const Argument long_z = volume({3, 4, 30}, 4);  // factor cases: width 2 on z

    Argument complex_volume = volume({5, 4, 3}, 5);
    complex_volume.imag = volume({5, 4, 3}, 6).real;

    Argument three_by_three = array({3, 3}, {1, 2, 4, 9, 9, 9, 9, 9, 9});
    Argument filter_three_by_three = array({3, 3}, {4, 4, 4, 0, 0, 0, 7, 7, 7});
    Argument column = array({3, 1}, {1, 2, 4});

    return {
        // Argument count
        rejected("no_arguments", {}, count_error),
        rejected("one_argument", {vol}, count_error),
        rejected("two_arguments", {vol, empty()}, count_error),
        rejected("five_arguments", {vol, empty(), size3, scalar(4), scalar(4)}, count_error),
        // Voxel size
        rejected("voxel_size_of_two", {vol, row({1, 1}), size3}, voxel_error),
        rejected("voxel_size_of_four", {vol, row({1, 1, 1, 1}), size3}, voxel_error),
        rejected("voxel_size_three_dimensional", {vol, array({1, 3, 2}, {1, 1, 1, 1, 1, 1}), size3},
                 voxel_error),
        rejected("bad_voxel_size_reported_before_2d_volume", {vol2d, row({1, 1}), size3},
                 voxel_error),
        rejected("bad_voxel_size_reported_before_bad_filter_size", {vol, row({1, 1}), row({1, 2})},
                 voxel_error),
        // Filter size
        rejected("filter_size_of_four", {vol, empty(), row({2, 2, 2, 2})}, filter_error),
        rejected("filter_size_empty", {vol, empty(), empty()}, filter_error),
        rejected("filter_size_scalar", {vol, empty(), scalar(2)}, filter_error),
        rejected("bad_filter_size_reported_before_bad_factor", {vol, empty(), row({1, 2}), row({1, 2})},
                 filter_error),
        // Factor
        rejected("factor_of_two", {vol, empty(), size3, row({4, 4})}, factor_error),
        rejected("factor_three_by_three", {vol, empty(), size3, array({3, 3}, {1, 2, 3, 4, 5, 6, 7, 8, 9})},
                 factor_error),
        rejected("factor_three_dimensional", {vol, empty(), size3, array({1, 1, 2}, {4, 4})},
                 factor_error),
        // Volume, checked last
        rejected("volume_two_dimensional", {vol2d, empty(), size3}, volume_error),
        rejected("volume_four_dimensional", {vol4d, empty(), size3}, volume_error),
        rejected("volume_with_trailing_singleton_is_a_matrix", {volume({4, 3, 1}, 7), empty(), size3},
                 volume_error),

        // Filter sizes in voxels or in the voxel size's units
        filtered("voxel_size_empty_filter_in_voxels", {vol, empty(), size3}, {2, 3, 4}),
        filtered("voxel_size_scales_filter", {vol, row({2, 2, 2}), row({8, 8, 8})}, {4, 4, 4}),
        filtered("voxel_size_per_axis", {vol, column, row({4, 4, 4})}, {4, 2, 1}),
        filtered("three_by_three_sizes_use_first_column", {vol, three_by_three, filter_three_by_three},
                 {4, 2, 1}),
        filtered("filter_size_column", {vol, empty(), array({3, 1}, {1, 2, 3})}, {1, 2, 3}),
        filtered("zero_voxel_size_gives_equal_taps", {vol, row({1, 0, 1}), row({2, 2, 2})},
                 {2, inf, 2}),
        filtered("zero_voxel_and_filter_size_give_nan", {vol, row({1, 0, 1}), row({2, 0, 2})},
                 {2, nan, 2}),
        filtered("negative_sizes", {vol, row({-1, 1, 1}), row({2, -2, 2})}, {-2, -2, 2}),
        // The floor on the variance: the outer taps are exp(-5000), which is 0.
        filtered("zero_filter_size_leaves_volume_unchanged", {vol, empty(), row({0, 0, 0})},
                 {0, 0, 0}),

        // Factor: value + 0.5 truncated toward zero; width 2 on a 30-sample z
        // axis makes the kernel length show it.
        filtered("factor_absent_is_four", {long_z, empty(), row({1, 1, 2})}, {1, 1, 2}, 4),
        filtered("factor_empty_is_four", {long_z, empty(), row({1, 1, 2}), empty()}, {1, 1, 2}, 4),
        filtered("factor_7", {long_z, empty(), row({1, 1, 2}), scalar(7)}, {1, 1, 2}, 7),
        filtered("factor_2_5_rounds_to_3", {long_z, empty(), row({1, 1, 2}), scalar(2.5)}, {1, 1, 2}, 3),
        filtered("factor_2_4_rounds_to_2", {long_z, empty(), row({1, 1, 2}), scalar(2.4)}, {1, 1, 2}, 2),
        filtered("factor_0_3_rounds_to_0", {long_z, empty(), row({1, 1, 2}), scalar(0.3)}, {1, 1, 2}, 0),
        filtered("factor_minus_1_2_rounds_to_0", {long_z, empty(), row({1, 1, 2}), scalar(-1.2)},
                 {1, 1, 2}, 0),
        filtered("factor_minus_1_5_rounds_to_minus_1", {long_z, empty(), row({1, 1, 2}), scalar(-1.5)},
                 {1, 1, 2}, -1),
        filtered("factor_nan", {long_z, empty(), row({1, 1, 2}), scalar(nan)}, {1, 1, 2}, INT32_MIN),
        filtered("factor_huge", {long_z, empty(), row({1, 1, 2}), scalar(1e12)}, {1, 1, 2}, INT32_MIN),
        // 5 x 0.7 is exactly 3.5 in double (5 taps), just below it in x87
        // extended precision (3 taps, as with factor 4).
        with_x87_extended_factor(
            filtered("factor_5_width_0_7", {volume({9, 2, 2}, 15), empty(), row({0.7, 1, 1}), scalar(5)},
                     {0.7, 1, 1}, 5),
            4),
        // The double just below 0.5, plus 0.5, is 1 in double but stays
        // below 1 in x87 extended precision: factor 1 or 0.
        with_x87_extended_factor(
            filtered("factor_just_below_half", {volume({9, 2, 2}, 16), empty(), row({4, 1, 1}),
                                                scalar(0.49999999999999994)},
                     {4, 1, 1}, 1),
            0),

        // Volumes
        filtered("complex_volume_filters_real_part", {complex_volume, empty(), size3}, {2, 3, 4}),
        filtered("empty_y_axis", {volume({4, 0, 3}, 8), empty(), size3}, {2, 3, 4}),
        filtered("empty_z_axis", {volume({4, 3, 0}, 9), empty(), size3}, {2, 3, 4}),
        filtered("axes_of_one_and_two_unchanged", {volume({1, 2, 2}, 10), empty(), row({5, 5, 5})},
                 {5, 5, 5}),
        filtered("axis_of_1023", {volume({1023, 1, 2}, 11), empty(), row({3, 1, 1})}, {3, 1, 1}),
        filtered("axis_of_1024_is_too_large", {volume({1024, 1, 2}, 12), empty(), row({3, 1, 1})},
                 {3, 1, 1}),
        filtered("long_kernel_is_truncated_with_warning", {volume({200, 2, 2}, 13), empty(), row({30, 1, 1})},
                 {30, 1, 1}),
        filtered("impulse_in_five_cubed", {impulse({5, 5, 5}, 62), empty(), row({2, 2, 2})}, {2, 2, 2}),
        filtered("odd_shape", {volume({13, 9, 11}, 14), row({1.5, 2, 0.75}), row({3, 5, 2})},
                 {2, 2.5, 2.0 / 0.75}),

        // Classes, checked after every shape and in the same argument order.
        // An array that is not full double would be read past its data.
        rejected("volume_int16", {of_class(vol, "int16"), empty(), size3}, volume_class_error),
        rejected("volume_single", {of_class(vol, "single"), empty(), size3}, volume_class_error),
        rejected("volume_logical", {of_class(impulse({3, 3, 3}, 13), "logical"), empty(), size3},
                 volume_class_error),
        rejected("volume_uint8_with_empty_axis", {of_class(volume({4, 0, 3}, 15), "uint8"), empty(),
                                                  size3},
                 volume_class_error),
        rejected("voxel_size_single", {vol, of_class(row({1, 1, 1}), "single"), size3},
                 voxel_class_error),
        rejected("voxel_size_char", {vol, of_class(row({97, 98, 99}), "char"), size3},
                 voxel_class_error),
        rejected("voxel_size_sparse", {vol, as_sparse(row({1, 0, 0})), size3}, voxel_class_error),
        rejected("voxel_size_int32_column", {vol, of_class(column, "int32"), size3},
                 voxel_class_error),
        rejected("filter_size_int8", {vol, empty(), of_class(size3, "int8")}, filter_class_error),
        rejected("filter_size_logical", {vol, empty(), of_class(row({1, 0, 1}), "logical")},
                 filter_class_error),
        rejected("filter_size_sparse_3x3", {vol, empty(), as_sparse(filter_three_by_three)},
                 filter_class_error),
        rejected("factor_uint16", {vol, empty(), size3, of_class(scalar(4), "uint16")},
                 factor_class_error),
        rejected("factor_logical", {vol, empty(), size3, of_class(scalar(1), "logical")},
                 factor_class_error),
        rejected("factor_sparse", {vol, empty(), size3, as_sparse(scalar(4))}, factor_class_error),
        rejected("voxel_class_reported_before_filter_class",
                 {vol, of_class(row({1, 1, 1}), "single"), of_class(size3, "int8")},
                 voxel_class_error),
        rejected("filter_class_reported_before_factor_class",
                 {vol, empty(), of_class(size3, "int8"), of_class(scalar(4), "uint16")},
                 filter_class_error),
        rejected("factor_class_reported_before_volume_class",
                 {of_class(vol, "int16"), empty(), size3, of_class(scalar(4), "uint16")},
                 factor_class_error),
        rejected("volume_shape_reported_before_any_class",
                 {of_class(vol2d, "int16"), of_class(row({1, 1, 1}), "single"), size3},
                 volume_error),
        rejected("voxel_shape_reported_before_its_class",
                 {vol, of_class(row({1, 1}), "single"), size3}, voxel_error),
        filtered("complex_sizes_use_their_real_parts",
                 {vol, with_imag(row({2, 2, 2}), {5, 5, 5}), with_imag(row({8, 4, 2}), {1, 1, 1}),
                  with_imag(scalar(3), {9})},
                 {4, 2, 1}, 3),

        // Arguments whose shape passes but that hold no elements. A voxel size
        // or factor with none is [] whatever its class; a filter size with
        // none has no values to give.
        filtered("voxel_size_0x3_is_empty", {vol, array({0, 3}, {}), size3}, {2, 3, 4}),
        filtered("voxel_size_3x0_is_empty", {vol, array({3, 0}, {}), size3}, {2, 3, 4}),
        filtered("voxel_size_0x3_int16_is_empty", {vol, of_class(array({0, 3}, {}), "int16"), size3},
                 {2, 3, 4}),
        filtered("voxel_size_empty_char_is_empty", {vol, of_class(empty(), "char"), size3},
                 {2, 3, 4}),
        filtered("voxel_size_empty_sparse_is_empty", {vol, as_sparse(empty()), size3}, {2, 3, 4}),
        rejected("voxel_size_0x5", {vol, array({0, 5}, {}), size3}, voxel_error),
        rejected("filter_size_0x3", {vol, empty(), array({0, 3}, {})}, filter_error),
        rejected("filter_size_3x0", {vol, empty(), array({3, 0}, {})}, filter_error),
        rejected("filter_size_3x0_single", {vol, empty(), of_class(array({3, 0}, {}), "single")},
                 filter_error),
        rejected("empty_filter_size_reported_before_bad_factor",
                 {vol, empty(), array({0, 3}, {}), row({1, 2})}, filter_error),
        filtered("factor_0x1_is_four", {long_z, empty(), row({1, 1, 2}), array({0, 1}, {})},
                 {1, 1, 2}, 4),
        filtered("factor_1x0_is_four", {long_z, empty(), row({1, 1, 2}), array({1, 0}, {})},
                 {1, 1, 2}, 4),
        filtered("factor_1x0_single_is_four",
                 {long_z, empty(), row({1, 1, 2}), of_class(array({1, 0}, {}), "single")},
                 {1, 1, 2}, 4),
        filtered("factor_empty_logical_is_four",
                 {long_z, empty(), row({1, 1, 2}), of_class(empty(), "logical")}, {1, 1, 2}, 4),
        rejected("factor_0x2", {vol, empty(), size3, array({0, 2}, {})}, factor_error),
    };
}

}  // namespace

const std::vector<GatewayCase>& gateway_cases()
{
    static const std::vector<GatewayCase> cases = make_cases();
    return cases;
}

std::string case_file_text(const std::vector<GatewayCase>& cases)
{
    std::ostringstream text;
    text.precision(17);
    for (const GatewayCase& c : cases) {
        text << "case " << c.name << '\n';
        for (const Argument& a : c.args) {
            text << "arg " << a.class_name << ' ' << (a.imag.empty() ? 0 : 1) << ' '
                 << (a.sparse ? 1 : 0) << ' ' << a.dims.size();
            for (int32_t d : a.dims)
                text << ' ' << d;
            for (double v : a.real)
                text << ' ' << v;
            for (double v : a.imag)
                text << ' ' << v;
            text << '\n';
        }
        text << "call\n";
    }
    return text.str();
}

bool take_option(const char* argument, const char* name, std::string& value)
{
    size_t length = std::strlen(name);
    if (std::strncmp(argument, name, length) != 0 || argument[length] != '=')
        return false;
    value = argument + length + 1;
    return true;
}
