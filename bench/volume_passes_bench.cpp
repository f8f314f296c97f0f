// The plain, SSE2, AVX and AVX-512 passes side by side on typical volumes
// and two large ones, on one thread, and the fastest of them on two
// threads, with the ratios in a table at the end: each to the plain passes,
// AVX-512 to AVX, and two threads to one. Each figure is the median of
// several repetitions, in voxels per second of wall time.
//
// Then each single-thread variant against this machine's floors, measured
// in the same run (machine_floors.h): the arithmetic floor, three passes'
// multiplies and adds at the rate one core does them in its widest vectors
// from registers, and the memory floor, three passes each reading and
// writing the volume once at the rate one core streams it in place.
//
// Last, smooth_volume's passes on one thread, float against double with
// AVX and AVX-512 at 256^3, and float on a 2048 x 2048 x 64 volume against
// float at 256^3, per voxel.
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

#include "machine_floors.h"
#include "smooth_passes.h"
#include "volume_passes.h"

namespace {

struct Shape {
    int32_t nx, ny, nz;
};

struct Variant {
    const char* name;
    volume_passes_fn* passes;  // null: the fastest this processor has
    int32_t threads;
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
    {"plain", volume_passes_plain, 1},
#if defined(__x86_64__)
    {"sse2", volume_passes_sse2, 1},
    {"avx", volume_passes_avx, 1},
    {"avx512", volume_passes_avx512, 1},
    {"2threads", nullptr, 2},
#endif
};

// Ratios printed after the rates: numerator over denominator, where
// "fastest" is the variant volume_passes picks on this processor for the
// width.
struct Ratio {
    const char* over;
    const char* under;
};
const Ratio ratios[] = {
#if defined(__x86_64__)
    {"sse2", "plain"}, {"avx", "plain"}, {"avx512", "plain"}, {"avx512", "avx"},
    {"2threads", "fastest"},
#endif
};

#if defined(__x86_64__)
// The name of a variant that volume_passes may pick.
const char* name_of(volume_passes_fn* passes)
{
    return passes == volume_passes_avx512 ? "avx512" : passes == volume_passes_avx ? "avx" : "sse2";
}

// Why a variant cannot run on this processor.
const char* missing_feature(volume_passes_fn* passes)
{
    if (passes == volume_passes_avx512 && !cpu_has_avx512())
        return "this processor or system has no AVX-512F";
    if (passes == volume_passes_avx && !cpu_has_avx())
        return "this processor has no AVX";
    return nullptr;
}
#endif

std::string shape_name(const Shape& s)
{
    return std::to_string(s.nx) + "x" + std::to_string(s.ny) + "x" + std::to_string(s.nz);
}

std::string config_name(const Shape& s, const Width& w, bool smooth = false)
{
    char fwhm[32];
    std::snprintf(fwhm, sizeof fwhm, "%g", w.fwhm);
    return (smooth ? "smooth-" : "") + shape_name(s) + "/fwhm" + fwhm;
}

// The variant volume_passes picks for each volume and width, by
// config_name, as the runs on its threads found it.
std::map<std::string, std::string> fastest_variants;

// A ratio's denominator in a config as the name of the variant it stands for.
std::string variant_name(const char* name, const std::string& config)
{
    if (std::string(name) == "fastest")
        return fastest_variants[config];
    return name;
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
    const int32_t taps[3] = {w.taps, w.taps, w.taps};
    volume_passes_fn* passes = variant.passes;
#if defined(__x86_64__)
    if (!passes) {
        passes = fastest_passes(taps);
        fastest_variants[config_name(s, w)] = name_of(passes);
    }
    if (const char* missing = missing_feature(passes)) {
        state.SkipWithError(missing);
        return;
    }
#endif
    const std::vector<double>& input = input_volume(s);
    std::vector<double> output(input.size());
    const int32_t dims[3] = {s.nx, s.ny, s.nz};
    const double fwhm[3] = {w.fwhm, w.fwhm, w.fwhm};
    for (auto _ : state) {
        passes(input.data(), output.data(), dims, taps, fwhm, variant.threads);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.counters["voxels/s"] = benchmark::Counter(static_cast<double>(input.size()),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

// Multiply-add pairs per second, as the passes do them, in the widest
// vectors this processor has.
void run_multiply_adds(benchmark::State& state)
{
    const int64_t rounds = 1 << 20;
    int64_t pairs = 0;
    for (auto _ : state)
        pairs = multiply_add_pairs(rounds);
    state.counters["pairs/s"] =
        benchmark::Counter(static_cast<double>(pairs), benchmark::Counter::kIsIterationInvariantRate);
}

// Voxels per second read from the volume and written back, once.
void run_stream(benchmark::State& state, Shape s)
{
    const std::vector<double>& input = input_volume(s);
    std::vector<double> output(input);
    for (auto _ : state) {
        stream_in_place(output.data(), output.size());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.counters["voxels/s"] = benchmark::Counter(static_cast<double>(input.size()),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

const char floor_prefix[] = "floor/";

// ---- smooth_volume's passes: float against double ------------------------

struct SmoothVariant {
    const char* name;  // "avx" or "avx512": the rows are NAME-float and NAME-double
#if defined(__x86_64__)
    SmoothPasses<double>::fn* doubles;
    SmoothPasses<float>::fn* floats;
    int (*runs_here)();
#endif
};

const SmoothVariant smooth_variants[] = {
#if defined(__x86_64__)
    {"avx", smooth_passes_avx, smooth_passes_avx, cpu_has_avx},
    {"avx512", smooth_passes_avx512, smooth_passes_avx512, cpu_has_avx512},
#endif
};

const Shape smooth_shapes[] = {{256, 256, 256}, {2048, 2048, 64}};

// The float input of a shape: input_volume's values rounded to float (the
// large one drawn afresh, as input_volume would take minutes to fill it).
const std::vector<float>& float_volume(const Shape& s)
{
    static std::map<std::string, std::vector<float>> volumes;
    std::vector<float>& volume = volumes[shape_name(s)];
    if (volume.empty()) {
        volume.resize(static_cast<size_t>(s.nx) * s.ny * s.nz);
        uint32_t state = 7;
        for (float& v : volume) {
            state = state * 1664525u + 1013904223u;
            v = static_cast<float>(state >> 8) * (1000.0f / 16777216.0f);
        }
    }
    return volume;
}

template <class T>
void run_smooth(benchmark::State& state, Shape s, Width w, SmoothVariant variant)
{
#if defined(__x86_64__)
    if (!variant.runs_here()) {
        state.SkipWithError("this processor or system lacks these vectors");
        return;
    }
    const std::vector<float>& floats = float_volume(s);
    std::vector<double> doubles;
    if (sizeof(T) == sizeof(double))
        doubles.assign(floats.begin(), floats.end());
    const SmoothInput input = {sizeof(T) == sizeof(double) ? static_cast<const void*>(doubles.data())
                                                           : floats.data(),
                               sizeof(T) == sizeof(double) ? voxel_double : voxel_single, nullptr};
    std::vector<T> output(floats.size());
    const int64_t dims[3] = {s.nx, s.ny, s.nz};
    const int64_t taps[3] = {w.taps, w.taps, w.taps};
    const double fwhm[3] = {w.fwhm, w.fwhm, w.fwhm};
    for (auto _ : state) {
        int status;
        if (sizeof(T) == sizeof(double))
            status = variant.doubles(input, reinterpret_cast<double*>(output.data()), dims, taps,
                                     fwhm, 1, nullptr);
        else
            status = variant.floats(input, reinterpret_cast<float*>(output.data()), dims, taps,
                                    fwhm, 1, nullptr);
        if (status != smooth_done) {
            state.SkipWithError("smooth_passes: out of memory");
            return;
        }
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.counters["voxels/s"] = benchmark::Counter(static_cast<double>(floats.size()),
                                                    benchmark::Counter::kIsIterationInvariantRate);
#else
    (void)s, (void)w, (void)variant;
    state.SkipWithError("no smooth_volume vector passes on this processor");
#endif
}

// The console report, then one line per volume and width with the median
// rate of each variant and the ratios.
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
            if (name.rfind(floor_prefix, 0) == 0) {
                const auto& counters = run.counters;
                auto rate = counters.find("pairs/s");
                if (rate == counters.end())
                    rate = counters.find("voxels/s");
                floors_[name.substr(sizeof floor_prefix - 1)] = rate->second.value;
                continue;
            }
            const size_t cut = name.rfind('/');
            rates_[name.substr(0, cut)][name.substr(cut + 1)] = run.counters.at("voxels/s").value;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\nMedian Mvoxels/s and ratios (2threads: the fastest variant here on two "
                    "threads)\n");
        std::printf("%-24s", "volume/width");
        for (const Variant& v : variants)
            std::printf(" %10s", v.name);
        for (const Ratio& r : ratios)
            std::printf(" %14s", (std::string(r.over) + "/" + r.under).c_str());
        std::printf("\n");
        for (const auto& [config, rates] : rates_) {
            if (config.rfind("smooth-", 0) == 0)
                continue;  // in print_smooth's table
            std::printf("%-24s", config.c_str());
            for (const Variant& v : variants)
                print_value(rates, v.name, 1e-6, " %10.1f");
            for (const Ratio& r : ratios) {
                auto under = rates.find(variant_name(r.under, config));
                print_value(rates, r.over, under == rates.end() ? 0.0 : 1.0 / under->second,
                            " %13.2fx");
            }
            std::printf("\n");
        }
        print_floors();
        print_smooth();
    }

private:
    // smooth_volume's float rate over its double rate, and the large
    // volume's float rate over 256^3's, per variant and width.
    void print_smooth() const
    {
        std::printf("\nsmooth_volume's passes, one thread: Mvoxels/s, float over double, and "
                    "2048x2048x64 over 256x256x256 in float\n");
        std::printf("%-14s %-8s %12s %12s %14s %12s %14s\n", "width", "vectors", "256 double",
                    "256 float", "float/double", "2048 float", "2048/256");
        for (const Width& w : widths)
            for (const SmoothVariant& v : smooth_variants) {
                char fwhm[32];
                std::snprintf(fwhm, sizeof fwhm, "fwhm%g", w.fwhm);
                const double d = rate(config_name(smooth_shapes[0], w, true), v.name, "double");
                const double f = rate(config_name(smooth_shapes[0], w, true), v.name, "float");
                const double large = rate(config_name(smooth_shapes[1], w, true), v.name, "float");
                std::printf("%-14s %-8s %12.1f %12.1f %13.2fx %12.1f %13.2fx\n", fwhm, v.name,
                            d * 1e-6, f * 1e-6, d > 0 ? f / d : 0.0, large * 1e-6,
                            f > 0 ? large / f : 0.0);
            }
    }

    double rate(const std::string& config, const char* variant, const char* type) const
    {
        auto rates = rates_.find(config);
        if (rates == rates_.end())
            return 0.0;
        auto found = rates->second.find(std::string(variant) + "-" + type);
        return found == rates->second.end() ? 0.0 : found->second;
    }

    // Each single-thread variant's time over the arithmetic floor and over
    // the memory floor of its volume and width.
    void print_floors() const
    {
        auto pairs = floors_.find("multiply-add");
        if (pairs == floors_.end())
            return;
        std::printf("\nFloors of one core: %.1f G multiply-add pairs/s (%s, a multiply and an add "
                    "each)\n",
                    pairs->second * 1e-9, widest_vector());
        std::printf("%-24s %11s %11s %11s", "volume/width", "arith ms", "memory ms", "stream");
        for (const Variant& v : variants)
            if (v.threads == 1)
                std::printf(" %16s", (std::string(v.name) + " /ar /mem").c_str());
        std::printf("\n");
        for (const auto& [config, rates] : rates_) {
            const std::string shape = config.substr(0, config.find('/'));
            auto stream = floors_.find("stream/" + shape);
            if (stream == floors_.end())
                continue;
            // Three passes: taps pairs per voxel each, and one read and one
            // write of the volume each.
            const double voxels = voxel_count(shape);
            const double arithmetic = 3.0 * taps_of(config) * voxels / pairs->second;
            const double memory = 3.0 * voxels / stream->second;
            std::printf("%-24s %11.1f %11.1f %6.1f GB/s", config.c_str(), 1e3 * arithmetic,
                        1e3 * memory, 16.0 * stream->second * 1e-9);
            for (const Variant& v : variants) {
                if (v.threads != 1)
                    continue;
                auto rate = rates.find(v.name);
                if (rate == rates.end()) {
                    std::printf(" %16s", "-");
                    continue;
                }
                const double seconds = voxels / rate->second;
                std::printf("  %6.2fx %6.2fx", seconds / arithmetic, seconds / memory);
            }
            std::printf("\n");
        }
    }

    static double voxel_count(const std::string& shape)
    {
        for (const Shape& s : shapes)
            if (shape_name(s) == shape)
                return static_cast<double>(s.nx) * s.ny * s.nz;
        return 0.0;
    }

    static int32_t taps_of(const std::string& config)
    {
        for (const Shape& s : shapes)
            for (const Width& w : widths)
                if (config_name(s, w) == config)
                    return w.taps;
        return 0;
    }

    static void print_value(const std::map<std::string, double>& rates, const char* variant,
                            double scale, const char* format)
    {
        auto rate = rates.find(variant);
        if (rate == rates.end() || scale == 0.0) {
            std::printf(" %10s", "-");
            return;
        }
        std::printf(format, rate->second * scale);
    }

    std::map<std::string, std::map<std::string, double>> rates_;
    // "multiply-add" in pairs/s, "stream/SHAPE" in voxels/s.
    std::map<std::string, double> floors_;
};

}  // namespace

/* Every row is timed alike: the median of five runs of at least 0.2 s each. */
static void time_like_the_others(benchmark::internal::Benchmark* row)
{
    row->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(0.2)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
}

int main(int argc, char** argv)
{
    time_like_the_others(benchmark::RegisterBenchmark(
        (std::string(floor_prefix) + "multiply-add").c_str(), run_multiply_adds));
    for (const Shape& s : shapes)
        time_like_the_others(benchmark::RegisterBenchmark(
            (floor_prefix + std::string("stream/") + shape_name(s)).c_str(), run_stream, s));
    for (const Shape& s : shapes)
        for (const Width& w : widths)
            for (const Variant& v : variants) {
                if (v.passes == volume_passes_plain && s.nx > plain_largest)
                    continue;
                time_like_the_others(benchmark::RegisterBenchmark(
                    (config_name(s, w) + "/" + v.name).c_str(), run_passes, s, w, v));
            }
    for (const Shape& s : smooth_shapes)
        for (const Width& w : widths)
            for (const SmoothVariant& v : smooth_variants) {
                const std::string row = config_name(s, w, true) + "/" + v.name;
                if (s.nx == smooth_shapes[0].nx)
                    time_like_the_others(benchmark::RegisterBenchmark(
                        (row + "-double").c_str(), run_smooth<double>, s, w, v));
                time_like_the_others(
                    benchmark::RegisterBenchmark((row + "-float").c_str(), run_smooth<float>, s, w, v));
            }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
