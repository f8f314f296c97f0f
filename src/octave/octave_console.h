/* The console and error calls of an Octave function (.oct) built on the
 * engine. The engine and the argument rules print and fail through the
 * two MEX console calls; in a .oct they are its own, defined here. Hidden,
 * so that the engine's calls bind to them and not to Octave's MEX
 * functions of the same names, which need a MEX call in progress (the
 * engine's error would then read "unknown: ..."). mkoctfile links with
 * -Bsymbolic on Debian, which binds them too, but not every mkoctfile does.
 *
 * The including file defines octave_function_prefix ("voxblur: ") first. */
#ifndef VOXBLUR_OCTAVE_CONSOLE_H
#define VOXBLUR_OCTAVE_CONSOLE_H

#include <octave/oct.h>

#include <cstdarg>
#include <string>

#include "argument_checks.h"

/* Every message is named by the function's prefix once, as Octave's MEX
 * layer names a MEX file's. A final line end goes into the format, which
 * also keeps the error's location out of the message. */
[[noreturn]] static inline void fail(const char* message)
{
    std::string text = without_function_name(message, octave_function_prefix);
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        error("%s%s\n", octave_function_prefix, text.c_str());
    }
    error("%s%s", octave_function_prefix, text.c_str());
}

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

#endif
