#include "exact_arithmetic.h"

#include <stddef.h>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

#include "threads.h"
#include "volume_passes.h"

#if defined(__x86_64__)
extern "C" int cpu_has_avx(void)
{
    /* Also true only when the operating system saves the 256-bit registers. */
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx");
}

/* AVX-512F in the processor (CPUID leaf 7's EBX), and the operating system
 * saving the vector registers' upper halves, the sixteen upper registers
 * and the mask registers (XCR0 bits 1, 2, 5, 6 and 7). XCR0 means nothing
 * unless leaf 1's ECX says OSXSAVE: without it, the state is not saved. */
extern "C" int avx512_usable(uint32_t leaf1_ecx, uint32_t leaf7_ebx, uint64_t xcr0)
{
    const uint64_t avx512_state = 0xe6;
    return (leaf1_ecx & bit_OSXSAVE) && (leaf7_ebx & bit_AVX512F) &&
           (xcr0 & avx512_state) == avx512_state;
}

/* Asked here rather than through __builtin_cpu_supports, whose answer
 * depends on which runtime library (libgcc or compiler-rt, and their
 * versions) the build links. */
extern "C" int cpu_has_avx512(void)
{
    unsigned int eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return 0;
    const uint32_t leaf1_ecx = ecx;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        ebx = 0;
    /* xgetbv is an invalid instruction where OSXSAVE is clear. */
    unsigned int xcr0_low = 0, xcr0_high = 0;
    if (leaf1_ecx & bit_OSXSAVE)
        __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
    return avx512_usable(leaf1_ecx, ebx, (uint64_t)xcr0_high << 32 | xcr0_low);
}

/* AVX-512 pays where the arithmetic outweighs moving the volume. With
 * short kernels it does not on a processor that splits each 512-bit
 * operation into two halves (AMD Zen 4): measured on 256^3 there, it lost
 * 8% to AVX with three 9-tap kernels and 3% with 13-tap ones, against
 * gains of 2 to 8% from 17 taps up. So there AVX-512 runs where the three
 * kernels have this many taps in all. */
static const int32_t avx512_least_taps = 45;

/* Processors with full-width 512-bit units (Intel's, and AMD's from Zen 5,
 * family 26, on) gain from AVX-512 at every kernel length: on Zen 5, 4 to
 * 11% at 9 taps and 22 to 34% at 33. Any other keeps the rule above: the
 * stakes at short kernels are a few per cent either way, and the other
 * vendors' AVX-512 (Centaur's) splits its operations as Zen 4 does. */
extern "C" int avx512_wins(enum cpu_vendor vendor, int32_t family, int32_t taps_sum)
{
    if (vendor == cpu_vendor_intel || (vendor == cpu_vendor_amd && family >= 26))
        return 1;
    return taps_sum >= avx512_least_taps;
}

static enum cpu_vendor processor_vendor(void)
{
    unsigned int highest, ebx, ecx, edx;
    if (!__get_cpuid(0, &highest, &ebx, &ecx, &edx))
        return cpu_vendor_other;
    if (ebx == signature_INTEL_ebx && edx == signature_INTEL_edx && ecx == signature_INTEL_ecx)
        return cpu_vendor_intel;
    if (ebx == signature_AMD_ebx && edx == signature_AMD_edx && ecx == signature_AMD_ecx)
        return cpu_vendor_amd;
    return cpu_vendor_other;
}

/* The family as both vendors number it: the extended family is added to
 * the base family 15. */
static int32_t processor_family(void)
{
    unsigned int eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return 0;
    const int32_t family = (eax >> 8) & 0xf;
    return family == 0xf ? family + ((eax >> 20) & 0xff) : family;
}

extern "C" volume_passes_fn* fastest_passes(const int32_t* taps)
{
    const int32_t taps_sum = taps[0] + taps[1] + taps[2];
    if (cpu_has_avx512() && avx512_wins(processor_vendor(), processor_family(), taps_sum))
        return volume_passes_avx512;
    if (cpu_has_avx())
        return volume_passes_avx;
    return volume_passes_sse2;
}

/* Below about this many voxels per thread, starting and joining the thread
 * costs more than its share of the work saves. */
static const ptrdiff_t voxels_per_thread = (ptrdiff_t)1 << 15;

/* As many threads as are available and the volume repays, at least one. */
static int32_t threads_for(const int32_t* dimensions)
{
    const ptrdiff_t voxels = (ptrdiff_t)dimensions[0] * dimensions[1] * dimensions[2];
    const ptrdiff_t worth = voxels / voxels_per_thread;
    const int32_t available = threads_available();
    if (worth >= available)
        return available;
    return worth > 1 ? (int32_t)worth : 1;
}
#endif

extern "C" void volume_passes(const double* input, double* output, const int32_t* dimensions,
                              const int32_t* taps, const double* widths)
{
#if defined(__x86_64__)
    fastest_passes(taps)(input, output, dimensions, taps, widths, threads_for(dimensions));
#else
    /* Wherever __x86_64__ is not defined: the 32-bit files, which compute
     * in the x87 unit, 64-bit ARM, and Microsoft's compiler for x86-64. */
    volume_passes_plain(input, output, dimensions, taps, widths, 1);
#endif
}
