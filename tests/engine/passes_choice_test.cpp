// Which vector passes the engine runs, decided from the values the
// processor reports, away from the processor at hand.
#include <gtest/gtest.h>

#include "volume_passes.h"

#if defined(__x86_64__)
namespace {

const uint32_t osxsave = 1u << 27;       // CPUID leaf 1, ECX
const uint32_t avx512f = 1u << 16;       // CPUID leaf 7, EBX
const uint64_t avx_state = 0x07;         // XCR0: x87, SSE and AVX registers
const uint64_t avx512_state = 0xe7;      // ... and the mask and upper ZMM ones

TEST(PassesChoice, Avx512OnlyWhereTheProcessorHasItAndTheSystemSavesItsState)
{
    const struct {
        uint32_t leaf1_ecx, leaf7_ebx;
        uint64_t xcr0;
        int usable;
    } cases[] = {
        {osxsave, avx512f, avx512_state, 1},
        {osxsave, avx512f, avx_state, 0},
        {osxsave, 0, avx512_state, 0},
        {0, avx512f, avx512_state, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(avx512_usable(c.leaf1_ecx, c.leaf7_ebx, c.xcr0), c.usable)
            << std::hex << "ECX " << c.leaf1_ecx << ", EBX " << c.leaf7_ebx << ", XCR0 " << c.xcr0;
}

TEST(PassesChoice, Avx512AtEveryLengthOnFullWidthUnitsElseFrom45TapsInAll)
{
    const struct {
        cpu_vendor vendor;
        int32_t family, taps_sum;
        int wins;
    } cases[] = {
        {cpu_vendor_intel, 6, 27, 1},   // Xeon since Skylake-SP
        {cpu_vendor_amd, 26, 27, 1},    // Zen 5
        {cpu_vendor_amd, 27, 27, 1},
        {cpu_vendor_amd, 25, 43, 0},    // Zen 4
        {cpu_vendor_amd, 25, 45, 1},
        {cpu_vendor_other, 26, 43, 0},
        {cpu_vendor_other, 26, 45, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(avx512_wins(c.vendor, c.family, c.taps_sum), c.wins)
            << "vendor " << c.vendor << ", family " << c.family << ", " << c.taps_sum << " taps";
}

}  // namespace
#endif
