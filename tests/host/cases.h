// The plug-in's case table (tests/plugin_cases.txt) and the arguments of
// its cases, parsed from their small subset of Octave's syntax.
#ifndef ARVEL_TEST_CASES_H
#define ARVEL_TEST_CASES_H

#include "mexApi.h"

#include <cstddef>
#include <string>
#include <vector>

namespace arvel_test {

struct Argument {
    mxClassID classId = mxDOUBLE_CLASS;
    bool complex = false;
    bool sparse = false;
    bool claimsOnly = false;  // Huge(m, n): a shape without data
    std::size_t m = 0, n = 0;
    std::vector<double> values;  // m * n, column-major
};

enum class Outcome { value, error, notFound };

struct Case {
    int line = 0;
    std::string name;
    std::string invoked;
    bool hostOnly = false;
    // Why the case cannot be made on this host (an array dimension beyond
    // a 32-bit size_t, say), or empty.
    std::string skipped;
    std::string argumentText;
    std::vector<Argument> arguments;
    int outputs = 1;
    Outcome outcome = Outcome::value;
    int k = 1;             // for values
    std::string message;   // for errors, with its newline
};

// The m x n uniform samples U(m, n, seed): a 32-bit linear congruential
// stream, exact in double arithmetic, so Octave makes the same values.
std::vector<double> uniformSamples(std::size_t m, std::size_t n,
                                   unsigned seed);

// Reads the table; on a malformed line, returns false with a message.
bool readCases(const std::string& path, std::vector<Case>& cases,
               std::string& problem);

}  // namespace arvel_test

#endif
