/* run_in_threads over POSIX threads, started for the call and joined
 * before it returns: nothing outlives the call, so a host may unload the
 * library between calls. */
#include "exact_arithmetic.h"

#define VOXBLUR_THREAD_CALLS
#include "oldest_glibc.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>
#if defined(VOXBLUR_OLDEST_GLIBC)
#include <sys/syscall.h>
#endif

#include "threads.h"

namespace {

/* The processors this process may run on, 0 when that cannot be told. */
long processors_allowed()
{
#if defined(VOXBLUR_OLDEST_GLIBC) && defined(SYS_sched_getaffinity)
    /* The system call itself: glibc's sched_getaffinity and CPU_COUNT are
     * newer than the oldest systems these builds load on. It fills the
     * bytes of the mask it knows of and returns their number. */
    unsigned char mask[128] = {};
    const long bytes = syscall(SYS_sched_getaffinity, 0, sizeof mask, mask);
    long count = 0;
    for (long i = 0; i < bytes && i < (long)sizeof mask; ++i)
        for (unsigned bits = mask[i]; bits; bits &= bits - 1)
            ++count;
    return count;
#elif defined(CPU_COUNT)
    /* Linux (and a few others) tell which processors this process may run
     * on, as taskset or a batch system restricts them. */
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        return CPU_COUNT(&allowed);
    return 0;
#else
    return 0;
#endif
}

void* worker_main(void* worker)
{
    run_worker_parts(static_cast<const ThreadWorker*>(worker));
    return nullptr;
}

struct PosixThreads {
    pthread_t ids[max_threads];

    void start(ThreadWorker* workers, int32_t count, bool* started)
    {
        pthread_attr_t attributes;
        if (pthread_attr_init(&attributes) != 0)
            return;
        /* Signals stay with the host's own threads (Ctrl-C in Octave): the
         * workers start with all of them blocked. */
        sigset_t all, previous;
        sigfillset(&all);
        const bool masked = pthread_sigmask(SIG_SETMASK, &all, &previous) == 0;
        if (pthread_attr_setstacksize(&attributes, thread_stack_size) == 0)
            for (int32_t t = 1; t < count; ++t)
                started[t] = pthread_create(&ids[t], &attributes, worker_main, &workers[t]) == 0;
        if (masked)
            pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        pthread_attr_destroy(&attributes);
    }

    void join(const bool* started, int32_t count)
    {
        for (int32_t t = 1; t < count; ++t)
            if (started[t])
                pthread_join(ids[t], nullptr);
    }
};

}  // namespace

extern "C" void run_in_threads(int32_t parts, thread_part_fn* run_part, void* context)
{
    PosixThreads threads;
    run_parts_on(threads, parts, run_part, context);
}

extern "C" int32_t threads_available(void)
{
    const int32_t asked = parse_thread_count(getenv("VOXBLUR_THREADS"));
    if (asked > 0)
        return asked;
    long processors = processors_allowed();
    /* Elsewhere (macOS, whose sched.h has neither cpu_set_t nor
     * sched_getaffinity), or when that fails: the processors online. */
    if (processors < 1)
        processors = sysconf(_SC_NPROCESSORS_ONLN);
    if (processors < 1)
        return 1;
    return processors < max_threads ? (int32_t)processors : max_threads;
}
