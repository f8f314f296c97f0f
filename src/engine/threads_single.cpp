/* run_in_threads without threads, for the MEX files whose link properties
 * name no thread library: every part in turn on the calling thread. */
#include "exact_arithmetic.h"

#include "threads.h"

extern "C" void run_in_threads(int32_t parts, thread_part_fn* run_part, void* context)
{
    for (int32_t part = 0; part < parts; ++part)
        run_part(context, part);
}

extern "C" int32_t threads_available(void)
{
    return 1;
}
