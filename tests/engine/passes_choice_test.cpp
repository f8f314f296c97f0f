// Which vector passes the engine runs, decided from a record of what the
// processor reports, away from the processor at hand: one row per outcome
// and per fallback.
#include <gtest/gtest.h>

#include "volume_passes.h"

#if VOXBLUR_VECTORS_X86_64 || VOXBLUR_VECTORS_NEON
namespace {

const uint32_t osxsave = 1u << 27;       // CPUID leaf 1, ECX
const uint32_t avx = 1u << 28;           // CPUID leaf 1, ECX
const uint32_t avx512f = 1u << 16;       // CPUID leaf 7, EBX
const uint64_t sse_state = 0x03;         // XCR0: x87 and SSE registers
const uint64_t avx_state = 0x07;         // ... and the AVX registers' upper halves
const uint64_t avx512_state = 0xe7;      // ... and the mask and upper ZMM ones

const cpu_architecture x86 = cpu_architecture_x86_64;
const uint32_t with_avx = osxsave | avx;

TEST(PassesChoice, OneRulePerRecordAndKernels)
{
    const struct {
        const char* what;
        cpu_record cpu;
        int32_t taps_sum;
        passes_kind chosen;
    } cases[] = {
        {"not x86-64 or ARM", {cpu_architecture_other, cpu_vendor_intel, 6, with_avx, avx512f, avx512_state}, 27, passes_plain},
        {"64-bit ARM", {cpu_architecture_arm64, cpu_vendor_other, 0, 0, 0, 0}, 27, passes_neon},
        {"x86-64 without AVX", {x86, cpu_vendor_intel, 6, osxsave, 0, sse_state}, 27, passes_sse2},
        {"AVX, system without xsave", {x86, cpu_vendor_intel, 6, avx, avx512f, 0}, 27, passes_sse2},
        {"AVX, system saves SSE only", {x86, cpu_vendor_intel, 6, with_avx, 0, sse_state}, 27, passes_sse2},
        {"AVX", {x86, cpu_vendor_amd, 23, with_avx, 0, avx_state}, 99, passes_avx},
        {"AVX-512, system saves AVX only", {x86, cpu_vendor_intel, 6, with_avx, avx512f, avx_state}, 27, passes_avx},
        {"Intel AVX-512", {x86, cpu_vendor_intel, 6, with_avx, avx512f, avx512_state}, 27, passes_avx512},
        {"Zen 5", {x86, cpu_vendor_amd, 26, with_avx, avx512f, avx512_state}, 27, passes_avx512},
        {"after Zen 5", {x86, cpu_vendor_amd, 27, with_avx, avx512f, avx512_state}, 27, passes_avx512},
        {"Zen 4, short kernels", {x86, cpu_vendor_amd, 25, with_avx, avx512f, avx512_state}, 43, passes_avx},
        {"Zen 4, 45 taps", {x86, cpu_vendor_amd, 25, with_avx, avx512f, avx512_state}, 45, passes_avx512},
        {"other vendor, short", {x86, cpu_vendor_other, 26, with_avx, avx512f, avx512_state}, 43, passes_avx},
        {"other vendor, 45 taps", {x86, cpu_vendor_other, 26, with_avx, avx512f, avx512_state}, 45, passes_avx512},
    };
    for (const auto& c : cases) {
        const int32_t taps[3] = {c.taps_sum - 2, 1, 1};
        EXPECT_EQ(choose_passes(&c.cpu, taps), c.chosen) << c.what;
    }
}

// The record read here is this processor's, and the passes run for it are
// the rule's choice.
TEST(PassesChoice, TheProcessorIsReadIntoTheRecordTheRuleTakes)
{
    const cpu_record cpu = read_processor();
    const int32_t taps[3] = {9, 9, 9};
    const passes_kind chosen = choose_passes(&cpu, taps);
#if VOXBLUR_VECTORS_X86_64
    EXPECT_EQ(cpu.architecture, cpu_architecture_x86_64);
    volume_passes_fn* const by_kind[] = {nullptr, volume_passes_sse2, volume_passes_avx,
                                         volume_passes_avx512};
#else
    EXPECT_EQ(cpu.architecture, cpu_architecture_arm64);
    volume_passes_fn* const by_kind[] = {nullptr, nullptr, nullptr, nullptr, volume_passes_neon};
#endif
    EXPECT_EQ(fastest_passes(taps), by_kind[chosen]);
}

}  // namespace
#endif
