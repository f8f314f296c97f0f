// One table of gateway calls, each with what the caller must see. The same
// table runs in every host: the stand-in loaders of each platform and
// GNU Octave.
#pragma once

#include <array>
#include <ostream>
#include <cstdint>
#include <string>
#include <vector>

struct Argument {
    std::string class_name = "double";
    std::vector<int32_t> dims;
    std::vector<double> real;
    std::vector<double> imag;  // non-empty for a complex argument
    bool sparse = false;
};

// Arguments as tables write them: an array of the given dimensions and
// values (storage order), a 1 x n row, [], a 1 x 1 value; the same with
// another class, stored sparse, or with imaginary parts; a volume of
// random values in [-50, 150) drawn from the seed.
Argument array(std::vector<int32_t> dims, std::vector<double> values);
Argument row(std::vector<double> values);
Argument empty();
Argument scalar(double value);
Argument of_class(Argument a, std::string class_name);
Argument as_sparse(Argument a);
Argument with_imag(Argument a, std::vector<double> imag);
Argument volume(std::vector<int32_t> dims, unsigned seed);

struct GatewayCase {
    std::string name;
    std::vector<Argument> args;
    // A failed argument check: the gateway's message, with nothing printed.
    std::string gateway_error;
    // Otherwise the engine call the gateway must make on the volume's real
    // part; its console text, error and result are what the caller sees,
    // after the image-volume line.
    std::array<double, 3> widths{};
    int32_t factor = 4;
    // The factor of the engine call that gives the same result where the
    // host's arithmetic keeps x87 intermediates at 64-bit precision: a
    // product that lands on a half-integer in double may fall just below
    // it there, and truncate one lower.
    int32_t x87_extended_factor = 4;
};

// gtest prints a failing case by its name, not its bytes.
inline void PrintTo(const GatewayCase& c, std::ostream* os)
{
    *os << c.name;
}

const std::vector<GatewayCase>& gateway_cases();

// The cases in the loader's input format.
std::string case_file_text(const std::vector<GatewayCase>& cases);

// A runner's option NAME=VALUE: true, with VALUE in `value`, when
// `argument` is one.
bool take_option(const char* argument, const char* name, std::string& value);
