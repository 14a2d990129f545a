#pragma once
// Twips: 1440 to the inch, 15 to a pixel at 96 dots per inch.

#include <cmath>

inline int twipsToPixels(int twips, double dpi) {
    return int(std::lround(twips * dpi / 1440.0));
}
inline int pixelsToTwips(int pixels, double dpi) {
    return int(std::lround(pixels * 1440.0 / dpi));
}
