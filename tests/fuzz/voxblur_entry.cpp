// voxblur's oracle for the fuzz targets: the argument rules worked out
// again from the host's view of the arguments, and what a result must be.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_entries.h"

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

bool starts_with(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

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

// The output is the only array the gateway makes, and only once every
// argument check has passed.
size_t arrays_made(const std::string& message, int)
{
    return message.empty() || starts_with(message, "gauss_filter(): ") ? 1 : 0;
}

void check_result(const std::vector<mxArray*>& args, mxArray* const* plhs, int)
{
    const mxArray* volume = args[0];
    const mxArray* output = plhs[0];
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

const FuzzEntry voxblur_entry = {"voxblur", mexFunction, 6, 1, expected_message, arrays_made,
                                 check_result};
