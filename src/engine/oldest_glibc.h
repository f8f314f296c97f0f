/* Binds the C library calls of the engine to the oldest version that the
 * GNU C library has of each on this architecture. A linker binds every call
 * to the newest version of the library it links against (exp to
 * GLIBC_2.29 since 2019), and the dynamic loader then refuses the file on
 * any older system, though the call itself has not changed for the
 * engine: the old version of exp computes the same values and differs only
 * in how it reports errors, which the engine never reads. With these
 * bindings the R14 Linux MEX files load on every glibc that MATLAB of
 * their platform ran on.
 *
 * Defined only for builds that record symbol versions (VOXBLUR_OLDEST_GLIBC);
 * the R11 file resolves its calls by bare name and records none. Include
 * it in every engine source that calls the C library. */
#ifndef VOXBLUR_OLDEST_GLIBC_H
#define VOXBLUR_OLDEST_GLIBC_H

#if defined(VOXBLUR_OLDEST_GLIBC)
#if defined(__x86_64__)
__asm__(".symver exp, exp@GLIBC_2.2.5");
__asm__(".symver sprintf, sprintf@GLIBC_2.2.5");
#elif defined(__i386__)
__asm__(".symver exp, exp@GLIBC_2.0");
__asm__(".symver sprintf, sprintf@GLIBC_2.0");
#else
#error "oldest_glibc.h: no oldest glibc versions known for this architecture"
#endif
#endif

/* The calls of POSIX threads (threads_posix.cpp defines
 * VOXBLUR_THREAD_CALLS before including this), for the MEX files that
 * start threads and still load on those systems. glibc 2.34 moved them
 * from libpthread into the C library under new versions; the old ones are
 * still there, in both, and libpthread.so.0 is among the needed libraries
 * of these files, which older systems find them in. */
#if defined(VOXBLUR_OLDEST_GLIBC) && defined(VOXBLUR_THREAD_CALLS)
#if defined(__x86_64__)
__asm__(".symver pthread_create, pthread_create@GLIBC_2.2.5");
__asm__(".symver pthread_join, pthread_join@GLIBC_2.2.5");
__asm__(".symver pthread_attr_setstacksize, pthread_attr_setstacksize@GLIBC_2.2.5");
__asm__(".symver pthread_sigmask, pthread_sigmask@GLIBC_2.2.5");
#else
#error "oldest_glibc.h: no oldest versions of the thread calls known for this architecture"
#endif
#endif

#endif
