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

#include <sched.h>

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

TEST(ThreadsAvailable, FollowVoxblurThreadsElseTheProcessorsThisProcessMayUse)
{
    cpu_set_t allowed;
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    const int32_t processors = std::min(CPU_COUNT(&allowed), int(max_threads));
    const struct {
        const char* value;  // null: unset
        int32_t threads;
    } cases[] = {
        {"1", 1},           {"3", 3},           {"64", 64},         {"1000", 64},
        {"007", 7},         {nullptr, processors}, {"", processors}, {"0", processors},
        {"-2", processors}, {"2x", processors}, {"two", processors}, {" 2", processors},
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
