#pragma once

#include "platform/rounding.h"

// 15 twips per logical pixel (1440 per inch at 96 dpi).
constexpr int TwipsPerPixel = 15;
inline int twipsToPixels(int twips)
{
    return roundHalfEven(twips / double(TwipsPerPixel));
}
inline int pixelsToTwips(int pixels)
{
    return pixels * TwipsPerPixel;
}
