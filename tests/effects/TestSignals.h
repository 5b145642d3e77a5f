// Small signal helpers shared by the effects tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

// A record as the patch reader would pass it: the integers of text, then -1.
inline std::vector<int> Record(const std::string& text) {
    std::istringstream in(text);
    std::vector<int> values;
    int v;
    while (in >> v) values.push_back(v);
    values.push_back(-1);
    while (values.size() < 20) values.push_back(12345); // what a reused buffer might hold
    return values;
}

// A deterministic white noise in -1..1.
class tTestNoise {
public:
    double next() {
        mState = mState * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(mState >> 11) / static_cast<double>(1ULL << 52) - 1.0;
    }

private:
    std::uint64_t mState = 0x9e3779b97f4a7c15ULL;
};

inline double Peak(const std::vector<double>& x, std::size_t from = 0) {
    double peak = 0.0;
    for (std::size_t i = from; i < x.size(); ++i) peak = std::max(peak, std::fabs(x[i]));
    return peak;
}
