/* Which passes volume_passes runs: the processor read once into a plain
 * record (read_processor), the choice a pure function of that record and
 * the kernel lengths (choose_passes), and the threads the volume repays. */
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

#if VOXBLUR_VECTORS_X86_64 || VOXBLUR_VECTORS_NEON
namespace {

const uint32_t leaf1_ecx_osxsave = 1u << 27;
const uint32_t leaf1_ecx_avx = 1u << 28;
const uint32_t leaf7_ebx_avx512f = 1u << 16;
/* XCR0 bits 1 and 2: the SSE registers and the AVX registers' upper
 * halves. */
const uint64_t states_avx = 0x6;
/* And bits 5, 6 and 7: the mask registers, the AVX-512 registers' upper
 * halves, the sixteen upper registers. */
const uint64_t states_avx512 = 0xe6;

/* AVX in the processor, and the operating system saving the 256-bit
 * registers. XCR0 means nothing unless leaf 1 says OSXSAVE: without it,
 * no state is saved. */
bool avx_usable(const cpu_record& cpu)
{
    const uint32_t wanted = leaf1_ecx_osxsave | leaf1_ecx_avx;
    return (cpu.leaf1_ecx & wanted) == wanted && (cpu.xcr0 & states_avx) == states_avx;
}

/* AVX-512F in the processor, and the system saving the vector registers'
 * upper halves, the sixteen upper registers and the mask registers. */
bool avx512_usable(const cpu_record& cpu)
{
    return (cpu.leaf1_ecx & leaf1_ecx_osxsave) && (cpu.leaf7_ebx & leaf7_ebx_avx512f) &&
           (cpu.xcr0 & states_avx512) == states_avx512;
}

/* AVX-512 pays where the arithmetic outweighs moving the volume. With
 * short kernels it does not on a processor that splits each 512-bit
 * operation into two halves (AMD Zen 4): measured on 256^3 there, it lost
 * 8% to AVX with three 9-tap kernels and 3% with 13-tap ones, against
 * gains of 2 to 8% from 17 taps up. So there AVX-512 runs where the three
 * kernels have this many taps in all. */
const int32_t avx512_least_taps = 45;

/* Processors with full-width 512-bit units (Intel's, and AMD's from Zen 5,
 * family 26, on) gain from AVX-512 at every kernel length: on Zen 5, 4 to
 * 11% at 9 taps and 22 to 34% at 33. Any other keeps the rule above: the
 * stakes at short kernels are a few per cent either way, and the other
 * vendors' AVX-512 (Centaur's) splits its operations as Zen 4 does. */
bool avx512_wins(const cpu_record& cpu, int32_t taps_sum)
{
    if (cpu.vendor == cpu_vendor_intel || (cpu.vendor == cpu_vendor_amd && cpu.family >= 26))
        return true;
    return taps_sum >= avx512_least_taps;
}

}  // namespace

extern "C" enum passes_kind choose_passes(const struct cpu_record* cpu, const int32_t* taps)
{
    if (cpu->architecture == cpu_architecture_arm64)
        return passes_neon;
    if (cpu->architecture != cpu_architecture_x86_64)
        return passes_plain;
    if (avx512_usable(*cpu) && avx512_wins(*cpu, taps[0] + taps[1] + taps[2]))
        return passes_avx512;
    return avx_usable(*cpu) ? passes_avx : passes_sse2;
}
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
 * xgetbv is an invalid instruction unless CPUID leaf 1 reports OSXSAVE. */
uint64_t saved_states()
{
#if defined(_MSC_VER)
    return _xgetbv(0);
#else
    unsigned int low, high;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (uint64_t)high << 32 | low;
#endif
}

/* "GenuineIntel" and "AuthenticAMD", as leaf 0 returns them in ebx, edx,
 * ecx. */
const unsigned int intel_signature[3] = {0x756e6547, 0x49656e69, 0x6c65746e};
const unsigned int amd_signature[3] = {0x68747541, 0x69746e65, 0x444d4163};

bool is_signature(const unsigned int* leaf0, const unsigned int* signature)
{
    return leaf0[1] == signature[0] && leaf0[3] == signature[1] && leaf0[2] == signature[2];
}

}  // namespace

/* The vendor from leaf 0, the family from leaf 1 (the extended family
 * added to the base family 15, as both vendors number it), the feature
 * words, and XCR0 where leaf 1 says that xgetbv may be run. */
extern "C" struct cpu_record read_processor(void)
{
    unsigned int leaf0[4], leaf1[4], leaf7[4];
    cpu_id(0, 0, leaf0);
    cpu_id(1, 0, leaf1);
    cpu_id(7, 0, leaf7);
    struct cpu_record cpu;
    cpu.architecture = cpu_architecture_x86_64;
    cpu.vendor = is_signature(leaf0, intel_signature) ? cpu_vendor_intel
                 : is_signature(leaf0, amd_signature) ? cpu_vendor_amd
                                                      : cpu_vendor_other;
    const int32_t family = (leaf1[0] >> 8) & 0xf;
    cpu.family = family == 0xf ? family + ((leaf1[0] >> 20) & 0xff) : family;
    cpu.leaf1_ecx = leaf1[2];
    cpu.leaf7_ebx = leaf7[1];
    cpu.xcr0 = leaf1[2] & leaf1_ecx_osxsave ? saved_states() : 0;
    return cpu;
}

/* Asked of the processor itself rather than through
 * __builtin_cpu_supports, which Microsoft's compiler does not have and
 * whose answer depends on which runtime library (libgcc or compiler-rt,
 * and their versions) the build links. */
extern "C" int cpu_has_avx(void)
{
    const struct cpu_record cpu = read_processor();
    return avx_usable(cpu);
}

extern "C" int cpu_has_avx512(void)
{
    const struct cpu_record cpu = read_processor();
    return avx512_usable(cpu);
}

extern "C" volume_passes_fn* fastest_passes(const int32_t* taps)
{
    const struct cpu_record cpu = read_processor();
    switch (choose_passes(&cpu, taps)) {
    case passes_avx512:
        return volume_passes_avx512;
    case passes_avx:
        return volume_passes_avx;
    default:
        return volume_passes_sse2;
    }
}
#elif VOXBLUR_VECTORS_NEON
/* Every 64-bit ARM processor has NEON, and the longer vectors of SVE are
 * not used: nothing to ask. */
extern "C" struct cpu_record read_processor(void)
{
    const struct cpu_record cpu = {cpu_architecture_arm64, cpu_vendor_other, 0, 0, 0, 0};
    return cpu;
}

extern "C" volume_passes_fn* fastest_passes(const int32_t* taps)
{
    const struct cpu_record cpu = read_processor();
    return choose_passes(&cpu, taps) == passes_neon ? volume_passes_neon : volume_passes_plain;
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
