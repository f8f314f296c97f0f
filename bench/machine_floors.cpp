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
            asm volatile("" : "+v"(data[c]));
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

// The empty asm keeps the compiler from seeing a copy and calling memcpy.
template <class V>
__attribute__((always_inline)) inline void copy_in_vectors(const double* in, double* out, size_t n)
{
    const size_t lanes = sizeof(V) / sizeof(double);
    size_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        V v;
        std::memcpy(&v, in + i, sizeof v);
        asm volatile("" : "+v"(v));
        std::memcpy(out + i, &v, sizeof v);
    }
    for (; i < n; ++i)
        out[i] = in[i];
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

__attribute__((target("avx512f"))) void copy_avx512(const double* in, double* out, size_t n)
{
    copy_in_vectors<Avx512>(in, out, n);
}

__attribute__((target("avx"))) void copy_avx(const double* in, double* out, size_t n)
{
    copy_in_vectors<Avx>(in, out, n);
}

void copy_sse2(const double* in, double* out, size_t n)
{
    copy_in_vectors<Sse2>(in, out, n);
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

void stream_copy(const double* in, double* out, size_t n)
{
    if (cpu_has_avx512())
        copy_avx512(in, out, n);
    else if (cpu_has_avx())
        copy_avx(in, out, n);
    else
        copy_sse2(in, out, n);
}
