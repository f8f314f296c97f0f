// libFuzzer driver: each input becomes one call of a gateway (voxblur's or
// voxsmooth's, as `entries` lists them) through the stand-in host, with
// arguments of any count, shape, class, sparsity, complexity and value,
// and a thread count
// in VOXBLUR_THREADS. Whatever the input, the call must end in a result or
// in the one message that the function's rules give for it, leave its
// inputs as they were, and leave the host holding nothing once the call's
// arrays are cleared. AddressSanitizer and UndefinedBehaviorSanitizer watch
// every read and write; any breach aborts the run.
//
// This file builds two targets, which differ only in how many values one
// call may hold (VOXBLUR_FUZZ_BUDGET_LOG2): gateway_fuzz keeps to 2^12, so
// that it runs thousands of calls a second through the argument rules and
// the small shapes (an axis of up to 1023 still fits, as a line);
// gateway_fuzz_long allows 2^18, for long axes in every direction, long
// kernels, and volumes large enough to be shared among threads.
//
// Input layout (a byte that is missing reads as 0):
//   byte      the function: an index into `entries`, modulo their count
//   byte      argument count, modulo the entry's most_arguments + 1
//   byte      output count, modulo the entry's most_outputs + 1
//   byte      VOXBLUR_THREADS: an index into `thread_settings`, modulo
//   then per argument:
//   byte      class: 0 to 11 pick from `classes`; 12 is a word, a char row
//             of `words` picked by the next byte (and nothing more follows
//             for it); anything larger is double
//   byte      bit 0 complex, bit 1 sparse
//   byte      dimension count, modulo 6
//   byte...   one per dimension: below 224 the length modulo 16 (0 to 15),
//             else an entry of `lengths` (1023, 1024 and more)
//   byte      value count n, modulo 17
//   n values  a byte below the size of `values` picks a special value;
//             any other byte is followed by 8 bytes of a raw double
// The n values repeat to fill the array (zeros when n is 0). An array of
// another class than double gets the low bytes of each value's bits.
// make_seeds.py writes the seeds and the dictionary in this layout.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fuzz_entries.h"

#ifndef VOXBLUR_FUZZ_BUDGET_LOG2
#error "VOXBLUR_FUZZ_BUDGET_LOG2 names the target's value budget"
#endif

namespace {

const FuzzEntry* const entries[] = {&voxblur_entry, &voxsmooth_entry};
const size_t entry_count = sizeof entries / sizeof *entries;

// All the values of one call together, the volume's output included (one
// more double per element of the first argument), with room for the small
// arguments beside a volume that takes 2^VOXBLUR_FUZZ_BUDGET_LOG2. Far below
// the 64 MiB that one allocation may take (the runs pass
// -malloc_limit_mb=64).
const uint64_t value_budget = (uint64_t(1) << VOXBLUR_FUZZ_BUDGET_LOG2) + 64;

// What VOXBLUR_THREADS holds during the call: unset, counts the engine
// takes (capped at 64), and texts it ignores.
const char* const thread_settings[] = {nullptr, "1", "2", "3", "4", "64", "65", "0", "", "2x"};
const size_t thread_setting_count = sizeof thread_settings / sizeof *thread_settings;

const int32_t classes[] = {host_class_logical, host_class_char,   host_class_double,
                           host_class_single,  host_class_int8,   host_class_uint8,
                           host_class_int16,   host_class_uint16, host_class_int32,
                           host_class_uint32,  host_class_int64,  host_class_uint64};
const uint8_t word_class = 12;

// Option names as a name-value function takes them, in the cases and
// shortenings a caller might write, and texts that name no option.
const char* const words[] = {"Factor", "Mask", "Threads", "Verbose", "factor", "MASK",
                             "threads", "verbose", "Fact", "Thread", "", "Factors", "on",
                             "off", "true", "x"};
const size_t word_count = sizeof words / sizeof *words;

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
                         1e-3,
                         // Kernel lengths about the 99-tap cap (factor 1),
                         // and thread counts about the engine's 64.
                         99.0,
                         99.5,
                         100.0,
                         64.0,
                         65.0};
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

mxArray* new_array(const std::vector<int32_t>& dims, int32_t class_id, bool complex, bool sparse)
{
    mxArray* array = host_new_array(int32_t(dims.size()), dims.data(), class_id, complex, sparse);
    if (!array)
        broken("the host could not create an argument");
    return array;
}

// A 1xN char row (0x0 for the empty word), one 16-bit code per letter.
mxArray* make_word(Bytes& in)
{
    const char* word = words[in.next() % word_count];
    const int32_t length = int32_t(std::strlen(word));
    mxArray* array = new_array({length ? 1 : 0, length}, host_class_char, false, false);
    auto* letters = static_cast<uint16_t*>(host_real_data(array));
    for (int32_t i = 0; i < length; ++i)
        letters[i] = uint16_t(word[i]);
    return array;
}

