#pragma once

#include "platform/rounding.h"

#include <optional>

// Mappings between the main window's 0..100 bars and the engines' own units.
namespace RatePitch {

// Generation 4: a bar position onto an engine range, and back.
inline int positionToEngine(int position, int minimum, int maximum)
{
    return roundHalfEven(position * double(maximum - minimum) / 100.0 + minimum);
}
// Empty for a range of zero width: the caller reports that as a division by zero.
inline std::optional<int> engineToPosition(int value, int minimum, int maximum)
{
    if (maximum == minimum)
        return std::nullopt;
    return roundHalfEven(double(value - minimum) / double(maximum - minimum) * 100.0);
}

// Generation 5: bar 0..100 onto Rate -10..10, and back.
inline int positionToRate5(int position)
{
    return roundHalfEven(position / 5.0 - 10.0);
}
inline int rate5ToPosition(int rate)
{
    return rate * 5 + 50;
}

// Volume bar onto a generation-4 channel volume.
inline int positionToChannelVolume(int position)
{
    return roundHalfEven(position * 655.35);
}

} // namespace RatePitch
