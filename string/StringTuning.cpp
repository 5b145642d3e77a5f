#include "string/StringTuning.h"

#include <algorithm>
#include <cmath>

namespace stringtuning {

double onePoleDelay(double a1, double omega) {
    // H = b0 / (1 − a1·e^−jω): its phase lag over ω.
    return std::atan2(a1 * std::sin(omega), 1.0 - a1 * std::cos(omega)) / omega;
}

double allpassDelay(double c, double omega) {
    // H = (c + e^−jω) / (1 + c·e^−jω).
    const double s = std::sin(omega);
    const double k = std::cos(omega);
    const double lag = std::atan2(-c * s, 1.0 + c * k) - std::atan2(-s, c + k);
    return lag / omega;
}

double allpassCoefficient(double delay, double omega) {
    constexpr double kLargest = 0.999;
    const double below = std::sin(0.5 * omega * (1.0 + delay));
    double c = (1.0 - delay) / (1.0 + delay); // the low-frequency design
    if (std::fabs(below) > 1e-9 && 0.5 * omega * (1.0 + delay) < 3.0) {
        c = std::sin(0.5 * omega * (1.0 - delay)) / below;
    }
    if (!std::isfinite(c)) c = 0.0;
    return std::clamp(c, -kLargest, kLargest);
}

} // namespace stringtuning
