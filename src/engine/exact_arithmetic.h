/* The engine's arithmetic, whatever flags a build passes (short of
 * -ffast-math): every product and sum rounded to its type (double, or
 * float for smooth_volume's float results) on its own, in the order
 * written. Left to themselves, compilers fuse a product and the sum it
 * feeds into one fused multiply-add, rounded once, wherever the processor
 * has one: GCC by default outside strict ISO mode, Clang within an
 * expression by default, both everywhere with -ffp-contract=fast. That
 * changes the last bits of results on 64-bit ARM (every Apple silicon Mac)
 * and on x86-64 built for a processor with FMA. Our CMake build passes
 * -ffp-contract=off as well, but the mex command of MATLAB or Octave does
 * not.
 *
 * Every engine source includes this header before anything else: the
 * pragmas hold for everything after them in the translation unit, the
 * inline functions and vector intrinsics of the system headers included. */
#ifndef VOXBLUR_EXACT_ARITHMETIC_H
#define VOXBLUR_EXACT_ARITHMETIC_H

#if defined(__clang__)
/* Under -ffp-contract=fast Clang's code generator fuses past the contract
 * pragma; it never fuses operations that may trap, though, which is what
 * the third pragma makes them (on x86, where Clang supports it; elsewhere
 * Clang contracts only what the second pragma forbids). */
#pragma clang fp reassociate(off)
#pragma clang fp contract(off)
#pragma clang fp exceptions(maytrap)
#elif defined(__GNUC__)
/* GCC ignores #pragma STDC FP_CONTRACT; this sets the options of every
 * function defined after it. */
#pragma GCC optimize("fp-contract=off", "no-unsafe-math-optimizations")
#elif defined(_MSC_VER)
#pragma float_control(precise, on)
#pragma fp_contract(off)
#endif

#endif
