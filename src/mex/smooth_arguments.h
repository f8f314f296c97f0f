/* voxsmooth's argument rules, written once for its MEX gateway and its
 * Octave function:
 *
 *   out = voxsmooth(data, voxel_size, fwhm[, Name, Value, ...])
 *
 * Each entry point reads its host's arrays through a small accessor of its
 * own (the Host of read_smooth_call: class, shape, data pointer, the
 * characters of a name) and the rules here decide which message a call
 * fails with and what the engine is asked to do. Every message is built
 * here from plain text and whole numbers, so that no entry point gains a
 * library call from them. */
#ifndef VOXBLUR_SMOOTH_ARGUMENTS_H
#define VOXBLUR_SMOOTH_ARGUMENTS_H

#include <stdint.h>

#include "argument_checks.h"
#include "mex_console.h"
#include "smooth_volume.h"

enum { IN_DATA, IN_SMOOTH_VOXEL_SIZE, IN_FWHM, IN_FIRST_OPTION };

/* Class numbers as the MEX interface has them (mxClassID); each host's
 * accessor answers in these, 0 for a class that is none of them. */
enum {
    class_other = 0,
    class_logical = 3,
    class_char = 4,
    class_double = 6,
    class_single = 7,
    class_int8 = 8,
    class_uint8 = 9,
    class_int16 = 10,
    class_uint16 = 11,
    class_int32 = 12,
    class_uint32 = 13,
    class_int64 = 14,
    class_uint64 = 15
};

/* The options, in the order their names are listed in messages. */
enum smooth_option { option_factor, option_mask, option_threads, option_verbose, option_count };
static const char* const smooth_option_names[option_count] = {"Factor", "Mask", "Threads",
                                                              "Verbose"};

/* Everything the engine call and the console need, once the rules have
 * passed. The data is one or more volumes of dimensions[0..2] (a 2-D
 * image is one slice); the result is double when output_double is set,
 * else single, of the data's size. */
struct smooth_call {
    const void* data;
    enum voxel_class data_class;
    bool output_double;
    int64_t dimensions[3];
    int64_t volumes;
    double widths[3];
    int32_t factor;
    const uint8_t* mask;
    bool mask_every_volume;
    /* 0: as many as the host allows. */
    int32_t threads;
    bool verbose;
};

/* A message built from pieces, cut (never overrun) at its buffer's end. */
struct smooth_message {
    char text[320];
    int32_t length;

    smooth_message() : length(0) { text[0] = '\0'; }

    smooth_message& add(const char* piece)
    {
        while (*piece && length + 1 < (int32_t)sizeof text)
            text[length++] = *piece++;
        text[length] = '\0';
        return *this;
    }

