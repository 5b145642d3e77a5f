// When an effects unit's signal state counts as died away, so that the module may stop
// processing while its input is silent, and how the state of a recursive filter is measured
// against that level.
#pragma once

#include <algorithm>
#include <cmath>

// -200 dBFS. The units behind a unit, at their most resonant, and the master gain at its
// loudest lift a unit's output by some thousands at most: a state this small stays far below
// half a step of the 16-bit output (-96 dBFS), so leaving it unprocessed does not move a
// sample.
constexpr double kQuietLevel = 1e-8;

// The largest pole radius of the two-pole recurrence y = x + p y1 + q y2.
inline double PoleRadius(double p, double q) {
    const double d = p * p + 4.0 * q;
    if (d < 0.0) return std::sqrt(-q);
    const double root = std::sqrt(d);
    return std::max(std::fabs(p + root), std::fabs(p - root)) / 2.0;
}

// A generous estimate of the largest value the recurrence's free ring reaches from its last
// two values y1, y2: their size over the poles' distance from the unit circle (infinite for
// a recurrence that does not die away).
inline double RingBound(double y1, double y2, double p, double q) {
    const double radius = PoleRadius(p, q);
    if (!(radius < 1.0)) return INFINITY;
    return (std::fabs(y1) + std::fabs(y2)) / (1.0 - radius);
}
