/* Parts of one task run side by side on threads of their own. The engine
 * hands work out through run_in_threads and never names a thread library:
 * each build links one implementation.
 *
 *   threads_single.cpp  every part on the calling thread: the MEX files
 *                       whose link properties allow no thread library
 *   threads_posix.cpp   POSIX threads: the Octave builds, what voxblur_build
 *                       makes on Linux and macOS, tests, benchmark
 *   threads_win32.cpp   the Windows kernel's own threads (KERNEL32 only)
 *
 * A worker runs engine code only: no host call, no allocation. Whatever it
 * needs it finds in the context or on its own stack, which is
 * thread_stack_size bytes. */
#ifndef VOXBLUR_THREADS_H
#define VOXBLUR_THREADS_H

#include <stdint.h>

#include "volume_passes.h"

/* At most this many threads per call, the calling thread included (also
 * the most handles one wait on Windows can take). */
const int32_t max_threads = 64;
/* Each worker's stack: room for the passes' work area (work_capacity
 * doubles, 128 KiB) many times over, and for what sanitizers add to every
 * frame. */
const uint32_t thread_stack_size = 1u << 20;

#ifdef __cplusplus
extern "C" {
#endif

typedef void thread_part_fn(void* context, int32_t part);

/* Runs run_part(context, p) for p = 0 .. parts - 1 and returns when every
 * one has finished. Part 0 runs on the calling thread and the others each
 * on a thread of its own (beyond max_threads, thread t also takes parts
 * t + max_threads, ...). A thread that cannot be started leaves its parts
 * to the calling thread: fewer threads, the same result. */
VOXBLUR_INTERNAL void run_in_threads(int32_t parts, thread_part_fn* run_part, void* context);

/* How many threads a call may use: VOXBLUR_THREADS when it holds a whole
 * number of at least 1, else the processors this process may run on; at
 * most max_threads. Always 1 where threads_single.cpp is linked. */
VOXBLUR_INTERNAL int32_t threads_available(void);

#ifdef __cplusplus
}
#endif

/* One thread's share of run_in_threads: parts first, first + step, ...
 * below parts. */
struct ThreadWorker {
    thread_part_fn* run_part;
    void* context;
    int32_t first;
    int32_t step;
    int32_t parts;
};

static inline void run_worker_parts(const ThreadWorker* worker)
{
    for (int32_t part = worker->first; part < worker->parts; part += worker->step)
        worker->run_part(worker->context, part);
}

/* run_in_threads over a thread library, which lends two calls:
 * threads.start(workers, count, started) starts workers[1 .. count - 1]
 * each on a thread of its own and sets started[t] for those it could;
 * threads.join(started, count) waits for every one it started. The parts
 * are shared out one thread per part up to max_threads; worker 0, and each
 * worker whose thread did not start, runs on the calling thread before the
 * join. */
template <class Threads>
void run_parts_on(Threads& threads, int32_t parts, thread_part_fn* run_part, void* context)
{
    ThreadWorker workers[max_threads];
    bool started[max_threads] = {};
    const int32_t count = parts <= 0 ? 0 : parts < max_threads ? parts : max_threads;
    for (int32_t t = 0; t < count; ++t)
        workers[t] = ThreadWorker{run_part, context, t, count, parts};
    if (count > 1)
        threads.start(workers, count, started);
    for (int32_t t = 0; t < count; ++t)
        if (!started[t])
            run_worker_parts(&workers[t]);
    threads.join(started, count);
}

/* VOXBLUR_THREADS as a count of threads, capped at max_threads; 0 when it
 * is unset, empty, or not all digits. Parsed here rather than with strtol,
 * which the Windows build would import from its C runtime. */
static inline int32_t parse_thread_count(const char* text)
{
    if (!text || !*text)
        return 0;
    int32_t count = 0;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9')
            return 0;
        count = count * 10 + (*text - '0');
        if (count > max_threads)
            count = max_threads;
    }
    return count;
}

#endif
