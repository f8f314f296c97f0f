/* engine_time(volume, fwhm, factor): the seconds the engine alone takes
 * for voxblur(volume, [], [fwhm fwhm fwhm], factor), on the threads a
 * call would use (VOXBLUR_THREADS as for voxblur.oct), writing into a
 * result kept from call to call and so already mapped. bench/peers.m sets
 * it beside the whole voxblur.oct call: what is left over is the call's
 * own cost, mostly the operating system handing over a fresh result. For
 * the benchmark only; it is never installed. */
#include <octave/oct.h>

#include <chrono>
#include <cstdarg>
#include <vector>

#include "voxblur_engine.h"

/* The engine's console and error calls. The kernel lengths it prints are
 * of no use here; an error ends the timing. */
extern "C" __attribute__((visibility("hidden"))) int mexPrintf(const char*, ...)
{
    return 0;
}

extern "C" __attribute__((visibility("hidden"))) void mexErrMsgTxt(const char* message)
{
    error("engine_time: %s", message);
}

/* engine_time_cmake.oct is this file linked with the CMake build's engine
 * objects instead of compiling the engine as voxblur.oct does. */
#ifndef ENGINE_TIME_NAME
#define ENGINE_TIME_NAME engine_time
#endif

DEFUN_DLD(ENGINE_TIME_NAME, args, , "seconds = engine_time(volume, fwhm, factor): the engine alone")
{
    if (args.length() != 3)
        print_usage();
    const NDArray volume = args(0).array_value();
    const dim_vector dims = volume.dims();
    if (dims.ndims() != 3)
        error("engine_time: the volume has %d dimensions, not 3", (int)dims.ndims());
    const int32_t sizes[3] = {(int32_t)dims(0), (int32_t)dims(1), (int32_t)dims(2)};
    const double fwhm = args(1).double_value();
    const double widths[3] = {fwhm, fwhm, fwhm};
    const int32_t factor = args(2).int_value();

    static std::vector<double> result;
    result.resize(volume.numel());
    const auto start = std::chrono::steady_clock::now();
    gauss_filter(volume.data(), result.data(), sizes, widths, factor);
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    return octave_value(taken.count());
}
