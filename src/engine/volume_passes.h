/* The three passes of gauss_filter, after its prologue has settled the
 * kernel lengths. Internal to the engine: gauss_filter calls
 * volume_passes; tests and benchmarks call a variant by name. Every variant
 * writes the same bits: each output is the sum of its taps in increasing
 * order, every operation rounded to double, no fused multiply-add. */
#ifndef VOXBLUR_VOLUME_PASSES_H
#define VOXBLUR_VOLUME_PASSES_H

#include <stdint.h>

/* Which vector passes this build has. x86-64: SSE2, AVX and AVX-512, for
 * GCC and Clang (__x86_64__) and for Microsoft's compiler, which names the
 * processor _M_X64 only (and names it so in ARM64EC code too, which runs on
 * ARM and is left out). 64-bit ARM: NEON. Anything else, the 32-bit x86
 * builds among them, has the plain passes only. */
#if defined(__x86_64__) || (defined(_M_X64) && !defined(_M_ARM64EC))
#define VOXBLUR_VECTORS_X86_64 1
#else
#define VOXBLUR_VECTORS_X86_64 0
#endif
#if defined(__aarch64__) || defined(_M_ARM64)
#define VOXBLUR_VECTORS_NEON 1
#else
#define VOXBLUR_VECTORS_NEON 0
#endif

/* Kept out of a shared library's dynamic symbol table: only gauss_filter,
 * compute_gauss and filter_1d are the engine's named routines. PE targets
 * export nothing by default and reject the attribute. */
#if defined(__ELF__)
#define VOXBLUR_INTERNAL __attribute__((visibility("hidden")))
#else
#define VOXBLUR_INTERNAL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* All variants share this shape: input and output volumes of
 * dimensions[0..2] doubles (not overlapping), taps[0..2] the settled odd
 * kernel length per axis (-1 for an empty axis), widths[0..2] the FWHM in
 * voxels that shapes each kernel, and the most threads the call may use
 * (threads.h; 1 keeps it on the calling thread). The result is the same
 * whatever the number of threads. */
typedef void volume_passes_fn(const double* input, double* output, const int32_t* dimensions,
                              const int32_t* taps, const double* widths, int32_t threads);

/* The fastest variant that this build and this processor have, on as many
 * threads as threads_available() allows and the volume's size repays. */
VOXBLUR_INTERNAL void volume_passes(const double* input, double* output,
                                    const int32_t* dimensions, const int32_t* taps,
                                    const double* widths);

/* One line at a time through filter_1d, always on the calling thread: what
 * a build without vector passes runs (the 32-bit x86 files among them), and
 * the oracle for the others. */
VOXBLUR_INTERNAL volume_passes_fn volume_passes_plain;

#if VOXBLUR_VECTORS_X86_64
/* The vector passes with SSE2's two lanes, which every x86-64 CPU has. */
VOXBLUR_INTERNAL volume_passes_fn volume_passes_sse2;
/* The same with 256-bit vectors; call only when cpu_has_avx() says so. */
VOXBLUR_INTERNAL volume_passes_fn volume_passes_avx;
VOXBLUR_INTERNAL int cpu_has_avx(void);
/* The same with 512-bit vectors; call only when cpu_has_avx512() says so. */
VOXBLUR_INTERNAL volume_passes_fn volume_passes_avx512;
VOXBLUR_INTERNAL int cpu_has_avx512(void);
#endif

#if VOXBLUR_VECTORS_NEON
/* The same with NEON's two lanes, which every 64-bit ARM CPU has. */
VOXBLUR_INTERNAL volume_passes_fn volume_passes_neon;
#endif

#if VOXBLUR_VECTORS_X86_64 || VOXBLUR_VECTORS_NEON
/* What the choice of passes reads of the processor: read once per choice
 * (read_processor), so that the rule (choose_passes) is a pure function
 * of it and the kernels, which a table tests away from the processor at
 * hand. */
enum cpu_architecture { cpu_architecture_other, cpu_architecture_x86_64, cpu_architecture_arm64 };
enum cpu_vendor { cpu_vendor_other, cpu_vendor_intel, cpu_vendor_amd };
struct cpu_record {
    enum cpu_architecture architecture;
    enum cpu_vendor vendor;
    int32_t family;     /* CPUID's, the extended family added */
    uint32_t leaf1_ecx; /* CPUID leaf 1's ECX */
    uint32_t leaf7_ebx; /* leaf 7's EBX, 0 where there is no leaf 7 */
    uint64_t xcr0;      /* the register states the system saves, 0 without OSXSAVE */
};
enum passes_kind { passes_plain, passes_sse2, passes_avx, passes_avx512, passes_neon };

/* This processor; on 64-bit ARM only the architecture. */
VOXBLUR_INTERNAL struct cpu_record read_processor(void);

/* The fastest passes that `cpu` runs, for kernels of taps[0..2] taps. */
VOXBLUR_INTERNAL enum passes_kind choose_passes(const struct cpu_record* cpu,
                                                const int32_t* taps);

/* The variant that volume_passes runs on this processor for kernels of
 * these lengths (taps[0..2], as for the passes). */
VOXBLUR_INTERNAL volume_passes_fn* fastest_passes(const int32_t* taps);
#endif

#ifdef __cplusplus
}
#endif

#endif
