#include "exact_arithmetic.h"

#include "filter_line.h"
#include "mex_console.h"
#include "voxblur_engine.h"

extern "C" void filter_1d(const double* in, double* out, int32_t nx, const double* kernel,
                          int32_t nk)
{
    if (nk > nx) {
        mexErrMsgTxt("filter_1d(): Error nk > nx!");
        return;
    }
    filter_line(in, out, nx, kernel, nk);
}
