// The engine's results on random volumes, bit for bit, so that a build with
// another compiler, other flags or another processor can be held to the
// normal build's.
//
//   engine_bits --write FILE     writes every result's bits, in hex
//   engine_bits --compare FILE   computes them again and compares with FILE
//
// The volumes, widths and factors come from a fixed seed through a
// generator of our own and arithmetic held to the engine's rules, so that
// every platform draws the same ones. Only the engine is linked, with the
// two host calls it makes defined below.
#include "exact_arithmetic.h"

#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "mex_console.h"
#include "voxblur_engine.h"

extern "C" int mexPrintf(const char*, ...)
{
    return 0;
}

extern "C" void mexErrMsgTxt(const char* message)
{
    fprintf(stderr, "engine_bits: the engine reported an error: %s\n", message);
    exit(2);
}

namespace {

// SplitMix64: the same sequence from the same seed on every platform.
struct Random {
    uint64_t state;

    uint64_t next()
    {
        uint64_t z = (state += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }
    // Uniform on [0, 1), in steps of 2^-53.
    double unit() { return (double)(next() >> 11) / 9007199254740992.0; }
    int32_t from_1_to(int32_t n) { return 1 + (int32_t)(next() % (uint64_t)n); }
};

// Axes from 1 voxel (edges only) past the eight lines of a vector block;
// FWHMs up to 8 voxels with factors up to 6, so that kernels range from 3
// taps to longer than their axis.
const int volume_count = 48;
const uint64_t seed = 20260101;

struct Volume {
    int32_t dims[3];
    double widths[3];
    int32_t factor;
    std::vector<double> data;
};

Volume draw_volume(Random& random)
{
    Volume volume;
    volume.dims[0] = random.from_1_to(40);
    volume.dims[1] = random.from_1_to(24);
    volume.dims[2] = random.from_1_to(24);
    for (double& width : volume.widths)
        width = 8.0 * random.unit();
    volume.factor = random.from_1_to(6);
    volume.data.resize((size_t)volume.dims[0] * volume.dims[1] * volume.dims[2]);
    for (double& value : volume.data)
        value = 1000.0 * random.unit() - 500.0;
    return volume;
}

std::vector<double> smoothed(const Volume& volume)
{
    std::vector<double> output(volume.data.size());
    if (gauss_filter(volume.data.data(), output.data(), volume.dims, volume.widths,
                     volume.factor) != 0) {
        fprintf(stderr, "engine_bits: gauss_filter returned a failure\n");
        exit(2);
    }
    return output;
}

uint64_t bits_of(double value)
{
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    return bits;
}

double value_of(uint64_t bits)
{
    double value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

// One line per volume, as written before its values; compared as text, so
// that a file of other volumes is never compared value by value.
void describe(const Volume& volume, int index, char* line, size_t size)
{
    snprintf(line, size, "volume %d: %d x %d x %d, widths %a %a %a, factor %d", index,
             volume.dims[0], volume.dims[1], volume.dims[2], volume.widths[0], volume.widths[1],
             volume.widths[2], volume.factor);
}

void write_volume(FILE* file, const char* line, const std::vector<double>& output)
{
    fprintf(file, "%s\n", line);
    for (size_t i = 0; i < output.size(); ++i)
        fprintf(file, "%016" PRIx64 "%c", bits_of(output[i]), i % 8 == 7 ? '\n' : ' ');
    fprintf(file, "\n");
}

// Counts the voxels of `output` that differ from the file's and prints the
// first. Returns false when the file does not hold this volume.
bool compare_volume(FILE* file, const char* path, const char* line, const Volume& volume,
                    const std::vector<double>& output, size_t* differing)
{
    char found[256];
    if (fscanf(file, " %255[^\n]", found) != 1 || strcmp(found, line) != 0) {
        fprintf(stderr, "engine_bits: %s holds other volumes: expected \"%s\"\n", path, line);
        return false;
    }
    const int32_t nx = volume.dims[0];
    const int32_t ny = volume.dims[1];
    size_t here = 0;
    for (size_t i = 0; i < output.size(); ++i) {
        uint64_t reference;
        if (fscanf(file, "%" SCNx64, &reference) != 1) {
            fprintf(stderr, "engine_bits: %s ends within \"%s\"\n", path, line);
            return false;
        }
        if (bits_of(output[i]) != reference && here++ == 0)
            printf("%s: first difference at (%d, %d, %d): %a here, %a in %s\n", line,
                   (int)(i % nx), (int)(i / nx % ny), (int)(i / nx / ny), output[i],
                   value_of(reference), path);
    }
    *differing += here;
    return true;
}

// Writes the bits of every volume's result to `path`, or compares them with
// what it holds.
int run(const char* path, bool compare)
{
    FILE* file = fopen(path, compare ? "r" : "w");
    if (!file) {
        fprintf(stderr, "engine_bits: cannot %s %s\n", compare ? "read" : "write", path);
        return 2;
    }
    Random random = {seed};
    size_t voxels = 0;
    size_t differing = 0;
    for (int v = 0; v < volume_count; ++v) {
        const Volume volume = draw_volume(random);
        char line[256];
        describe(volume, v, line, sizeof line);
        const std::vector<double> output = smoothed(volume);
        if (!compare)
            write_volume(file, line, output);
        else if (!compare_volume(file, path, line, volume, output, &differing)) {
            fclose(file);
            return 2;
        }
        voxels += output.size();
    }
    fclose(file);
    if (!compare)
        printf("%zu voxels of %d volumes written to %s\n", voxels, volume_count, path);
    else if (differing != 0)
        printf("%zu of %zu voxels differ\n", differing, voxels);
    else
        printf("all %zu voxels of %d volumes equal to %s, bit for bit\n", voxels, volume_count,
               path);
    return differing != 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "--write") == 0)
        return run(argv[2], false);
    if (argc == 3 && strcmp(argv[1], "--compare") == 0)
        return run(argv[2], true);
    fprintf(stderr, "usage: engine_bits --write FILE | --compare FILE\n");
    return 2;
}
