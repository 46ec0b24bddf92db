#pragma once

#include <cmath>

// Rounds to the nearest integer, ties to even (0.5 -> 0, 1.5 -> 2, 2.5 -> 2).
inline int roundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}
