// run_in_threads and threads_available as voxblur.mexw64 links them (the
// Windows kernel's threads), for a run under wine: every part runs once,
// five parts at the same time, and VOXBLUR_THREADS is read. Prints what
// failed and exits 1, or exits 0.
#include <windows.h>

#include <cstdio>

#include "threads.h"

namespace {

volatile LONG runs[160];
volatile LONG arrived;
volatile LONG met;
const LONG meeting_size = 5;

void count_part(void*, int32_t part)
{
    InterlockedIncrement(&runs[part]);
}

// Waits until all five parts have started (10 s at most): only parts on
// threads of their own, running at once, get past it.
void meet(void*, int32_t)
{
    InterlockedIncrement(&arrived);
    const DWORD start = GetTickCount();
    while (arrived < meeting_size && GetTickCount() - start < 10000)
        Sleep(0);
    if (arrived == meeting_size)
        InterlockedIncrement(&met);
}

int failures = 0;

void expect(bool ok, const char* what, long value)
{
    if (!ok) {
        std::printf("FAIL: %s (%ld)\n", what, value);
        ++failures;
    }
}

}  // namespace

int main()
{
    run_in_threads(150, count_part, nullptr);
    for (int p = 0; p < 160; ++p)
        expect(runs[p] == (p < 150 ? 1 : 0), "150 parts: each run once", p);

    run_in_threads(meeting_size, meet, nullptr);
    expect(met == meeting_size, "five parts at the same time: parts that met", met);

    SetEnvironmentVariableA("VOXBLUR_THREADS", "3");
    expect(threads_available() == 3, "VOXBLUR_THREADS=3", threads_available());
    SetEnvironmentVariableA("VOXBLUR_THREADS", "1000");
    expect(threads_available() == max_threads, "VOXBLUR_THREADS=1000", threads_available());
    SetEnvironmentVariableA("VOXBLUR_THREADS", nullptr);
    expect(threads_available() >= 1, "unset: the processors", threads_available());
    return failures == 0 ? 0 : 1;
}
