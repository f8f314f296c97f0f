// libFuzzer target of voxsmooth's gateway and its options: each input is one
// call through the stand-in host, its arguments read as gateway_fuzz.cpp
// describes, except that where an option's name goes (the 4th, 6th, ...
// argument) a first byte below 16 picks a name of `names` instead, so that
// the values of real options are reached. Whatever the input, the call must
// end in a result of the data's size and class (double, or single) or in a
// message of voxsmooth's, leave its inputs as they were, and leave the host
// holding nothing once the call's arrays are cleared.
#include "fuzz_arguments.h"

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

namespace {

const char* const names[] = {"Factor", "factor", "MASK", "Mask", "Threads", "threads",
                             "Verbose", "VERBOSE", "Fact",  "Masks", "",      "Sigma",
                             "verbosE", "Mask",  "Factor", "Threads"};

mxArray* make_name(Bytes& in)
{
    const char* name = names[in.next() % 16];
    const int32_t dims[2] = {1, static_cast<int32_t>(std::strlen(name))};
    mxArray* array = host_new_array(2, dims, host_class_char, 0, 0);
    if (!array)
        broken("the host could not create a name");
    for (int32_t i = 0; i < dims[1]; ++i)
        static_cast<mxChar*>(host_real_data(array))[i] = static_cast<mxChar>(name[i]);
    return array;
}

bool starts_with(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

void check_result(const mxArray* data, const mxArray* output)
{
    if (!output)
        broken("the call returned without an output");
    const int32_t want_class =
        host_class(data) == host_class_double ? host_class_double : host_class_single;
    if (host_class(output) != want_class || host_is_complex(output) || host_is_sparse(output))
        broken("the output is not a real full array of the data's result class");
    if (mxGetNumberOfDimensions_730(output) != mxGetNumberOfDimensions_730(data))
        broken("the output's dimension count differs from the data's");
    for (size_t d = 0; d < mxGetNumberOfDimensions_730(data); ++d)
        if (mxGetDimensions_730(output)[d] != mxGetDimensions_730(data)[d])
            broken("the output's dimensions differ from the data's");
    const std::string console = host_console();
    if (!console.empty() && !starts_with(console, "GaussFiltering (Image volume: "))
        broken("unexpected console text: " + console);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    host_set_echo(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Bytes in(data, size);
    const int nargs = in.next() % 10;
    const int nlhs = in.next() % 2;

    uint64_t budget_left = value_budget;
    std::vector<mxArray*> args;
    std::vector<uint64_t> before;
    for (int i = 0; i < nargs; ++i) {
        const bool name_slot = i >= 3 && (i - 3) % 2 == 0;
        if (name_slot && in.next() < 16)
            args.push_back(make_name(in));
        else
            args.push_back(make_argument(in, budget_left, i == 0));
        before.push_back(fingerprint(args.back()));
    }

    mxArray* plhs[1] = {nullptr};
    std::vector<const mxArray*> prhs(args.begin(), args.end());
    host_clear_console();
    const int failed = host_call_gateway(mexFunction, nlhs, plhs, nargs, prhs.data());

    // The output is the only array the gateway makes: once every argument
    // has passed, kept when the engine then runs out of memory.
    bool output_made = !failed;
    if (failed) {
        const std::string message = host_error_message();
        if (!starts_with(message, "voxsmooth: ") || message.back() == '\n')
            broken("a message that is not voxsmooth's: " + message);
        if (nargs < 3 && !starts_with(message, "voxsmooth: takes data, voxel_size and fwhm"))
            broken("too few arguments, but: " + message);
        output_made = message == "voxsmooth: out of memory for the work areas of this call";
        if (*host_console() && !output_made)
            broken("a refused call printed: " + std::string(host_console()));
    } else {
        check_result(args[0], plhs[0]);
    }
    if (host_live_arrays() != args.size() + output_made)
        broken(std::to_string(host_live_arrays()) + " arrays live after the call");
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
