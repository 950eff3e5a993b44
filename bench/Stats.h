#pragma once

#include <string>
#include <vector>

// Summaries of measured samples and the way the benchmark programs print them.
namespace Stats {

double median(std::vector<double> samples);
// Nearest-rank percentile, `p` in (0, 100].
double percentile(std::vector<double> samples, double p);

// "123.4" with one decimal, right-aligned in `width`.
std::string fixed(double value, int width, int decimals = 1);
// "1.23x", or "n/a" when the base is not positive.
std::string ratio(double value, double base);

} // namespace Stats
