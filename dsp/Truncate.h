// Conversion of a computed real count to an int: truncation toward zero, as every count in the
// synthesizer is taken, but held within the range of an int. A damaged patch value can make
// a count that no int holds; it then saturates instead of being undefined. NaN gives 0.
#pragma once

#include <limits>

inline int TruncateToInt(double x) {
    if (!(x == x)) return 0;
    if (x >= 2147483647.0) return std::numeric_limits<int>::max();
    if (x <= -2147483648.0) return std::numeric_limits<int>::min();
    return static_cast<int>(x);
}
