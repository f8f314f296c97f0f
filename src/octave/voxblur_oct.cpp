/* voxblur as a native Octave function (voxblur.oct). The same argument
 * rules as the MEX gateway, but without Octave's MEX layer: a real double
 * volume is read where Octave keeps it, and the result is created once,
 * unfilled, for the engine to write into. Its help is help/voxblur.m,
 * turned into VOXBLUR_HELP_TEXT at build time. */
#include <octave/oct.h>

#include <cstdarg>
#include <memory>
#include <string>

#include "argument_checks.h"
#include "huge_pages.h"
#include "mex_console.h"
#include "voxblur_engine.h"
#include "voxblur_help.h"

/* Every message is named "voxblur: " once, as Octave's MEX layer names
 * voxblur.mex's. A final line end goes into the format, which also keeps
 * the error's location out of the message. */
[[noreturn]] static void fail(const char* message)
{
    std::string text = without_function_name(message);
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        error("voxblur: %s\n", text.c_str());
    }
    error("voxblur: %s", text.c_str());
}

/* The engine prints and fails through the two MEX console calls; here they
 * are this file's own. Hidden, so that the engine's calls bind to them and
 * not to Octave's MEX functions of the same names, which need a MEX call in
 * progress (the engine's error would then read "unknown: ..."). mkoctfile
 * links with -Bsymbolic on Debian, which binds them too, but not every
 * mkoctfile does. */
extern "C" __attribute__((visibility("hidden"))) int mexPrintf(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int written = octave::vformat(octave_stdout, format, arguments);
    va_end(arguments);
    return written;
}

extern "C" __attribute__((visibility("hidden"))) void mexErrMsgTxt(const char* message)
{
    fail(message);
}

static argument_view view_of(const octave_value& argument)
{
    const dim_vector dims = argument.dims();
    argument_view view;
    view.dimension_count = (int32_t)dims.ndims();
    view.rows = dimension_entry(dims(0));
    view.columns = dimension_entry(dims(1));
    view.is_empty = argument.isempty();
    view.is_full_double = argument.is_double_type() && !argument.issparse();
    return view;
}

/* The values of a full double argument; of a complex one its real part, a
 * copy, since Octave keeps real and imaginary parts interleaved. A real
 * array is shared, not copied. */
static NDArray real_values(const octave_value& argument)
{
    return argument.iscomplex() ? real(argument.complex_array_value()) : argument.array_value();
}

/* A double array of the given size whose elements are left as they come
 * from the allocator: Array's own constructors zero every element, which
 * costs a pass over the whole result before the engine writes it. Nothing
 * has written a large block yet, so it can still be mapped in huge pages. */
static NDArray unfilled_array(const dim_vector& dims)
{
    std::allocator<double> allocator;
    const octave_idx_type count = dims.safe_numel();
    double* data = allocator.allocate(count);
    advise_huge_pages(data, (size_t)count * sizeof(double));
    try {
        return NDArray(Array<double>(data, dims));
    } catch (...) {
        allocator.deallocate(data, count);
        throw;
    }
}

DEFUN_DLD(voxblur, args, , VOXBLUR_HELP_TEXT)
{
    const int count = args.length();
    argument_view views[MAX_ARGUMENTS];
    for (int i = 0; i < count && i < MAX_ARGUMENTS; ++i)
        views[i] = view_of(args(i));
    argument_plan plan;
    if (const char* message = check_arguments(count, views, &plan))
        fail(message);

    const dim_vector volume_dims = args(IN_VOLUME).dims();
    const int32_t dims[3] = {dimension_entry(volume_dims(0)), dimension_entry(volume_dims(1)),
                             dimension_entry(volume_dims(2))};

    mexPrintf("GaussFiltering (Image volume: %d x %d x %d)\n", dims[0], dims[1], dims[2]);

    NDArray result = unfilled_array(volume_dims);
    const NDArray volume = real_values(args(IN_VOLUME));
    const NDArray filter_size = real_values(args(IN_FILTER_SIZE));
    NDArray voxel_size;
    if (plan.has_voxel_size)
        voxel_size = real_values(args(IN_VOXEL_SIZE));
    NDArray factor_value;
    if (plan.has_factor)
        factor_value = real_values(args(IN_FACTOR));

    double widths[3];
    fwhm_in_voxels(filter_size.data(), plan.has_voxel_size ? voxel_size.data() : nullptr, widths);
    const int32_t factor = kernel_factor(plan.has_factor ? factor_value.data() : nullptr);

    /* Never taken: gauss_filter's only failure ends the call in its error
     * call first (voxblur_engine.h). */
    if (gauss_filter(volume.data(), result.fortran_vec(), dims, widths, factor) != 0)
        fail("voxblur: Problems in gauss_filter subroutine");
    return octave_value(result);
}
