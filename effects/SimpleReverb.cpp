#include "effects/SimpleReverb.h"

#include <algorithm>

namespace {
constexpr double kRatio[tSimpleReverb::kLines] = {0.164631, 0.513434, 1.0, 0.830484};
} // namespace

bool tSimpleReverb::IsPrime(int n) {
    if (n < 2) return false;
    if (n % 2 == 0) return n == 2;
    for (int d = 3; d <= n / d; d += 2) {
        if (n % d == 0) return false;
    }
    return true;
}

tSimpleReverb::tSimpleReverb(int capacityBase) {
    for (int k = 0; k < kLines; ++k) {
        tLine& line = mLine[k];
        line.capacity = std::max(1, static_cast<int>(capacityBase * kRatio[k]));
        line.memory.reset(new double[line.capacity]());
    }
}

void tSimpleReverb::setLength(int n) {
    for (int k = 0; k < kLines; ++k) {
        tLine& line = mLine[k];
        int length = static_cast<int>(std::max(n, 0) * kRatio[k]);
        if (length % 2 == 0) ++length;
        while (!IsPrime(length)) ++length;
        line.length = std::min(length, line.capacity);
        line.read = line.write - line.length + 1;
        while (line.read < 0) line.read += line.capacity;
    }
}

void tSimpleReverb::clear() {
    for (tLine& line : mLine) {
        std::fill(line.memory.get(), line.memory.get() + line.capacity, 0.0);
        line.last = 0.0;
    }
    mM1 = mM2 = 0.0;
}
