#include "exact_arithmetic.h"

#include <stdlib.h>

#include "smooth_work.h"

extern "C" {
void* (*smooth_allocate)(size_t bytes) = malloc;
}

bool take_work(WorkBlock* block, size_t bytes)
{
    const size_t padded = add_bytes(bytes, work_alignment);
    block->allocated = padded == SIZE_MAX ? nullptr : smooth_allocate(padded);
    if (!block->allocated)
        return false;
    const uintptr_t start = (uintptr_t)block->allocated;
    block->next = static_cast<char*>(block->allocated) +
                  (work_alignment - start % work_alignment) % work_alignment;
    return true;
}

void give_back_work(WorkBlock* block)
{
    free(block->allocated);
    block->allocated = nullptr;
}
