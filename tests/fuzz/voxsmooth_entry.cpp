// voxsmooth's oracle for the fuzz targets: its argument rules (data, then
// voxel_size and fwhm, then the name-value options from left to right)
// worked out again from the host's view of the arguments, each message
// written out whole, and what a result must be.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_entries.h"

extern "C" void voxsmooth_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

namespace {

const char* const option_names[] = {"factor", "mask", "threads", "verbose"};
enum Option { factor, mask, threads, verbose, no_option };
const char* const quoted_names[] = {"'Factor'", "'Mask'", "'Threads'", "'Verbose'"};

int32_t dim_count(const mxArray* a)
{
    return mxGetNumberOfDimensions_700(a);
}

int32_t dim(const mxArray* a, int d)
{
    return mxGetDimensions_700(a)[d];
}

// voxsmooth builds its messages in a buffer of 320 characters.
std::string cut(const std::string& message)
{
    return message.substr(0, 319);
}

bool numeric(const mxArray* a)
{
    return host_class(a) >= host_class_double && host_class(a) <= host_class_uint64;
}

bool full_real_numeric(const mxArray* a)
{
    return numeric(a) && !host_is_sparse(a) && !host_is_complex(a);
}

// "double", "sparse double", "complex single", "logical"...
std::string described(const mxArray* a)
{
    static const char* const names[] = {"logical", "char",   "",       "double", "single",
                                        "int8",    "uint8",  "int16",  "uint16", "int32",
                                        "uint32",  "int64",  "uint64"};
    return std::string(host_is_sparse(a) ? "sparse " : "") +
           (host_is_complex(a) ? "complex " : "") +
           names[host_class(a) - host_class_logical];
}

std::string size_of(const mxArray* a)
{
    std::string text;
    for (int d = 0; d < dim_count(a); ++d)
        text += (d ? "x" : "") + std::to_string(dim(a, d));
    return text;
}

double number_at(const mxArray* a, size_t i)
{
    const void* p = host_real_data(a);
    switch (host_class(a)) {
    case host_class_double: return static_cast<const double*>(p)[i];
    case host_class_single: return static_cast<const float*>(p)[i];
    case host_class_int8: return static_cast<const int8_t*>(p)[i];
    case host_class_uint8: return static_cast<const uint8_t*>(p)[i];
    case host_class_int16: return static_cast<const int16_t*>(p)[i];
    case host_class_uint16: return static_cast<const uint16_t*>(p)[i];
    case host_class_int32: return static_cast<const int32_t*>(p)[i];
    case host_class_uint32: return static_cast<const uint32_t*>(p)[i];
    case host_class_int64: return double(static_cast<const int64_t*>(p)[i]);
    case host_class_uint64: return double(static_cast<const uint64_t*>(p)[i]);
    case host_class_logical: return static_cast<const uint8_t*>(p)[i] != 0;
    default: return 0.0;
    }
}

std::string data_message(const mxArray* data)
{
    if (!numeric(data) && host_class(data) != host_class_logical)
        return "voxsmooth: data should be a numeric or logical array, not " + described(data);
    if (host_is_sparse(data))
        return "voxsmooth: data should be a full array, not " + described(data) +
               "; convert it with full(data)";
    if (host_is_complex(data))
        return "voxsmooth: data should be real, not " + described(data) +
               "; smooth real(data) and imag(data) one at a time";
    return "";
}

// voxel_size ([] allowed, each value > 0) or fwhm (each >= 0).
std::string axis_message(const mxArray* a, const std::string& name, bool is_voxel_size)
{
    if (!full_real_numeric(a))
        return "voxsmooth: " + name + " should be a full real numeric array, not " + described(a);
    const size_t n = host_element_count(a);
    if (n != 1 && n != 3 && !(is_voxel_size && n == 0))
        return "voxsmooth: " + name + " should be " +
               (is_voxel_size ? "[], one value or three" : "one value or three") + ", not " +
               std::to_string(n) + " values";
    for (size_t i = 0; i < n; ++i) {
        const double v = number_at(a, i);
        if (!std::isfinite(v) || v < 0 || (v == 0 && is_voxel_size))
            return "voxsmooth: " + name + (n > 1 ? "(" + std::to_string(i + 1) + ")" : "") +
                   (is_voxel_size ? " should be positive and finite"
                                  : " should be finite and not negative");
    }
    return "";
}

bool is_text(const mxArray* a)
{
    return host_class(a) == host_class_char && !host_is_sparse(a) && dim_count(a) == 2 &&
           dim(a, 0) == (host_element_count(a) != 0 ? 1 : 0);
}

// The option a text names, letter case aside (ASCII letters only).
Option option_named(const mxArray* a)
{
    const auto* letters = static_cast<const uint16_t*>(host_real_data(a));
    const size_t n = host_element_count(a);
    for (int option = 0; option < no_option; ++option) {
        bool same = std::strlen(option_names[option]) == n;
        for (size_t i = 0; same && i < n; ++i)
            same = (letters[i] >= 'A' && letters[i] <= 'Z' ? letters[i] + 32 : letters[i]) ==
                   option_names[option][i];
        if (same)
            return Option(option);
    }
    return no_option;
}

std::string name_message(const mxArray* a, size_t position)
{
    if (!is_text(a))
        return "voxsmooth: argument " + std::to_string(position + 1) +
               " should be an option name ('Factor', 'Mask', 'Threads' or 'Verbose'), not " +
               (host_class(a) == host_class_char && !host_is_sparse(a)
                    ? "a char array of size " + size_of(a)
                    : described(a));
    if (option_named(a) != no_option)
        return "";
    const auto* letters = static_cast<const uint16_t*>(host_real_data(a));
    const size_t n = host_element_count(a);
    std::string shown;
    for (size_t i = 0; i < n && i < 40; ++i)
        shown += letters[i] >= 0x20 && letters[i] < 0x7f ? char(letters[i]) : '?';
    return "voxsmooth: unknown option '" + shown + (n > 40 ? "...'" : "'") +
           "; the options are 'Factor', 'Mask', 'Threads' and 'Verbose'";
}

bool is_no_mask(const mxArray* m)
{
    return dim_count(m) == 2 && dim(m, 0) == 0 && dim(m, 1) == 0 &&
           (host_class(m) == host_class_double || host_class(m) == host_class_logical);
}

// Whether the mask is of one volume's size, of the data's, trailing ones
// aside (the host drops them).
bool mask_of_one_volume(const mxArray* m, const mxArray* data, bool every_volume)
{
    const int32_t longest = std::max(dim_count(m), dim_count(data));
    for (int d = 0; d < longest; ++d) {
        const int32_t m_d = d < dim_count(m) ? dim(m, d) : 1;
        const int32_t data_d = d < dim_count(data) ? dim(data, d) : 1;
        if (m_d != (every_volume || d < 3 ? data_d : 1))
            return false;
    }
    return true;
}

std::string mask_message(const mxArray* m, const mxArray* data)
{
    if (is_no_mask(m))
        return "";
    if (host_class(m) != host_class_logical || host_is_sparse(m))
        return "voxsmooth: 'Mask' should be a full logical array, not " + described(m) +
               (!host_is_sparse(m) && host_class(m) != host_class_logical
                    ? "; for a numeric mask m, pass m ~= 0"
                    : "");
    if (mask_of_one_volume(m, data, false) || mask_of_one_volume(m, data, true))
        return "";
    std::string volume;
    for (int d = 0; d < 3 && d < dim_count(data); ++d)
        volume += (d ? "x" : "") + std::to_string(dim(data, d));
    return "voxsmooth: 'Mask' is " + size_of(m) + ", the data " + size_of(data) +
           ": it should be the size of one volume (" + volume + ") or of the data";
}

// 'Factor' and 'Threads': one number of a numeric class.
std::string number_message(const mxArray* a, Option option)
{
    const std::string name = quoted_names[option];
    if (!full_real_numeric(a))
        return "voxsmooth: " + name + " should be a full real numeric array, not " + described(a);
    if (host_element_count(a) != 1)
        return "voxsmooth: " + name + " should be one value, not " +
               std::to_string(host_element_count(a)) + " values";
    const double v = number_at(a, 0);
    if (option == factor && !(std::isfinite(v) && v > 0))
        return "voxsmooth: 'Factor' should be positive and finite";
    // Counts from 2^31 - 1 up need not be whole: they are capped.
    const bool whole = v >= 2147483647.0 || v == std::floor(v);
    if (option == threads && !(std::isfinite(v) && v >= 1 && whole))
        return "voxsmooth: 'Threads' should be a whole number of at least 1";
    return "";
}

std::string verbose_message(const mxArray* a)
{
    const bool numbers = (numeric(a) || host_class(a) == host_class_logical) &&
                         !host_is_sparse(a) && !host_is_complex(a);
    const size_t n = host_element_count(a);
    if (numbers && n == 1 && !std::isnan(number_at(a, 0)))
        return "";
    return "voxsmooth: 'Verbose' should be true or false, not " +
           (!numbers ? described(a) : n != 1 ? std::to_string(n) + " values" : std::string("NaN"));
}

std::string option_message(const std::vector<mxArray*>& args, size_t position)
{
    std::string message = name_message(args[position], position);
    if (!message.empty())
        return message;
    const Option option = option_named(args[position]);
    if (position + 1 == args.size())
        return std::string("voxsmooth: option ") + quoted_names[option] + " has no value";
    const mxArray* value = args[position + 1];
    switch (option) {
    case mask: return mask_message(value, args[0]);
    case verbose: return verbose_message(value);
    default: return number_message(value, option);
    }
}

std::string expected_message(const std::vector<mxArray*>& args)
{
    const size_t n = args.size();
    if (n < 3)
        return "voxsmooth: takes data, voxel_size and fwhm, then options as name-value pairs; "
               "got " + std::to_string(n) + (n == 1 ? " argument" : " arguments");
    std::string message = data_message(args[0]);
    if (message.empty())
        message = axis_message(args[1], "voxel_size", true);
    if (message.empty())
        message = axis_message(args[2], "fwhm", false);
    for (size_t position = 3; message.empty() && position < n; position += 2)
        message = option_message(args, position);
    return cut(message);
}

size_t arrays_made(const std::string& message, int)
{
    return message.empty() ? 1 : 0;
}

// The value of the last pair naming `option` (a later one replaces an
// earlier one), or null. Only for calls the rules accept.
const mxArray* option_value(const std::vector<mxArray*>& args, Option option)
{
    const mxArray* value = nullptr;
    for (size_t position = 3; position + 1 < args.size(); position += 2)
        if (option_named(args[position]) == option)
            value = args[position + 1];
    return value;
}

void check_shape(const mxArray* data, const mxArray* output)
{
    const int32_t result_class =
        host_class(data) == host_class_double ? host_class_double : host_class_single;
    if (host_class(output) != result_class || host_is_complex(output) || host_is_sparse(output))
        broken("the output is not a real full array of the data's result class");
    if (size_of(output) != size_of(data))
        broken("the output is " + size_of(output) + ", the data " + size_of(data));
}

// A voxel outside the mask is NaN.
void check_masked(const mxArray* data, const mxArray* m, const mxArray* output)
{
    const size_t count = host_element_count(output);
    const size_t mask_count = host_element_count(m);
    const auto* kept = static_cast<const uint8_t*>(host_real_data(m));
    for (size_t i = 0; i < count; ++i) {
        const double v = host_class(data) == host_class_double
                             ? static_cast<const double*>(host_real_data(output))[i]
                             : static_cast<const float*>(host_real_data(output))[i];
        if (!kept[i % mask_count] && !std::isnan(v))
            broken("voxel " + std::to_string(i) + " is outside the mask but not NaN");
    }
}

void check_result(const std::vector<mxArray*>& args, mxArray* const* plhs, int)
{
    const mxArray* data = args[0];
    const mxArray* output = plhs[0];
    if (!output)
        broken("the call returned without an output");
    check_shape(data, output);
    const mxArray* m = option_value(args, mask);
    if (m && !is_no_mask(m) && host_element_count(output))
        check_masked(data, m, output);

    const mxArray* v = option_value(args, verbose);
    const std::string console = host_console();
    if (!v || number_at(v, 0) == 0) {
        if (!console.empty())
            broken("a quiet call printed: " + console);
        return;
    }
    const int32_t n = dim_count(data);
    const std::string head = "GaussFiltering (Image volume: " + std::to_string(dim(data, 0)) +
                             " x " + std::to_string(dim(data, 1)) + " x " +
                             std::to_string(n > 2 ? dim(data, 2) : 1) + ")\nFilter kernel size (";
    const bool two_lines = console.compare(0, head.size(), head) == 0 &&
                           console.find('\n', head.size()) + 1 == console.size();
    if (!two_lines)
        broken("unexpected console text: " + console);
}

}  // namespace

const FuzzEntry voxsmooth_entry = {"voxsmooth", voxsmooth_gateway, 11, 1, expected_message,
                                   arrays_made, check_result};
