#pragma once

#include <map>
#include <string>
#include <vector>

// The command line of a benchmark program: "--name value" pairs from a known set, and where the
// programs it starts are found (beside itself, in the build's bin/). Bad input throws BenchFailure.
class BenchOptions
{
public:
    struct Option
    {
        std::string name; // with its leading "--"
        std::string fallback;
        std::string help;
    };

    // "--help" prints the usage and exits 0.
    BenchOptions(int argc, char** argv, const std::string& purpose, std::vector<Option> known);

    std::string text(const std::string& name) const;
    // A whole number of at least `least`.
    int number(const std::string& name, int least) const;

    // A program in the directory this one was started from.
    static std::string besideThisProgram(const std::string& name);

private:
    std::string usage(const std::string& program, const std::string& purpose) const;

    std::vector<Option> options;
    std::map<std::string, std::string> values;
};
