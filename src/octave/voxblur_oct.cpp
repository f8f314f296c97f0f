/* voxblur as a native Octave function (voxblur.oct). The same argument
 * rules as the MEX gateway, but without Octave's MEX layer: a real double
 * volume is read where Octave keeps it, and the result is created once,
 * unfilled, for the engine to write into. Its help is help/voxblur.m,
 * turned into VOXBLUR_HELP_TEXT at build time. */
#include <octave/oct.h>

#include "argument_checks.h"
#include "mex_console.h"
#include "unfilled_array.h"
#include "voxblur_engine.h"
#include "voxblur_help.h"

static const char octave_function_prefix[] = "voxblur: ";
#include "octave_console.h"

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

    NDArray result(unfilled_array<double>(volume_dims));
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
