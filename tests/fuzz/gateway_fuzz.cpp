// libFuzzer target: each input becomes one call of the gateway through the
// stand-in host, with arguments of any count, shape, class, sparsity,
// complexity and value. Whatever the input, the call must end in a result
// or in the one message that the argument rules give for it, leave its
// inputs as they were, and leave the host holding nothing once the call's
// arrays are cleared. AddressSanitizer and UndefinedBehaviorSanitizer watch
// every read and write; any breach aborts the run.
//
// Input layout (a byte that is missing reads as 0):
//   byte      argument count, modulo 7 (0 to 6)
//   byte      output count, modulo 2
//   then per argument:
//   byte      class: 0 to 11 pick from `classes`, anything larger is double
//   byte      bit 0 complex, bit 1 sparse
//   byte      dimension count, modulo 6
//   byte...   one per dimension: below 224 the length modulo 16 (0 to 15),
//             else an entry of `lengths` (1023, 1024 and more); long axes
//             are the rarer kind, as each one costs more time to filter
//   byte      value count n, modulo 17
//   n values  a byte below the size of `values` picks a special value;
//             any other byte is followed by 8 bytes of a raw double
// The n values repeat to fill the array (zeros when n is 0). An array of
// another class than double gets the low bytes of each value's bits.
#include "fuzz_arguments.h"

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

namespace {

int32_t dim(const mxArray* array, int index)
{
    return mxGetDimensions_700(array)[index];
}

int32_t vector_length(const mxArray* array)
{
    return std::max(dim(array, 0), dim(array, 1));
}

bool full_double(const mxArray* array)
{
    return host_class(array) == host_class_double && !host_is_sparse(array);
}

// The outcome that the argument rules give, worked out from the host's view
// of the arguments: "" for a result, else the message.
std::string expected_message(const std::vector<mxArray*>& args)
{
    const size_t n = args.size();
    if (n != 3 && n != 4)
        return "voxblur: No of input arguments should be 3 or 4\n";
    const mxArray* volume = args[0];
    const mxArray* voxel = args[1];
    const mxArray* filter = args[2];
    const mxArray* factor = n == 4 ? args[3] : nullptr;

    auto ndim = [](const mxArray* a) { return mxGetNumberOfDimensions_700(a); };
    if (ndim(voxel) != 2 || (vector_length(voxel) != 3 && vector_length(voxel) != 0))
        return "voxblur: Voxel size should have dimension 3 or []\n";
    if (ndim(filter) != 2 || vector_length(filter) != 3 || host_element_count(filter) == 0)
        return "voxblur: Filter size should have dimension 3\n";
    if (factor && (ndim(factor) != 2 || vector_length(factor) >= 2))
        return "voxblur: Multiplication factor for filter dimension should have dimension 1 "
               "or []\n";
    if (ndim(volume) != 3)
        return "voxblur: Input volume is not a volume\n";

    if (host_element_count(voxel) != 0 && !full_double(voxel))
        return "voxblur: Voxel size should be a full double array\n";
    if (!full_double(filter))
        return "voxblur: Filter size should be a full double array\n";
    if (factor && host_element_count(factor) != 0 && !full_double(factor))
        return "voxblur: Multiplication factor for filter dimension should be a full double "
               "array\n";
    if (!full_double(volume))
        return "voxblur: Input volume should be a full double array\n";

    int32_t largest = std::max({dim(volume, 0), dim(volume, 1), dim(volume, 2)});
    if (largest >= 1024)
        return "gauss_filter(): Image dimension " + std::to_string(largest) + " > 1024";
    return "";
}

bool starts_with(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

void check_result(const mxArray* volume, const mxArray* output)
{
    if (!output)
        broken("the call returned without an output");
    if (host_class(output) != host_class_double || host_is_complex(output) ||
        host_is_sparse(output))
        broken("the output is not a real full double array");
    if (mxGetNumberOfDimensions_700(output) != 3)
        broken("the output is not three-dimensional");
    for (int d = 0; d < 3; ++d)
        if (dim(output, d) != dim(volume, d))
            broken("the output's dimensions differ from the volume's");

    char head[96];
    std::snprintf(head, sizeof head, "GaussFiltering (Image volume: %d x %d x %d)\n",
                  dim(volume, 0), dim(volume, 1), dim(volume, 2));
    std::string console = host_console();
    if (!starts_with(console, head) || console.find("Filter kernel size (") == std::string::npos ||
        console.back() != '\n')
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
    const int nargs = in.next() % 7;
    const int nlhs = in.next() % 2;

    uint64_t budget_left = value_budget;
    std::vector<mxArray*> args;
    std::vector<uint64_t> before;
    for (int i = 0; i < nargs; ++i) {
        args.push_back(make_argument(in, budget_left, i == 0));
        before.push_back(fingerprint(args.back()));
    }
    const std::string want = expected_message(args);

    // MATLAB always passes room for one output, even when none is asked for.
    mxArray* plhs[1] = {nullptr};
    std::vector<const mxArray*> prhs(args.begin(), args.end());
    host_clear_console();
    const int failed = host_call_gateway(mexFunction, nlhs, plhs, nargs, prhs.data());

    if (failed) {
        std::string message = host_error_message();
        if (!starts_with(message, "voxblur: ") && !starts_with(message, "gauss_filter(): ") &&
            !starts_with(message, "filter_1d(): "))
            broken("a message from outside voxblur: " + message);
        if (message != want)
            broken("got \"" + message + "\", the rules give \"" + want + "\"");
    } else {
        if (!want.empty())
            broken("the call succeeded, the rules give \"" + want + "\"");
        check_result(args[0], plhs[0]);
    }
    // The output is the only array the gateway makes, and only once every
    // argument check has passed.
    const bool output_made = want.empty() || starts_with(want, "gauss_filter(): ");
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
