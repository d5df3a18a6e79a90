#pragma once

#include <QRect>

namespace ui {

// Layout arithmetic stays in twips; this is the one place that converts.
namespace Twips {
constexpr int PerPixel = 15;
constexpr int ToPixels(double twips) { return static_cast<int>(twips / PerPixel + (twips >= 0 ? 0.5 : -0.5)); }
constexpr double FromPixels(int pixels) { return static_cast<double>(pixels) * PerPixel; }
inline QRect Rect(double left, double top, double width, double height)
{
    return QRect(ToPixels(left), ToPixels(top), ToPixels(width), ToPixels(height));
}
} // namespace Twips

} // namespace ui
