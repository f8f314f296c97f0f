// The plain, SSE2 and AVX passes side by side on typical volumes and two
// large ones, with the ratios to the plain passes in a table at the end. Each figure is the
// median of several repetitions, in voxels per second of wall time.
//
//   voxblur_bench [--benchmark_repetitions=N] [--benchmark_filter=REGEX]
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "volume_passes.h"

namespace {

struct Shape {
    int32_t nx, ny, nz;
};

struct Variant {
    const char* name;
    volume_passes_fn* passes;
};

// The last two show whether large volumes keep the rate per voxel. The
// plain passes, at about 20 Mvoxel/s, would take minutes on them.
const Shape shapes[] = {{128, 128, 128}, {181, 217, 181}, {256, 256, 256}, {512, 512, 512},
                        {640, 640, 640}};
const int32_t plain_largest = 256;

// FWHM in voxels, and the kernel length gauss_filter settles for it with
// factor 4 on these axes: 4 w + 0.5 truncated and made odd.
struct Width {
    double fwhm;
    int32_t taps;
};
const Width widths[] = {{2.0, 9}, {8.0, 33}};

const Variant variants[] = {
    {"plain", volume_passes_plain},
#if defined(__x86_64__)
    {"sse2", volume_passes_sse2},
    {"avx", volume_passes_avx},
#endif
};

std::string shape_name(const Shape& s)
{
    return std::to_string(s.nx) + "x" + std::to_string(s.ny) + "x" + std::to_string(s.nz);
}

std::string config_name(const Shape& s, const Width& w)
{
    char fwhm[32];
    std::snprintf(fwhm, sizeof fwhm, "%g", w.fwhm);
    return shape_name(s) + "/fwhm" + fwhm;
}

// One input per shape, shared by all benchmarks: an image-like volume of
// values 0 to 1000.
const std::vector<double>& input_volume(const Shape& s)
{
    static std::map<std::string, std::vector<double>> volumes;
    std::vector<double>& volume = volumes[shape_name(s)];
    if (volume.empty()) {
        std::mt19937_64 random(7);
        std::uniform_real_distribution<double> value(0.0, 1000.0);
        volume.resize(static_cast<size_t>(s.nx) * s.ny * s.nz);
        for (double& v : volume)
            v = value(random);
    }
    return volume;
}

void run_passes(benchmark::State& state, Shape s, Width w, Variant variant)
{
#if defined(__x86_64__)
    if (variant.passes == volume_passes_avx && !cpu_has_avx()) {
        state.SkipWithError("this processor has no AVX");
        return;
    }
#endif
    const std::vector<double>& input = input_volume(s);
    std::vector<double> output(input.size());
    const int32_t dims[3] = {s.nx, s.ny, s.nz};
    const int32_t taps[3] = {w.taps, w.taps, w.taps};
    const double fwhm[3] = {w.fwhm, w.fwhm, w.fwhm};
    for (auto _ : state) {
        variant.passes(input.data(), output.data(), dims, taps, fwhm);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.counters["voxels/s"] = benchmark::Counter(static_cast<double>(input.size()),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

// The console report, then one line per volume and width with the median
// rate of each variant and its ratio to the plain passes.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal: the report is often kept in a file.
    RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.aggregate_name != "median")
                continue;
            const std::string name = run.run_name.function_name;
            const size_t cut = name.rfind('/');
            rates_[name.substr(0, cut)][name.substr(cut + 1)] = run.counters.at("voxels/s").value;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\nMedian Mvoxels/s and ratio to the plain passes\n");
        std::printf("%-24s", "volume/width");
        for (const Variant& v : variants)
            std::printf(" %10s", v.name);
        for (size_t i = 1; i < std::size(variants); ++i)
            std::printf(" %10s", (std::string(variants[i].name) + "/plain").c_str());
        std::printf("\n");
        for (const auto& [config, rates] : rates_) {
            std::printf("%-24s", config.c_str());
            for (const Variant& v : variants)
                print_value(rates, v.name, 1e-6, "%10.1f");
            auto plain = rates.find("plain");
            for (size_t i = 1; i < std::size(variants); ++i)
                print_value(rates, variants[i].name,
                            plain == rates.end() ? 0.0 : 1.0 / plain->second, "%9.1fx");
            std::printf("\n");
        }
    }

private:
    static void print_value(const std::map<std::string, double>& rates, const char* variant,
                            double scale, const char* format)
    {
        auto rate = rates.find(variant);
        if (rate == rates.end() || scale == 0.0) {
            std::printf(" %10s", "-");
            return;
        }
        std::printf(" ");
        std::printf(format, rate->second * scale);
    }

    std::map<std::string, std::map<std::string, double>> rates_;
};

}  // namespace

int main(int argc, char** argv)
{
    for (const Shape& s : shapes)
        for (const Width& w : widths)
            for (const Variant& v : variants) {
                if (v.passes == volume_passes_plain && s.nx > plain_largest)
                    continue;
                benchmark::RegisterBenchmark((config_name(s, w) + "/" + v.name).c_str(), run_passes,
                                             s, w, v)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->MinTime(0.2)
                    ->Repetitions(5)
                    ->ReportAggregatesOnly(true);
            }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
