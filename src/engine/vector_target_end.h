/* Ends the instruction set that vector_avx.h or vector_avx512.h began for
 * the rest of a source: Clang wants every push popped within its file.
 * Deliberately without an include guard. */
#if defined(__clang__)
#pragma clang attribute pop
#elif defined(__GNUC__)
#pragma GCC pop_options
#endif
