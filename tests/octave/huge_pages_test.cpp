// Which part of a block the .oct asks huge pages for, and that the request
// reaches the system on Linux.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "huge_pages.h"

namespace {

const uintptr_t M = huge_page_bytes;

struct InteriorCase {
    const char* name;
    uintptr_t start;
    size_t bytes;
    uintptr_t begin;  // 0 with length 0: none
    size_t length;
};

const InteriorCase interior_cases[] = {
    {"one aligned page", 5 * M, M, 5 * M, M},
    {"aligned, a byte short of a page", 5 * M, M - 1, 0, 0},
    {"empty block", 5 * M + 16, 0, 0, 0},
    {"a byte past a boundary, ending on the next but one", 5 * M + 1, 2 * M - 1, 6 * M, M},
    {"a byte past a boundary, a byte short of that", 5 * M + 1, 2 * M - 2, 0, 0},
    {"ends one byte into a page", 5 * M, 3 * M + 1, 5 * M, 3 * M},
    // As malloc hands out a mapped block: 16 bytes after a page boundary.
    {"128 MiB after a 16-byte header", 0x7f0000000010u, 64 * M, 0x7f0000200000u, 63 * M},
    {"ends at the top of the address space", UINTPTR_MAX - 3 * M + 6, 3 * M - 5,
     UINTPTR_MAX - 2 * M + 1, 2 * M},
};

TEST(HugePages, InteriorIsTheWholePagesInsideTheBlock)
{
    for (const InteriorCase& c : interior_cases) {
        const huge_page_span span = huge_page_interior(c.start, c.bytes);
        EXPECT_EQ(span.begin, c.begin) << c.name;
        EXPECT_EQ(span.length, c.length) << c.name;
    }
}

#if defined(__linux__)
// The memory map's entry that starts at `begin`: its end and its flags.
bool find_mapping(uintptr_t begin, uintptr_t* end, std::string* flags)
{
    std::ifstream maps("/proc/self/smaps");
    std::string line;
    bool found = false;
    while (std::getline(maps, line)) {
        uintptr_t from = 0, to = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> from >> dash >> to && dash == '-') {
            found = from == begin;
            if (found)
                *end = to;
        } else if (found && line.rfind("VmFlags:", 0) == 0) {
            *flags = line + " ";
            return true;
        }
    }
    return false;
}

TEST(HugePages, AdviceMarksExactlyTheInterior)
{
    const size_t count = 3 * M / sizeof(double) + 5;
    std::allocator<double> allocator;
    double* block = allocator.allocate(count);
    const huge_page_span span = huge_page_interior((uintptr_t)block, count * sizeof(double));
    ASSERT_GE(span.length, M) << "a block of 3 pages and 40 bytes holds at least one";

    advise_huge_pages(block, count * sizeof(double));
    uintptr_t end = 0;
    std::string flags;
    const bool mapped = find_mapping(span.begin, &end, &flags);
    allocator.deallocate(block, count);
    ASSERT_TRUE(mapped) << "no mapping starts at the interior's first page";
    EXPECT_EQ(end, span.begin + span.length);
    EXPECT_NE(flags.find(" hg "), std::string::npos) << flags;
}

// The 4 KiB pages of begin .. end - 1 that are in memory, of how many.
size_t resident_pages(uintptr_t begin, uintptr_t end, size_t* pages)
{
    *pages = (end - begin) / 4096;
    std::unique_ptr<unsigned char[]> in_memory(new unsigned char[*pages + 1]);
    if (*pages == 0 || mincore((void*)begin, end - begin, in_memory.get()) != 0)
        return 0;
    size_t resident = 0;
    for (size_t p = 0; p < *pages; ++p)
        resident += in_memory[p] & 1;
    return resident;
}

TEST(HugePages, ThePagesAroundTheInteriorAreMappedAtOnce)
{
    const size_t bytes = 7 * M / 2;
    std::allocator<char> allocator;
    char* block = allocator.allocate(bytes);
    const uintptr_t start = (uintptr_t)block;
    const huge_page_span span = huge_page_interior(start, bytes);
    const uintptr_t head = (start + 4095) / 4096 * 4096;
    const uintptr_t tail = (start + bytes) / 4096 * 4096;

    advise_huge_pages(block, bytes);
    size_t head_pages, tail_pages;
    const size_t head_resident = resident_pages(head, span.begin, &head_pages);
    const size_t tail_resident = resident_pages(span.begin + span.length, tail, &tail_pages);
    allocator.deallocate(block, bytes);
    ASSERT_GT(head_pages + tail_pages, 0u) << "half a huge page lies outside the interior";
    EXPECT_EQ(head_resident, head_pages);
    EXPECT_EQ(tail_resident, tail_pages);
}
#endif

}  // namespace
