#include "exact_arithmetic.h"

#include <stdlib.h>

#include "smooth_work.h"

extern "C" {
void* (*smooth_allocate)(size_t bytes) = malloc;
}

char* take_work(size_t bytes, void** allocated)
{
    const size_t padded = add_bytes(bytes, work_alignment);
    *allocated = padded == SIZE_MAX ? nullptr : smooth_allocate(padded);
    if (!*allocated)
        return nullptr;
    const uintptr_t start = (uintptr_t)*allocated;
    return static_cast<char*>(*allocated) +
           (work_alignment - start % work_alignment) % work_alignment;
}

void give_back_work(void* allocated)
{
    free(allocated);
}
