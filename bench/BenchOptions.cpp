#include "BenchOptions.h"

#include "BenchFailure.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

BenchOptions::BenchOptions(int argc, char** argv, const std::string& purpose, std::vector<Option> known)
    : options(std::move(known))
{
    for (const Option& option : options) {
        values[option.name] = option.fallback;
    }
    const std::string program = argc > 0 ? argv[0] : "benchmark";
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            std::fputs(usage(program, purpose).c_str(), stdout);
            std::exit(0);
        }
        if (values.find(name) == values.end()) {
            throw BenchFailure(BenchFailure::Setup, "unknown option " + name + "\n" + usage(program, purpose));
        }
        if (i + 1 >= argc) {
            throw BenchFailure(BenchFailure::Setup, name + " needs a value");
        }
        values[name] = argv[++i];
    }
}

std::string BenchOptions::usage(const std::string& program, const std::string& purpose) const
{
    std::string text = "usage: " + program + " [OPTION VALUE]...\n" + purpose + "\n";
    for (const Option& option : options) {
        text += "  " + option.name + " " + std::string(std::max<size_t>(1, 20 - option.name.size()), ' ') +
                option.help + (option.fallback.empty() ? "" : " (" + option.fallback + ")") + "\n";
    }
    return text;
}

std::string BenchOptions::text(const std::string& name) const
{
    const auto found = values.find(name);
    return found == values.end() ? std::string() : found->second;
}

int BenchOptions::number(const std::string& name, int least) const
{
    const std::string value = text(name);
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno != 0 || n < least || n > INT_MAX) {
        throw BenchFailure(BenchFailure::Setup, name + " takes a whole number of at least " + std::to_string(least) +
                                                    ", not '" + value + "'");
    }
    return static_cast<int>(n);
}

std::string BenchOptions::besideThisProgram(const std::string& name)
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return name;
    }
    const std::string self(path, static_cast<size_t>(n));
    return self.substr(0, self.rfind('/') + 1) + name;
}
