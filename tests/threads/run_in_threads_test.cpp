// run_in_threads and threads_available as the tests link them (POSIX
// threads): every part runs once, all of them at the same time, and all
// before the call returns; VOXBLUR_THREADS is read as documented.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <sys/resource.h>
#include <unistd.h>

#include "threads.h"

namespace {

struct Tally {
    std::vector<std::atomic<int>> runs;
    explicit Tally(size_t parts) : runs(parts) {}
};

void count_part(void* context, int32_t part)
{
    static_cast<Tally*>(context)->runs[size_t(part)].fetch_add(1);
}

TEST(RunInThreads, RunsEveryPartOnceBeforeReturning)
{
    // Beyond max_threads the threads take several parts each.
    for (int32_t parts : {0, 1, 2, 5, 64, 65, 150}) {
        Tally tally(size_t(parts) + 1);
        run_in_threads(parts, count_part, &tally);
        for (int32_t p = 0; p <= parts; ++p)
            EXPECT_EQ(tally.runs[size_t(p)].load(), p < parts ? 1 : 0)
                << "part " << p << " of " << parts;
    }
}

// Each part waits until all have started: only parts on threads of their
// own, running at once, get past the wait.
struct Meeting {
    std::atomic<int> arrived{0};
    std::atomic<int> met{0};
    int32_t parts;
    std::chrono::steady_clock::time_point give_up;
};

void meet(void* context, int32_t)
{
    Meeting& meeting = *static_cast<Meeting*>(context);
    meeting.arrived.fetch_add(1);
    while (meeting.arrived.load() < meeting.parts &&
           std::chrono::steady_clock::now() < meeting.give_up)
        std::this_thread::yield();
    if (meeting.arrived.load() == meeting.parts)
        meeting.met.fetch_add(1);
}

TEST(RunInThreads, RunsThePartsAtTheSameTime)
{
    Meeting meeting;
    meeting.parts = 5;
    meeting.give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    run_in_threads(meeting.parts, meet, &meeting);
    EXPECT_EQ(meeting.met.load(), 5);
}

// A sanitizer's runtime reserves address space of its own, beyond any
// limit this test could set: it runs only in uninstrumented builds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SANITIZED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SANITIZED
#endif
#endif
#ifndef SANITIZED
struct CallerOnly {
    int runs[4] = {};
    pthread_t caller = pthread_self();
    std::atomic<int> elsewhere{0};
};

void run_on_caller(void* context, int32_t part)
{
    CallerOnly& parts = *static_cast<CallerOnly*>(context);
    if (!pthread_equal(pthread_self(), parts.caller))
        parts.elsewhere.fetch_add(1);
    ++parts.runs[part];
}

// With the address space limited to just above its present size, no new
// thread's stack fits; every part must still run, on the calling thread.
void run_with_no_room_for_a_thread()
{
    char statm[64] = {};
    const int file = open("/proc/self/statm", O_RDONLY);
    const ssize_t length = read(file, statm, sizeof statm - 1);
    close(file);
    rlimit limit;
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = rlim_t(std::atoll(statm)) * rlim_t(sysconf(_SC_PAGESIZE)) + (256u << 10);
    if (length <= 0 || setrlimit(RLIMIT_AS, &limit) != 0)
        _exit(2);
    CallerOnly parts;
    run_in_threads(4, run_on_caller, &parts);
    dprintf(2, "runs %d %d %d %d, on other threads %d\n", parts.runs[0], parts.runs[1],
            parts.runs[2], parts.runs[3], parts.elsewhere.load());
    const bool each_once = parts.runs[0] == 1 && parts.runs[1] == 1 && parts.runs[2] == 1 &&
                           parts.runs[3] == 1;
    _exit(each_once && parts.elsewhere.load() == 0 ? 0 : 1);
}

TEST(RunInThreads, RunsTheirPartsOnTheCallerWhenThreadsCannotStart)
{
    // A process of its own, started afresh: one forked from this one would
    // inherit the stacks of earlier tests' threads, which glibc reuses.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(run_with_no_room_for_a_thread(), testing::ExitedWithCode(0), "");
}
#endif

TEST(ThreadsAvailable, FollowVoxblurThreadsElseTheProcessorsThisProcessMayUse)
{
    cpu_set_t allowed;
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    const int32_t processors = std::min(CPU_COUNT(&allowed), int(max_threads));
    // Values refused for their letters or spaces hold digits that are not the
    // processor count, so that a parse that kept the digits would fail.
    const std::string other_count = std::to_string(processors == 1 ? 2 : 1);
    const std::string digits_then_letter = other_count + "x";
    const std::string space_then_digits = " " + other_count;
    const struct {
        const char* value;  // null: unset
        int32_t threads;
    } cases[] = {
        {"1", 1},           {"3", 3},           {"19", 19},         {"64", 64},
        {"1000", 64},       {"4294967297", 64}, {"007", 7},         {nullptr, processors},
        {"", processors},   {"0", processors},  {"-2", processors},
        {digits_then_letter.c_str(), processors}, {"two", processors},
        {space_then_digits.c_str(), processors},
    };
    for (const auto& c : cases) {
        if (c.value)
            setenv("VOXBLUR_THREADS", c.value, 1);
        else
            unsetenv("VOXBLUR_THREADS");
        EXPECT_EQ(threads_available(), c.threads)
            << "VOXBLUR_THREADS=" << (c.value ? c.value : "(unset)");
    }
    unsetenv("VOXBLUR_THREADS");
}

}  // namespace
