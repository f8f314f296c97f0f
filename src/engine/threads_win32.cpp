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

}  // namespace

extern "C" void run_in_threads(int32_t parts, thread_part_fn* run_part, void* context)
{
    ThreadWorker workers[max_threads];
    const int32_t threads = share_parts(parts, run_part, context, workers);
    if (threads == 0)
        return;
    HANDLE handles[max_threads];
    DWORD started = 0;
    /* Started threads take the first handles; a part whose thread did not
     * start runs here. */
    int32_t left_over[max_threads];
    int32_t left_overs = 0;
    for (int32_t t = 1; t < threads; ++t) {
        HANDLE handle = CreateThread(nullptr, thread_stack_size, worker_main, &workers[t],
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        if (handle)
            handles[started++] = handle;
        else
            left_over[left_overs++] = t;
    }

    run_worker_parts(&workers[0]);
    for (int32_t i = 0; i < left_overs; ++i)
        run_worker_parts(&workers[left_over[i]]);
    if (started > 0)
        WaitForMultipleObjects(started, handles, TRUE, INFINITE);
    for (DWORD i = 0; i < started; ++i)
        CloseHandle(handles[i]);
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
