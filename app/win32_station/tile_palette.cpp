#include "tile_palette.h"

#include <algorithm>
#include <cmath>

namespace knot::win32 {
namespace {

// A channel's share of the light, from its sRGB value.
double Linear(int channel) {
    const double value = channel / 255.0;
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double Luminance(COLORREF colour) {
    return 0.2126 * Linear(GetRValue(colour)) + 0.7152 * Linear(GetGValue(colour)) +
           0.0722 * Linear(GetBValue(colour));
}

} // namespace

TileInk InkOf(TileColour colour) {
    switch (colour) {
    case TileColour::Working: // blue
        return {RGB(0x15, 0x65, 0xC0), RGB(0xFF, 0xFF, 0xFF), RGB(0x0D, 0x3C, 0x73)};
    case TileColour::Hold: // amber: dark text, since white on amber cannot be read
        return {RGB(0xFF, 0xB3, 0x00), RGB(0x1A, 0x1A, 0x1A), RGB(0xFF, 0xE0, 0x99)};
    case TileColour::Pass: // green
        return {RGB(0x2E, 0x7D, 0x32), RGB(0xFF, 0xFF, 0xFF), RGB(0x1B, 0x4B, 0x1E)};
    case TileColour::Fail: // red
        return {RGB(0xC6, 0x28, 0x28), RGB(0xFF, 0xFF, 0xFF), RGB(0x77, 0x18, 0x18)};
    case TileColour::Idle: // grey
    default:
        return {RGB(0xDD, 0xDD, 0xDD), RGB(0x1A, 0x1A, 0x1A), RGB(0xBB, 0xBB, 0xBB)};
    }
}

double ContrastRatio(COLORREF first, COLORREF second) {
    const double a = Luminance(first);
    const double b = Luminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

} // namespace knot::win32
