// What a host reported for each gateway call, read back from the loader's
// result format (which the Octave runner writes too).
#pragma once

#include <map>
#include <string>
#include <vector>

struct CallResult {
    std::string console;
    bool failed = false;
    std::string error;
    std::vector<long> output_dims;  // empty when no output was returned
    std::string output_class = "double";
    std::vector<double> values;
    bool inputs_unchanged = false;
    long live_arrays = -1;
};

struct HostResults {
    std::string mex_version;  // empty when the MEX file exports none
    std::map<std::string, CallResult> calls;
};

HostResults parse_host_results(const std::string& text);

// Runs `command MEX-FILE EXPORT` with `cases` on standard input and returns
// what it printed; throws when it fails.
std::string run_host_command(const std::string& command, const std::string& mex_file,
                             const std::string& gateway_export, const std::string& cases);
