// Prints which vector passes the engine's run-time choice takes on this
// processor, as the MEX file built with it would, for three 9-tap kernels
// and for three 33-tap ones: "avx512", "avx" or "sse2" each.
#include <cstdio>

#include "volume_passes.h"

namespace {

const char* choice_for(int32_t length)
{
    const int32_t taps[3] = {length, length, length};
    volume_passes_fn* passes = fastest_passes(taps);
    return passes == volume_passes_avx512 ? "avx512" : passes == volume_passes_avx ? "avx" : "sse2";
}

}  // namespace

int main()
{
    std::printf("%s %s\n", choice_for(9), choice_for(33));
    return 0;
}
