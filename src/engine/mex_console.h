/* The two libmex calls that the engine makes: console output and the error
 * call. They are the engine's only contact with its host, so they are
 * declared here, beside the engine, and the gateway's declarations of the
 * rest of the host (src/mex/mex_host.h) build on them. Under GNU Octave
 * (VOXBLUR_OCTAVE) Octave's own mex.h provides them. */
#ifndef VOXBLUR_MEX_CONSOLE_H
#define VOXBLUR_MEX_CONSOLE_H

#ifdef VOXBLUR_OCTAVE
#include <mex.h>
#else

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VOXBLUR_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#else
#define VOXBLUR_PRINTF_LIKE
#endif

/* Shows the formatted text on the host's console. */
int mexPrintf(const char* format, ...) VOXBLUR_PRINTF_LIKE;

/* Reports the message as the error of the current call and ends the whole
 * gateway call: it never returns to its caller. */
void mexErrMsgTxt(const char* message);

#ifdef __cplusplus
}
#endif

#endif /* VOXBLUR_OCTAVE */
#endif
