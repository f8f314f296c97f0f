/* voxsmooth as a native Octave function (voxsmooth.oct): the argument rules
 * of smooth_arguments.h over Octave's own values, data of every class read
 * where Octave keeps it, and the result created once, unfilled, for the
 * engine to write into. Its help is help/voxsmooth.m, turned into
 * VOXSMOOTH_HELP_TEXT at build time. */
#include <octave/oct.h>

#include <list>
#include <string>

#include "smooth_arguments.h"
#include "smooth_volume.h"
#include "unfilled_array.h"
#include "voxsmooth_help.h"

static const char octave_function_prefix[] = "voxsmooth: ";
#include "octave_console.h"

/* The rules' view of an octave_value. Values are read where Octave keeps
 * them; only a range (1:3), which keeps no elements, is made into a
 * matrix, kept here for the call. */
class OctaveValues {
public:
    int32_t class_id(const octave_value& a)
    {
        static const char* const names[] = {"logical", "char",  "",       "double", "single",
                                            "int8",    "uint8", "int16",  "uint16", "int32",
                                            "uint32",  "int64", "uint64"};
        const std::string name = a.class_name();
        for (int32_t i = 0; i < (int32_t)(sizeof names / sizeof *names); ++i)
            if (*names[i] && name == names[i])
                return class_logical + i;
        return class_other;
    }
    const char* class_name(const octave_value& a)
    {
        name_ = a.class_name();
        return name_.c_str();
    }
    bool is_sparse(const octave_value& a) { return a.issparse(); }
    bool is_complex(const octave_value& a) { return a.iscomplex(); }
    int32_t dimension_count(const octave_value& a) { return (int32_t)a.ndims(); }
    int64_t dimension(const octave_value& a, int32_t d) { return (int64_t)a.dims()(d); }
    int64_t element_count(const octave_value& a) { return (int64_t)a.numel(); }
    const void* data(const octave_value& a)
    {
        if (const void* values = a.mex_get_data())
            return values;
        kept_.push_back(a.full_value());
        return kept_.back().mex_get_data();
    }
    uint32_t character(const octave_value& a, int64_t i)
    {
        return (uint8_t)((const char*)data(a))[i];
    }

private:
    std::string name_;
    std::list<octave_value> kept_;
};

/* The call's result, of Element (double or float) in Result. The value is
 * made only once the engine has written the array: Octave keeps a 1x1
 * result as a scalar, copied when the value is made. */
template <typename Element, typename Result>
octave_value smoothed(const smooth_call& call, const dim_vector& dims)
{
    Result values(unfilled_array<Element>(dims));
    const smooth_request request = smooth_request_of(call, values.fortran_vec());
    if (smooth_volumes(&request) != smooth_done)
        fail(smooth_out_of_memory_message);
    return octave_value(values);
}

/* The arguments as the rules index them. */
struct ArgumentList {
    const octave_value_list& list;
    const octave_value& operator[](int32_t i) const { return list(i); }
};

DEFUN_DLD(voxsmooth, args, , VOXSMOOTH_HELP_TEXT)
{
    OctaveValues host;
    smooth_call call;
    smooth_message message;
    if (const char* failure = read_smooth_call(host, ArgumentList{args}, args.length(), &call, &message))
        fail(failure);
    if (call.verbose)
        print_smooth_lines(call);

    const dim_vector dims = args(IN_DATA).dims();
    if (call.output_double)
        return smoothed<double, NDArray>(call, dims);
    return smoothed<float, FloatNDArray>(call, dims);
}
