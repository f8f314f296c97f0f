// The engine keeps all its working storage on the caller's stack, so calls
// on different threads must not disturb each other. Four threads run the
// engine at once on different volumes (the warning and the error path
// among them) and must get, bit for bit, what sequential calls got. One
// volume is large enough for its passes to be split among the threads of
// VOXBLUR_THREADS=3, which CTest sets. Built under ThreadSanitizer by the
// "thread" preset, which also reports any data race between the calls or
// between the threads of one call.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "engine_run.h"

namespace {

struct Job {
    std::array<int32_t, 3> dims;
    std::array<double, 3> widths;
    int32_t factor;
};

const Job jobs[] = {
    {{40, 36, 30}, {2.0, 3.0, 1.5}, 4},
    {{31, 47, 22}, {4.0, 1.0, 2.5}, 4},
    {{64, 8, 40}, {1.0, 0.5, 6.0}, 3},
    {{17, 29, 53}, {2.5, 2.5, 2.5}, 5},
    {{200, 6, 6}, {30.0, 1.0, 1.0}, 4},  // warns and cuts the x kernel to 99 taps
    {{1024, 1, 2}, {1.0, 1.0, 1.0}, 4},  // ends through the error call
    {{9, 1023, 2}, {1.0, 40.0, 1.0}, 4},
    {{0, 12, 12}, {2.0, 2.0, 2.0}, 4},   // empty: only the console line
    {{67, 45, 41}, {3.0, 2.0, 4.0}, 4},  // 123,615 voxels: three threads
};
const size_t job_count = sizeof jobs / sizeof *jobs;
const int threads = 4;
const int rounds = 3;

std::vector<double> input_of(size_t job)
{
    const Job& j = jobs[job];
    return random_volume(size_t(j.dims[0]) * j.dims[1] * j.dims[2], unsigned(100 + job));
}

EngineRun run_job(size_t job, const std::vector<double>& input)
{
    const Job& j = jobs[job];
    return run_gauss_filter(input, j.dims, j.widths, j.factor);
}

bool same_run(const EngineRun& a, const EngineRun& b)
{
    return a.ended_by_error == b.ended_by_error && a.status == b.status &&
           a.console == b.console && a.error == b.error && a.output.size() == b.output.size() &&
           (a.output.empty() ||
            std::memcmp(a.output.data(), b.output.data(), a.output.size() * sizeof(double)) == 0);
}

TEST(EngineReentrancy, FourThreadsAtOnceMatchSequentialCallsBitForBit)
{
    std::vector<std::vector<double>> inputs;
    std::vector<EngineRun> sequential;
    for (size_t job = 0; job < job_count; ++job) {
        inputs.push_back(input_of(job));
        sequential.push_back(run_job(job, inputs[job]));
    }
    // The jobs do reach the paths they are meant to.
    const char* threads_asked = std::getenv("VOXBLUR_THREADS");
    EXPECT_STREQ(threads_asked ? threads_asked : "(unset)", "3");
    EXPECT_NE(sequential[4].console.find("WARNING gauss_filter(): Large kernel truncated"),
              std::string::npos);
    EXPECT_TRUE(sequential[5].ended_by_error);
    EXPECT_EQ(sequential[5].error, "gauss_filter(): Image dimension 1024 > 1024");

    // Thread t runs jobs t, t + 4, t, t + 4, ...; all wait at the start so
    // that they overlap.
    std::vector<std::vector<EngineRun>> concurrent(threads);
    std::atomic<int> waiting{threads};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0)
                std::this_thread::yield();
            for (int r = 0; r < rounds; ++r)
                for (size_t job = size_t(t); job < job_count; job += threads)
                    concurrent[size_t(t)].push_back(run_job(job, inputs[job]));
        });
    for (std::thread& thread : pool)
        thread.join();

    for (int t = 0; t < threads; ++t) {
        size_t i = 0;
        for (int r = 0; r < rounds; ++r)
            for (size_t job = size_t(t); job < job_count; job += threads, ++i)
                EXPECT_TRUE(same_run(concurrent[size_t(t)][i], sequential[job]))
                    << "thread " << t << ", round " << r << ", job " << job;
    }
}

}  // namespace