mxArray* make_argument(Bytes& in, uint64_t& budget_left, bool volume_slot)
{
    uint8_t class_choice = in.next();
    if (class_choice == word_class)
        return make_word(in);
    int32_t class_id = class_choice < 12 ? classes[class_choice] : host_class_double;
    uint8_t flags = in.next();
    bool complex = flags & 1;
    bool sparse = flags & 2;

    std::vector<int32_t> dims(in.next() % 6);
    for (int32_t& d : dims) {
        uint8_t b = in.next();
        d = b < 224 ? b % 16 : lengths[(b - 224) % length_count];
    }
    uint64_t per_element = (complex ? 2 : 1) + (volume_slot ? 1 : 0);
    fit_budget(dims, per_element, budget_left);

    std::vector<double> pattern(in.next() % 17);
    for (double& v : pattern) {
        uint8_t pick = in.next();
        v = pick < value_count ? values[pick] : in.raw_double();
    }

    mxArray* array = new_array(dims, class_id, complex, sparse);
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
    // FNV-1a over the dimensions, then the stored values, real then
    // imaginary.
    uint64_t hash = 1469598103934665603u;
    auto mix = [&hash](const void* data, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i)
            hash = (hash ^ static_cast<const unsigned char*>(data)[i]) * 1099511628211u;
    };
    mix(mxGetDimensions_700(array), sizeof(int32_t) * size_t(mxGetNumberOfDimensions_700(array)));
    size_t bytes = host_stored_count(array) * host_element_size(array);
    for (const void* part : {host_real_data(array), host_imag_data(array)})
        if (part)
            mix(part, bytes);
    return hash;
}

// VOXBLUR_FUZZ_SHOW=1 prints each call, the outcome its rules give, and
// (unless it faults) what it did: to see what a seed or a fault's input
// reaches (run the target on the file).
bool show_outcomes = false;

void show(const FuzzEntry& entry, const char* threads, const std::vector<mxArray*>& args,
          const std::string& want)
{
    std::string shapes;
    for (const mxArray* a : args) {
        shapes += shapes.empty() ? "" : ", ";
        for (int d = 0; d < mxGetNumberOfDimensions_700(a); ++d)
            shapes += (d ? "x" : "") + std::to_string(mxGetDimensions_700(a)[d]);
        shapes += " class " + std::to_string(host_class(a));
    }
    std::fprintf(stderr, "%s(%s) VOXBLUR_THREADS=%s, its rules give: %s\n", entry.name,
                 shapes.c_str(), threads ? threads : "(unset)",
                 want.empty() ? "a result" : want.c_str());
}

void set_threads(const char* setting)
{
    if (setting)
        setenv("VOXBLUR_THREADS", setting, 1);
    else
        unsetenv("VOXBLUR_THREADS");
}

}  // namespace

[[noreturn]] void broken(const std::string& what)
{
    std::fprintf(stderr, "gateway_fuzz: %s\n", what.c_str());
    std::abort();
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    host_set_echo(0);
    const char* show_setting = std::getenv("VOXBLUR_FUZZ_SHOW");
    show_outcomes = show_setting && *show_setting == '1';
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Bytes in(data, size);
    const FuzzEntry& entry = *entries[in.next() % entry_count];
    const int nargs = in.next() % (entry.most_arguments + 1);
    const int nlhs = in.next() % (entry.most_outputs + 1);
    const char* threads = thread_settings[in.next() % thread_setting_count];
    set_threads(threads);

    uint64_t budget_left = value_budget;
    std::vector<mxArray*> args;
    std::vector<uint64_t> before;
    for (int i = 0; i < nargs; ++i) {
        args.push_back(make_argument(in, budget_left, i == 0));
        before.push_back(fingerprint(args.back()));
    }
    const std::string want = entry.expected_message(args);
    if (show_outcomes)
        show(entry, threads, args, want);

    // MATLAB always passes room for one output, even when none is asked for.
    std::vector<mxArray*> plhs(std::max(nlhs, 1), nullptr);
    std::vector<const mxArray*> prhs(args.begin(), args.end());
    host_clear_console();
    const int failed = host_call_gateway(entry.gateway, nlhs, plhs.data(), nargs, prhs.data());

    if (failed) {
        std::string message = host_error_message();
        if (message != want)
            broken(std::string(entry.name) + " said \"" + message + "\", its rules give \"" +
                   want + "\"");
    } else {
        if (!want.empty())
            broken(std::string(entry.name) + " succeeded, its rules give \"" + want + "\"");
        entry.check_result(args, plhs.data(), nlhs);
    }
    if (show_outcomes)
        std::fprintf(stderr, "%s", failed ? host_error_message() : host_console());
    const size_t made = entry.arrays_made(want, nlhs);
    if (host_live_arrays() != args.size() + made)
        broken(std::to_string(host_live_arrays()) + " arrays live after the call, " +
               std::to_string(args.size() + made) + " expected");
    for (size_t i = 0; i < args.size(); ++i)
        if (fingerprint(args[i]) != before[i])
            broken("the call changed input " + std::to_string(i + 1));

    host_free_all_arrays();
    host_clear_console();
    if (host_live_arrays() != 0 || host_live_allocations() != 0)
        broken("the host still holds " + std::to_string(host_live_arrays()) + " arrays and " +
               std::to_string(host_live_allocations()) + " allocations");
    return 0;
}
