#include "host_results.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

namespace {

std::string unescape(const std::string& text)
{
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        char kind = text[++i];
        if (kind == 'n')
            plain += '\n';
        else if (kind == 'x' && i + 2 < text.size()) {
            plain += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else
            plain += kind;
    }
    return plain;
}

// The text after "label " on a line, or nullptr when the line is not one.
const char* after_label(const std::string& line, const char* label)
{
    std::string prefix = std::string(label) + ' ';
    if (line.compare(0, prefix.size(), prefix) == 0)
        return line.c_str() + prefix.size();
    if (line == label)
        return "";
    return nullptr;
}

}  // namespace

HostResults parse_host_results(const std::string& text)
{
    HostResults results;
    std::istringstream lines(text);
    std::string line;
    CallResult* call = nullptr;
    while (std::getline(lines, line)) {
        const char* rest;
        if ((rest = after_label(line, "mex-version")))
            results.mex_version = unescape(rest);
        else if ((rest = after_label(line, "case")))
            call = &results.calls[rest];
        else if (!call)
            throw std::runtime_error("result line outside a case: " + line);
        else if ((rest = after_label(line, "console")))
            call->console = unescape(rest);
        else if ((rest = after_label(line, "error"))) {
            call->failed = true;
            call->error = unescape(rest);
        } else if ((rest = after_label(line, "output"))) {
            std::istringstream fields(rest);
            long ndim = 0, d;
            fields >> ndim;
            while (fields >> d)
                call->output_dims.push_back(d);
        } else if ((rest = after_label(line, "class"))) {
            call->output_class = rest;
        } else if ((rest = after_label(line, "values"))) {
            char* end;
            long count = std::strtol(rest, &end, 10);
            for (long i = 0; i < count; ++i)
                call->values.push_back(std::strtod(end, &end));
        } else if ((rest = after_label(line, "inputs")))
            call->inputs_unchanged = std::string(rest) == "unchanged";
        else if ((rest = after_label(line, "live-arrays")))
            call->live_arrays = std::strtol(rest, nullptr, 10);
        else if (line == "end")
            call = nullptr;
        else
            throw std::runtime_error("unexpected result line: " + line);
    }
    return results;
}

std::string run_host_command(const std::string& command, const std::string& mex_file,
                             const std::string& gateway_export, const std::string& cases)
{
    char case_path[] = "/tmp/voxblur-cases-XXXXXX";
    int fd = mkstemp(case_path);
    if (fd < 0)
        throw std::runtime_error("cannot create a case file");
    close(fd);
    std::ofstream(case_path) << cases;

    std::string line = command + " '" + mex_file + "' " + gateway_export + " < " + case_path;
    FILE* pipe = popen(line.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run: " + line);
    std::string output;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    int status = pclose(pipe);
    std::remove(case_path);
    if (status != 0)
        throw std::runtime_error("host command failed (" + std::to_string(status) + "): " + line);
    return output;
}
