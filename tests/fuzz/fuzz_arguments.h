// The arguments of a fuzzed gateway call, read from the input bytes as
// gateway_fuzz.cpp describes, with the checks every fuzz target makes of a
// call: shared by the gateway's target and voxsmooth's.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host.h"

namespace {

// All the values of one call together, the volume's output included, stay
// within 2^18 (2 MiB of doubles), far below the 64 MiB that one input may
// ask for (the runs pass -malloc_limit_mb=64). Long axes are still there,
// 1023 x 256 x 1 say, but big arrays would only slow the run down.
const uint64_t value_budget = uint64_t(1) << 18;

const int32_t classes[] = {host_class_logical, host_class_char,   host_class_double,
                           host_class_single,  host_class_int8,   host_class_uint8,
                           host_class_int16,   host_class_uint16, host_class_int32,
                           host_class_uint32,  host_class_int64,  host_class_uint64};

const int32_t lengths[] = {16,   31,   32,   33,   64,   99,    100,   101,       127,
                           128,  200,  255,  511,  512,  1000,  1022,  1023,      1024,
                           1025, 2047, 2048, 4096, 65535, 65536, 1 << 20, INT32_MAX};
const size_t length_count = sizeof lengths / sizeof *lengths;

const double inf = std::numeric_limits<double>::infinity();
const double values[] = {0.0,
                         -0.0,
                         1.0,
                         -1.0,
                         0.5,
                         0.7,
                         2.0,
                         2.5,
                         3.0,
                         4.0,
                         30.0,
                         1023.0,
                         1024.0,
                         0.49999999999999994,
                         2147483647.5,
                         -2147483648.5,
                         1e12,
                         -1e12,
                         std::numeric_limits<double>::quiet_NaN(),
                         inf,
                         -inf,
                         std::numeric_limits<double>::max(),
                         -std::numeric_limits<double>::max(),
                         std::numeric_limits<double>::min(),
                         std::numeric_limits<double>::denorm_min(),
                         -std::numeric_limits<double>::denorm_min(),
                         1e-310,
                         1e-3};
const size_t value_count = sizeof values / sizeof *values;

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }

    double raw_double()
    {
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= uint64_t(next()) << (8 * i);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

[[noreturn]] void broken(const std::string& what)
{
    std::fprintf(stderr, "gateway_fuzz: %s\n", what.c_str());
    std::abort();
}

uint64_t product(const std::vector<int32_t>& dims)
{
    // Saturates well above the budget, so that no product overflows.
    uint64_t count = 1;
    for (int32_t d : dims) {
        count *= uint64_t(d);
        if (count > (uint64_t(1) << 40))
            return uint64_t(1) << 40;
    }
    return count;
}

// Halves the longest dimension until the argument fits what is left. With
// no dimensions it is a 1x1 array, which may go a few values over.
void fit_budget(std::vector<int32_t>& dims, uint64_t values_per_element, uint64_t& left)
{
    while (!dims.empty() && product(dims) * values_per_element > left) {
        size_t longest = 0;
        for (size_t d = 1; d < dims.size(); ++d)
            if (dims[d] > dims[longest])
                longest = d;
        dims[longest] /= 2;
    }
    left -= std::min(left, product(dims) * values_per_element);
}

void fill(mxArray* array, void* data, const std::vector<double>& pattern)
{
    if (!data || pattern.empty())
        return;
    size_t size = host_element_size(array);
    auto* bytes = static_cast<unsigned char*>(data);
    for (size_t i = 0; i < host_element_count(array); ++i) {
        uint64_t bits;
        std::memcpy(&bits, &pattern[i % pattern.size()], sizeof bits);
        std::memcpy(bytes + i * size, &bits, size);
    }
}

mxArray* make_argument(Bytes& in, uint64_t& budget_left, bool volume_slot)
{
    uint8_t class_choice = in.next();
    int32_t class_id = class_choice < 12 ? classes[class_choice] : host_class_double;
    uint8_t flags = in.next();
    bool complex = flags & 1;
    bool sparse = flags & 2;

    std::vector<int32_t> dims(in.next() % 6);
    for (int32_t& d : dims) {
        uint8_t b = in.next();
        d = b < 224 ? b % 16 : lengths[(b - 224) % length_count];
    }
    // The volume's output is one more real double per element.
    uint64_t per_element = (complex ? 2 : 1) + (volume_slot ? 1 : 0);
    fit_budget(dims, per_element, budget_left);

    std::vector<double> pattern(in.next() % 17);
    for (double& v : pattern) {
        uint8_t pick = in.next();
        v = pick < value_count ? values[pick] : in.raw_double();
    }

    mxArray* array = host_new_array(int32_t(dims.size()), dims.data(), class_id, complex, sparse);
    if (!array)
        broken("the host could not create an argument");
    fill(array, host_real_data(array), pattern);
    // The imaginary part starts one step on, so it is not a copy.
    if (!pattern.empty())
        pattern.push_back(pattern.front()), pattern.erase(pattern.begin());
    fill(array, host_imag_data(array), pattern);
    host_pack_sparse(array);
    return array;
}

uint64_t fingerprint(const mxArray* array)
{
    // FNV-1a over the stored values, real then imaginary.
    uint64_t hash = 1469598103934665603u;
    size_t bytes = host_stored_count(array) * host_element_size(array);
    for (const void* part : {host_real_data(array), host_imag_data(array)}) {
        if (!part)
            continue;
        for (size_t i = 0; i < bytes; ++i)
            hash = (hash ^ static_cast<const unsigned char*>(part)[i]) * 1099511628211u;
    }
    return hash;
}

}  // namespace
