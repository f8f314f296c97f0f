/* run_in_threads over the Windows kernel's own threads (CreateThread,
 * KERNEL32 only), started for the call and all waited for before it
 * returns. */
#include "exact_arithmetic.h"

#include <windows.h>

#include "threads.h"

namespace {

DWORD WINAPI worker_main(LPVOID worker)
{
    run_worker_parts(static_cast<const ThreadWorker*>(worker));
    return 0;
}

/* The started threads' handles, all waited for at once. */
struct WindowsThreads {
    HANDLE handles[max_threads];
    DWORD handle_count = 0;

    void start(ThreadWorker* workers, int32_t count, bool* started)
    {
        for (int32_t t = 1; t < count; ++t) {
            HANDLE handle = CreateThread(nullptr, thread_stack_size, worker_main, &workers[t],
                                         STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
            started[t] = handle != nullptr;
            if (handle)
                handles[handle_count++] = handle;
        }
    }

    void join(const bool*, int32_t)
    {
        if (handle_count > 0)
            WaitForMultipleObjects(handle_count, handles, TRUE, INFINITE);
        for (DWORD i = 0; i < handle_count; ++i)
            CloseHandle(handles[i]);
    }
};

}  // namespace

extern "C" void run_in_threads(int32_t parts, thread_part_fn* run_part, void* context)
{
    WindowsThreads threads;
    run_parts_on(threads, parts, run_part, context);
}

extern "C" int32_t threads_available(void)
{
    char text[16];
    const DWORD length = GetEnvironmentVariableA("VOXBLUR_THREADS", text, sizeof text);
    const int32_t asked = length > 0 && length < sizeof text ? parse_thread_count(text) : 0;
    if (asked > 0)
        return asked;
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0)
        return 1;
    int32_t processors = 0;
    for (; process != 0; process &= process - 1)
        ++processors;
    return processors < max_threads ? processors : max_threads;
}
