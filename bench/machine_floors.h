// What one core of this machine can do at best, for the benchmark to
// measure each variant against: multiply-add pairs in the widest vectors
// it has, and a stream that reads the volume once and writes it once.
#ifndef VOXBLUR_MACHINE_FLOORS_H
#define VOXBLUR_MACHINE_FLOORS_H

#include <cstddef>
#include <cstdint>

// The widest vectors this processor and system run: "avx512", "avx" or
// "sse2".
const char* widest_vector();

// Runs `rounds` rounds of independent multiply-then-add pairs, as the
// passes do them (a multiply, rounded, then an add), in the widest vectors,
// from registers only. Returns the number of pairs, counting each lane.
int64_t multiply_add_pairs(int64_t rounds);

// Reads n doubles and writes each back where it was, with ordinary vector
// loads and stores of the widest kind, as the y and z passes move their
// samples: the least traffic that reads and writes the volume once (a copy
// into another block would also read that block's lines before writing
// them).
void stream_in_place(double* volume, size_t n);

#endif
