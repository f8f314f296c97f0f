/* Transparent huge pages for a fresh result or work volume (voxblur.oct's
 * and voxsmooth.oct's results, the smoothed mask of smooth_volumes). A large block comes straight
 * from the operating system, which maps it a 4 KiB page at a time on first
 * write: 32,768 faults for a 256 x 256 x 256 result, each dear in a virtual
 * machine, and as many again to unmap it. Where transparent huge pages are
 * left to each program (Debian's default, "madvise"), asking for them
 * before the first write maps the block 2 MiB at a time. Only whole 2 MiB
 * pages inside the block are asked for: a page that reaches past it would
 * change memory the block does not own. */
#ifndef VOXBLUR_HUGE_PAGES_H
#define VOXBLUR_HUGE_PAGES_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#if defined(__linux__)
#include <sys/mman.h>
#endif

/* The size and alignment of an x86-64 huge page. */
const uintptr_t huge_page_bytes = (uintptr_t)1 << 21;

/* Bytes from `address` to the next huge page boundary, 0 on one. */
inline uintptr_t huge_page_lead(uintptr_t address)
{
    return (huge_page_bytes - address % huge_page_bytes) % huge_page_bytes;
}

/* The whole huge pages inside `bytes` bytes from `start`: `length` bytes
 * from `begin`, none (length 0) when the block holds no whole one. Written
 * so that no sum passes the block's end, which exists. */
struct huge_page_span {
    uintptr_t begin;
    size_t length;
};

inline huge_page_span huge_page_interior(uintptr_t start, size_t bytes)
{
    const uintptr_t lead = huge_page_lead(start);
    huge_page_span span = {0, 0};
    if (lead >= bytes)
        return span;
    span.length = (bytes - lead) / huge_page_bytes * huge_page_bytes;
    if (span.length > 0)
        span.begin = start + lead;
    return span;
}

/* Maps the whole 4 KiB pages of begin .. end - 1 now, in one call, as
 * writing them would one fault at a time (Linux 5.14 on; older systems
 * refuse it, and the pages fault as before). */
inline void populate_pages(uintptr_t begin, uintptr_t end)
{
#if defined(__linux__)
    const uintptr_t page = 4096;
    const uintptr_t first = (begin + page - 1) / page * page;
    const uintptr_t last = end / page * page;
    if (first < last)
        (void)madvise((void*)first, last - first, 23 /* MADV_POPULATE_WRITE */);
#else
    (void)begin;
    (void)end;
#endif
}

/* Asks for huge pages in the interior of a block nothing has written yet,
 * and maps the pages before and after them: they are mapped 4 KiB at a
 * time, up to 511 faults at either end, which cost a 256 x 256 x 256
 * single result a quarter of its time in a virtual machine. Advice only: a
 * system without huge pages, or one that refuses, maps the block as
 * before, so a failure is ignored. */
inline void advise_huge_pages(void* block, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const uintptr_t start = (uintptr_t)block;
    const huge_page_span span = huge_page_interior(start, bytes);
    if (span.length == 0)
        return;
    (void)madvise((void*)span.begin, span.length, MADV_HUGEPAGE);
    populate_pages(start, span.begin);
    populate_pages(span.begin + span.length, start + bytes);
#else
    (void)block;
    (void)bytes;
#endif
}

/* `bytes` from malloc, from a huge page on and in huge pages where the
 * system has them, so that none of it is mapped 4 KiB at a time (malloc's
 * large blocks begin 16 bytes past a page); null when they cannot be had.
 * *allocated is what free frees. Pages are first touched by whoever writes
 * them first. */
inline void* huge_page_block(size_t bytes, void** allocated)
{
    *allocated = 0;
    if (bytes > (size_t)-1 - huge_page_bytes || !(*allocated = malloc(bytes + huge_page_bytes)))
        return 0;
    char* block = (char*)*allocated + huge_page_lead((uintptr_t)*allocated);
    advise_huge_pages(block, bytes);
    return block;
}

#endif
