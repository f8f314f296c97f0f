// Prints which vector passes the engine's run-time choice takes on this
// processor, as the MEX file built with it would: "avx512", "avx" or "sse2".
#include <cstdio>

#include "volume_passes.h"

int main()
{
    std::puts(cpu_has_avx512() ? "avx512" : cpu_has_avx() ? "avx" : "sse2");
    return 0;
}