    smooth_message& add(int64_t number)
    {
        char digits[24];
        int32_t count = 0;
        uint64_t magnitude = number < 0 ? 0 - (uint64_t)number : (uint64_t)number;
        do {
            digits[count++] = (char)('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        if (number < 0)
            add("-");
        char piece[2] = {0, 0};
        while (count)
            piece[0] = digits[--count], add(piece);
        return *this;
    }
};

/* One element of a numeric or logical array, as a double. */
static inline double smooth_number_at(int32_t class_id, const void* data, int64_t index)
{
    switch (class_id) {
    case class_double: return ((const double*)data)[index];
    case class_single: return ((const float*)data)[index];
    case class_int8: return ((const int8_t*)data)[index];
    case class_uint8: return ((const uint8_t*)data)[index];
    case class_int16: return ((const int16_t*)data)[index];
    case class_uint16: return ((const uint16_t*)data)[index];
    case class_int32: return ((const int32_t*)data)[index];
    case class_uint32: return ((const uint32_t*)data)[index];
    case class_int64: return (double)((const int64_t*)data)[index];
    case class_uint64: return (double)((const uint64_t*)data)[index];
    case class_logical: return ((const uint8_t*)data)[index] != 0;
    default: return 0.0;
    }
}

static inline bool smooth_is_numeric(int32_t class_id)
{
    return class_id >= class_double && class_id <= class_uint64;
}

/* The engine's name for a data class (numeric or logical). */
static inline enum voxel_class smooth_voxel_class(int32_t class_id)
{
    return class_id == class_logical ? voxel_logical
                                     : (enum voxel_class)(voxel_double + (class_id - class_double));
}

static inline bool smooth_is_finite(double value)
{
    return value - value == 0.0;
}

/* The Factor's value + 0.5 truncated toward zero, as voxblur takes its
 * factor, saturated where it would not fit: the kernel is cut to the axis
 * long before. */
static inline int32_t smooth_factor(double value)
{
    return value + 0.5 >= 2147483647.0 ? INT32_MAX : to_int32(value + 0.5);
}

/* Reads one call's arguments through `host` (see the top of this file) and
 * returns null with `call` filled, or the message of the first rule the
 * call breaks, in `message`. Arguments are checked in order, the options
 * from left to right, a later value of an option replacing an earlier one.
 * Nothing is read from an argument before its class and shape have passed.
 *
 * Host provides, for Arguments args and an element args[i]:
 *   int32_t class_id(a)            as the class_ enum above
 *   const char* class_name(a)      the host's name of the class
 *   bool is_sparse(a), is_complex(a)
 *   int32_t dimension_count(a); int64_t dimension(a, d); int64_t element_count(a)
 *   const void* data(a)            the real values, in the class's type
 *   uint32_t character(a, i)       the code of character i of a char array */
template <class Host, class Arguments>
const char* read_smooth_call(Host& host, const Arguments& args, int32_t count, smooth_call* call,
                             smooth_message* message);

/* ---- the rules, one function per argument ------------------------------- */

template <class Host, class Argument>
void add_size(smooth_message* message, Host& host, const Argument& a)
{
    for (int32_t d = 0; d < host.dimension_count(a); ++d) {
        if (d)
            message->add("x");
        message->add(host.dimension(a, d));
    }
}

/* "double", "sparse double", "complex single", "char", ... */
template <class Host, class Argument>
void add_class(smooth_message* message, Host& host, const Argument& a)
{
    if (host.is_sparse(a))
        message->add("sparse ");
    if (host.is_complex(a))
        message->add("complex ");
    message->add(host.class_name(a));
}

/* A full, real array of a numeric class, else null with the message. */
template <class Host, class Argument>
bool numeric_values(Host& host, const Argument& a, const char* name, smooth_message* message)
{
    if (smooth_is_numeric(host.class_id(a)) && !host.is_sparse(a) && !host.is_complex(a))
        return true;
    message->add("voxsmooth: ").add(name).add(" should be a full real numeric array, not ");
    add_class(message, host, a);
    return false;
}

/* Values that a rule has read: one, or three per axis. */
struct axis_values {
    double value[3];
    int64_t count;
};

/* voxel_size: [], one value or three, each positive and finite. fwhm: one
 * value or three, each finite and not negative. */
template <class Host, class Argument>
bool read_axis_values(Host& host, const Argument& a, const char* name, bool empty_allowed,
                      bool zero_allowed, axis_values* values, smooth_message* message)
{
    if (!numeric_values(host, a, name, message))
        return false;
    values->count = host.element_count(a);
    if (values->count != 1 && values->count != 3 && !(empty_allowed && values->count == 0)) {
        message->add("voxsmooth: ").add(name).add(" should be ");
        message->add(empty_allowed ? "[], one value or three" : "one value or three");
        message->add(", not ").add(values->count).add(" values");
        return false;
    }
    const int32_t class_id = host.class_id(a);
    for (int64_t i = 0; i < values->count; ++i) {
        const double v = smooth_number_at(class_id, host.data(a), i);
        if (!smooth_is_finite(v) || v < 0.0 || (v == 0.0 && !zero_allowed)) {
            message->add("voxsmooth: ").add(name);
            if (values->count > 1)
                message->add("(").add(i + 1).add(")");
            message->add(zero_allowed ? " should be finite and not negative"
                                      : " should be positive and finite");
            return false;
        }
        values->value[i] = v;
    }
    for (int64_t i = values->count; i < 3; ++i)
        values->value[i] = values->value[values->count ? 0 : i];
    return true;
}

/* One number of an option, as a double. */
template <class Host, class Argument>
bool read_option_number(Host& host, const Argument& a, const char* quoted_name, double* value,
                        smooth_message* message)
{
    if (!numeric_values(host, a, quoted_name, message))
        return false;
    if (host.element_count(a) != 1) {
        message->add("voxsmooth: ").add(quoted_name).add(" should be one value, not ");
        message->add(host.element_count(a)).add(" values");
        return false;
    }
    *value = smooth_number_at(host.class_id(a), host.data(a), 0);
    return true;
}

/* A switch: one logical or real number, not NaN; true where nonzero. */
template <class Host, class Argument>
bool read_switch(Host& host, const Argument& a, double* value, smooth_message* message)
{
    const int32_t class_id = host.class_id(a);
    const bool numbers = (smooth_is_numeric(class_id) || class_id == class_logical) &&
                         !host.is_sparse(a) && !host.is_complex(a);
    if (numbers && host.element_count(a) == 1) {
        *value = smooth_number_at(class_id, host.data(a), 0);
        if (*value == *value)
            return true;
    }
    message->add("voxsmooth: 'Verbose' should be true or false, not ");
    if (!numbers)
        add_class(message, host, a);
    else if (host.element_count(a) != 1)
        message->add(host.element_count(a)).add(" values");
    else
        message->add("NaN");
    return false;
}

/* Which option a name argument names, case aside; option_count when none,
 * with the message. */
template <class Host, class Argument>
smooth_option read_option_name(Host& host, const Argument& a, int32_t position,
                               smooth_message* message)
{
    const int64_t length = host.element_count(a);
    const bool is_text = host.class_id(a) == class_char && !host.is_sparse(a) &&
                         host.dimension_count(a) == 2 && host.dimension(a, 0) == (length != 0);
    if (!is_text) {
        message->add("voxsmooth: argument ").add((int64_t)position + 1);
        message->add(" should be an option name ('Factor', 'Mask', 'Threads' or 'Verbose'), not ");
        if (host.class_id(a) == class_char && !host.is_sparse(a)) {
            message->add("a char array of size ");
            add_size(message, host, a);
        } else {
            add_class(message, host, a);
        }
        return option_count;
    }
    for (int32_t option = 0; option < option_count; ++option) {
        const char* name = smooth_option_names[option];
        int64_t i = 0;
        for (; i < length && name[i]; ++i) {
            const uint32_t c = host.character(a, i);
            const uint32_t lower = c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
            const uint32_t wanted = (uint32_t)(name[i] >= 'A' && name[i] <= 'Z'
                                                   ? name[i] + ('a' - 'A')
                                                   : name[i]);
            if (lower != wanted)
                break;
        }
        if (i == length && !name[i])
            return (smooth_option)option;
    }
    message->add("voxsmooth: unknown option '");
    char piece[2] = {0, 0};
    for (int64_t i = 0; i < length && i < 40; ++i) {
        const uint32_t c = host.character(a, i);
        piece[0] = c >= 0x20 && c < 0x7f ? (char)c : '?';
        message->add(piece);
    }
    message->add(length > 40 ? "...'" : "'");
    message->add("; the options are 'Factor', 'Mask', 'Threads' and 'Verbose'");
    return option_count;
}

/* The mask: [] for none, else a full logical array of one volume's size or
 * of the data's. Sizes are compared as MATLAB shows them, trailing ones
 * aside. */
template <class Host, class Argument>
bool read_mask(Host& host, const Argument& mask, const Argument& data, smooth_call* call,
               smooth_message* message)
{
    const bool no_mask = host.dimension_count(mask) == 2 && host.dimension(mask, 0) == 0 &&
                         host.dimension(mask, 1) == 0 &&
                         (host.class_id(mask) == class_double ||
                          host.class_id(mask) == class_logical);
    if (no_mask) {
        call->mask = 0;
        return true;
    }
    if (host.class_id(mask) != class_logical || host.is_sparse(mask)) {
        message->add("voxsmooth: 'Mask' should be a full logical array, not ");
        add_class(message, host, mask);
        if (!host.is_sparse(mask) && host.class_id(mask) != class_logical)
            message->add("; for a numeric mask m, pass m ~= 0");
        return false;
    }
    const int32_t data_dims = host.dimension_count(data);
    const int32_t mask_dims = host.dimension_count(mask);
    const int32_t longest = data_dims > mask_dims ? data_dims : mask_dims;
    bool one_volume = true;
    bool every_volume = true;
    for (int32_t d = 0; d < longest; ++d) {
        const int64_t m = d < mask_dims ? host.dimension(mask, d) : 1;
        const int64_t v = d < data_dims ? host.dimension(data, d) : 1;
        one_volume = one_volume && m == (d < 3 ? v : 1);
        every_volume = every_volume && m == v;
    }
    if (!one_volume && !every_volume) {
        message->add("voxsmooth: 'Mask' is ");
        add_size(message, host, mask);
        message->add(", the data ");
        add_size(message, host, data);
        message->add(": it should be the size of one volume (");
        for (int32_t d = 0; d < 3 && d < data_dims; ++d)
            message->add(d ? "x" : "").add(host.dimension(data, d));
        message->add(") or of the data");
        return false;
    }
    call->mask = (const uint8_t*)host.data(mask);
    call->mask_every_volume = !one_volume;
    return true;
}

template <class Host, class Argument>
bool read_data(Host& host, const Argument& data, smooth_call* call, smooth_message* message)
{
    const int32_t class_id = host.class_id(data);
    if (!smooth_is_numeric(class_id) && class_id != class_logical) {
        message->add("voxsmooth: data should be a numeric or logical array, not ");
        add_class(message, host, data);
        return false;
    }
    if (host.is_sparse(data)) {
        message->add("voxsmooth: data should be a full array, not ");
        add_class(message, host, data);
        message->add("; convert it with full(data)");
        return false;
    }
    if (host.is_complex(data)) {
        message->add("voxsmooth: data should be real, not ");
        add_class(message, host, data);
        message->add("; smooth real(data) and imag(data) one at a time");
        return false;
    }
    call->data_class = smooth_voxel_class(class_id);
    call->output_double = class_id == class_double;
    call->volumes = 1;
    for (int32_t d = 0; d < host.dimension_count(data); ++d) {
        if (d < 3)
            call->dimensions[d] = host.dimension(data, d);
        else
            call->volumes *= host.dimension(data, d);
    }
    for (int32_t d = host.dimension_count(data); d < 3; ++d)
        call->dimensions[d] = 1;
    /* No pointer at all for empty data, as MATLAB has it: nothing is read. */
    call->data = host.element_count(data) ? host.data(data) : 0;
    return true;
}

template <class Host, class Arguments>
const char* read_smooth_call(Host& host, const Arguments& args, int32_t count, smooth_call* call,
                             smooth_message* message)
{
    if (count < 3) {
        message->add("voxsmooth: takes data, voxel_size and fwhm, then options as name-value "
                     "pairs; got ").add((int64_t)count).add(count == 1 ? " argument" : " arguments");
        return message->text;
    }
    if (!read_data(host, args[IN_DATA], call, message))
        return message->text;
    axis_values voxel_size, fwhm;
    if (!read_axis_values(host, args[IN_SMOOTH_VOXEL_SIZE], "voxel_size", true, false,
                          &voxel_size, message) ||
        !read_axis_values(host, args[IN_FWHM], "fwhm", false, true, &fwhm, message))
        return message->text;
    for (int d = 0; d < 3; ++d)
        call->widths[d] = voxel_size.count ? fwhm.value[d] / voxel_size.value[d] : fwhm.value[d];

    call->factor = default_factor;
    call->mask = 0;
    call->mask_every_volume = false;
    call->threads = 0;
    call->verbose = false;
    for (int32_t position = IN_FIRST_OPTION; position < count; position += 2) {
        const smooth_option option = read_option_name(host, args[position], position, message);
        if (option == option_count)
            return message->text;
        const char* quoted[option_count] = {"'Factor'", "'Mask'", "'Threads'", "'Verbose'"};
        if (position + 1 == count) {
            message->add("voxsmooth: option ").add(quoted[option]).add(" has no value");
            return message->text;
        }
        const auto& value = args[position + 1];
        double number = 0.0;
        switch (option) {
        case option_mask:
            if (!read_mask(host, value, args[IN_DATA], call, message))
                return message->text;
            break;
        case option_factor:
            if (!read_option_number(host, value, quoted[option], &number, message))
                return message->text;
            if (!smooth_is_finite(number) || number <= 0.0) {
                message->add("voxsmooth: 'Factor' should be positive and finite");
                return message->text;
            }
            call->factor = smooth_factor(number);
            break;
        case option_threads:
            if (!read_option_number(host, value, quoted[option], &number, message))
                return message->text;
            if (!smooth_is_finite(number) || !(number >= 1.0) ||
                (number < 2147483647.0 && number != (double)(int32_t)number)) {
                message->add("voxsmooth: 'Threads' should be a whole number of at least 1");
                return message->text;
            }
            call->threads = number >= (double)INT32_MAX ? INT32_MAX : (int32_t)number;
            break;
        case option_verbose:
            if (!read_switch(host, value, &number, message))
                return message->text;
            call->verbose = number != 0.0;
            break;
        default:
            break;
        }
    }
    return 0;
}

/* voxblur's two console lines, for one volume of the call. */
static inline void print_smooth_lines(const smooth_call& call)
{
    mexPrintf("GaussFiltering (Image volume: %lld x %lld x %lld)\n",
              (long long)call.dimensions[0], (long long)call.dimensions[1],
              (long long)call.dimensions[2]);
    long long taps[3];
    for (int d = 0; d < 3; ++d)
        taps[d] = smooth_kernel_length(call.dimensions[d], call.widths[d], call.factor);
    mexPrintf("Filter kernel size (%lld, %lld, %lld voxels)\n", taps[0], taps[1], taps[2]);
}

/* The engine's request for a call, its result going to `output`. */
static inline smooth_request smooth_request_of(const smooth_call& call, void* output)
{
    smooth_request request;
    request.input = call.data;
    request.input_class = call.data_class;
    request.output = output;
    for (int d = 0; d < 3; ++d) {
        request.dimensions[d] = call.dimensions[d];
        request.widths[d] = call.widths[d];
    }
    request.volumes = call.volumes;
    request.factor = call.factor;
    request.mask = call.mask;
    request.mask_every_volume = call.mask_every_volume;
    request.threads = call.threads;
    return request;
}

static const char smooth_out_of_memory_message[] =
    "voxsmooth: out of memory for the work areas of this call";

#endif
