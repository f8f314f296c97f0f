// The functions the gateway fuzz targets call. Each is a gateway with its
// own oracle: the driver (gateway_fuzz.cpp) builds the arguments from the
// input, calls the gateway through the stand-in host, and checks what is
// common to every MEX function (the message is the one the oracle names,
// the inputs are unchanged, the host holds nothing afterwards); the entry
// checks its own result.
//
// Adding a function is one more file like voxblur_entry.cpp and one more
// row of `entries` in gateway_fuzz.cpp. Every gateway is named mexFunction,
// so a second one is compiled under another name (CMakeLists.txt).
#ifndef VOXBLUR_FUZZ_ENTRIES_H
#define VOXBLUR_FUZZ_ENTRIES_H

#include <cstddef>
#include <string>
#include <vector>

#include "host.h"

[[noreturn]] void broken(const std::string& what);

struct FuzzEntry {
    const char* name;
    mex_gateway gateway;
    // Arguments a caller may pass (the driver passes 0 to this many).
    int most_arguments;
    // Outputs a caller may ask for (the driver asks for 0 to this many).
    int most_outputs;
    // The outcome the function's rules give for these arguments: "" for a
    // result, else the whole message of its error call.
    std::string (*expected_message)(const std::vector<mxArray*>& args);
    // How many arrays the call leaves for the host to clear after ending
    // with `message` ("" for a result).
    size_t (*arrays_made)(const std::string& message, int nlhs);
    // Checks a result (outputs and console text); calls broken() if wrong.
    void (*check_result)(const std::vector<mxArray*>& args, mxArray* const* plhs, int nlhs);
};

extern const FuzzEntry voxblur_entry;
extern const FuzzEntry voxsmooth_entry;

#endif
