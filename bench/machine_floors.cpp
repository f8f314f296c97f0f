// The floors, in GCC's vector types: each routine below is compiled for
// its instruction set and run only where volume_passes.h says the processor
// and system have it. Built with the project's -ffp-contract=off, so a
// multiply and the add after it stay two instructions, as in the passes.
#include "machine_floors.h"

#include <cstring>

#include "volume_passes.h"

namespace {

typedef double Sse2 __attribute__((vector_size(16)));
typedef double Avx __attribute__((vector_size(32)));
typedef double Avx512 __attribute__((vector_size(64)));

volatile double sink;

// An empty asm through which the compiler must assume the vector changed.
// GCC keeps the vector in its register for it. Clang checks a vector
// operand's size against the instruction set of the template that holds
// the asm, which has no 256- or 512-bit registers, so there the asm takes
// the vector's address and clobbers memory: a store and a load more each
// time, in a build whose floors are not the ones quoted.
#if defined(__clang__)
#define KEEP_OPAQUE(v) asm volatile("" : : "r"(&(v)) : "memory")
#else
#define KEEP_OPAQUE(v) asm volatile("" : "+v"(v))
#endif

// `chains` sums, each taking `taps` products per round, so that enough adds
// are in flight to hide their latency; chains * 2 + taps vectors fit the
// registers. The empty asm tells the compiler each round's data may have
// changed, so it can neither hoist the products out of the loop nor drop
// them, and costs nothing.
template <class V, int chains, int taps>
__attribute__((always_inline)) inline int64_t pairs_in_registers(int64_t rounds)
{
    const int lanes = sizeof(V) / sizeof(double);
    V sum[chains], data[chains], tap[taps];
#pragma GCC unroll 16
    for (int c = 0; c < chains; ++c) {
        sum[c] = V{} + 0.0;
        data[c] = V{} + (1.0 + c / 64.0);
    }
#pragma GCC unroll 16
    for (int t = 0; t < taps; ++t)
        tap[t] = V{} + 0.5 / (t + 1);
    for (int64_t r = 0; r < rounds; ++r) {
#pragma GCC unroll 16
        for (int c = 0; c < chains; ++c)
            KEEP_OPAQUE(data[c]);
#pragma GCC unroll 16
        for (int t = 0; t < taps; ++t)
#pragma GCC unroll 16
            for (int c = 0; c < chains; ++c)
                sum[c] = sum[c] + tap[t] * data[c];
    }
    double total = 0.0;
    for (int c = 0; c < chains; ++c)
        for (int l = 0; l < lanes; ++l)
            total += sum[c][l];
    sink = total;
    return rounds * chains * taps * lanes;
}

// The empty asm keeps the compiler from seeing that each sample is stored
// unchanged and dropping the loop.
template <class V>
__attribute__((always_inline)) inline void rewrite_in_vectors(double* volume, size_t n)
{
    const size_t lanes = sizeof(V) / sizeof(double);
    size_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        V v;
        std::memcpy(&v, volume + i, sizeof v);
        KEEP_OPAQUE(v);
        std::memcpy(volume + i, &v, sizeof v);
    }
    for (; i < n; ++i)
        asm volatile("" : "+m"(volume[i]));
}

__attribute__((target("avx512f"))) int64_t pairs_avx512(int64_t rounds)
{
    return pairs_in_registers<Avx512, 8, 4>(rounds);
}

__attribute__((target("avx"))) int64_t pairs_avx(int64_t rounds)
{
    return pairs_in_registers<Avx, 6, 2>(rounds);
}

int64_t pairs_sse2(int64_t rounds)
{
    return pairs_in_registers<Sse2, 6, 2>(rounds);
}

__attribute__((target("avx512f"))) void rewrite_avx512(double* volume, size_t n)
{
    rewrite_in_vectors<Avx512>(volume, n);
}

__attribute__((target("avx"))) void rewrite_avx(double* volume, size_t n)
{
    rewrite_in_vectors<Avx>(volume, n);
}

void rewrite_sse2(double* volume, size_t n)
{
    rewrite_in_vectors<Sse2>(volume, n);
}

}  // namespace

const char* widest_vector()
{
    return cpu_has_avx512() ? "avx512" : cpu_has_avx() ? "avx" : "sse2";
}

int64_t multiply_add_pairs(int64_t rounds)
{
    if (cpu_has_avx512())
        return pairs_avx512(rounds);
    if (cpu_has_avx())
        return pairs_avx(rounds);
    return pairs_sse2(rounds);
}

void stream_in_place(double* volume, size_t n)
{
    if (cpu_has_avx512())
        rewrite_avx512(volume, n);
    else if (cpu_has_avx())
        rewrite_avx(volume, n);
    else
        rewrite_sse2(volume, n);
}
