#include "exact_arithmetic.h"

#include <stddef.h>

#include "threads.h"
#include "volume_passes.h"

#if VOXBLUR_VECTORS_X86_64
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

#if VOXBLUR_VECTORS_X86_64
namespace {

/* CPUID leaf `leaf`, subleaf `sub`, as eax, ebx, ecx, edx; all zero for a
 * leaf beyond the processor's highest. Microsoft's compiler has no
 * <cpuid.h>, GCC no __cpuidex. */
void cpu_id(unsigned int leaf, unsigned int sub, unsigned int registers[4])
{
#if defined(_MSC_VER)
    int values[4];
    __cpuid(values, 0);
    const bool exists = (unsigned int)values[0] >= leaf;
    if (exists)
        __cpuidex(values, (int)leaf, (int)sub);
    for (int r = 0; r < 4; ++r)
        registers[r] = exists ? (unsigned int)values[r] : 0;
#else
    if (!__get_cpuid_count(leaf, sub, &registers[0], &registers[1], &registers[2], &registers[3]))
        registers[0] = registers[1] = registers[2] = registers[3] = 0;
#endif
}

/* Which register states the operating system saves on a switch (XCR0).
 * Only when CPUID leaf 1 reports OSXSAVE may it be asked. */
unsigned long long saved_states()
{
#if defined(_MSC_VER)
    return _xgetbv(0);
#else
    unsigned int low, high;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (unsigned long long)high << 32 | low;
#endif
}

const unsigned int leaf1_ecx_osxsave = 1u << 27;
const unsigned int leaf1_ecx_avx = 1u << 28;
const unsigned int leaf7_ebx_avx512f = 1u << 16;
/* XCR0 bits 1 and 2: the SSE and the AVX registers' upper halves. */
const unsigned long long states_avx = 0x6;
/* And bits 5, 6 and 7: the mask registers, the AVX-512 registers' upper
 * halves, the sixteen upper registers. */
const unsigned long long states_avx512 = 0xe6;

}  // namespace

/* AVX in the processor, and the operating system saving the 256-bit
 * registers. */
extern "C" int cpu_has_avx(void)
{
    unsigned int leaf1[4];
    cpu_id(1, 0, leaf1);
    const unsigned int wanted = leaf1_ecx_osxsave | leaf1_ecx_avx;
    if ((leaf1[2] & wanted) != wanted)
        return 0;
    return (saved_states() & states_avx) == states_avx;
}

/* AVX-512F in the processor, and the operating system saving the vector
 * registers' upper halves, the sixteen upper registers and the mask
 * registers. Asked of the processor itself rather than through
 * __builtin_cpu_supports, whose answer depends on which runtime library
 * (libgcc or compiler-rt, and their versions) the build links, and which
 * Microsoft's compiler does not have. */
extern "C" int cpu_has_avx512(void)
{
    unsigned int leaf1[4];
    cpu_id(1, 0, leaf1);
    if (!(leaf1[2] & leaf1_ecx_osxsave))
        return 0;
    unsigned int leaf7[4];
    cpu_id(7, 0, leaf7);
    if (!(leaf7[1] & leaf7_ebx_avx512f))
        return 0;
    return (saved_states() & states_avx512) == states_avx512;
}

/* AVX-512 pays where the arithmetic outweighs moving the volume. With
 * short kernels it does not, and a processor that splits each 512-bit
 * operation into two halves (AMD Zen 4) then loses a little to AVX:
 * measured on 256^3 there, 8% with three 9-tap kernels and 3% with 13-tap
 * ones, against gains of 2 to 8% from 17 taps up. So AVX-512 runs where
 * the three kernels have this many taps in all. */
static const int32_t avx512_least_taps = 45;

extern "C" volume_passes_fn* fastest_passes(const int32_t* taps)
{
    if (cpu_has_avx512() && taps[0] + taps[1] + taps[2] >= avx512_least_taps)
        return volume_passes_avx512;
    if (cpu_has_avx())
        return volume_passes_avx;
    return volume_passes_sse2;
}
#elif VOXBLUR_VECTORS_NEON
/* Every 64-bit ARM processor has NEON, and the longer vectors of SVE are
 * not used: nothing to ask. */
extern "C" volume_passes_fn* fastest_passes(const int32_t* /* taps */)
{
    return volume_passes_neon;
}
#endif

#if VOXBLUR_VECTORS_X86_64 || VOXBLUR_VECTORS_NEON
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
#if VOXBLUR_VECTORS_X86_64 || VOXBLUR_VECTORS_NEON
    fastest_passes(taps)(input, output, dimensions, taps, widths, threads_for(dimensions));
#else
    /* A processor without vector passes here, one line at a time on the
     * calling thread: the 32-bit x86 builds, which compute in the x87 unit
     * and whose results are their own, any processor other than x86-64
     * and 64-bit ARM, and Microsoft's ARM64EC code (see volume_passes.h). */
    volume_passes_plain(input, output, dimensions, taps, widths, 1);
#endif
}
