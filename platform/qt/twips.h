#pragma once
#include <QPoint>
#include <QRect>

#include "platform/window.h"

class QScreen;

// Twips <-> pixels through the screen's logical DPI (1440 / dpi twips per pixel).
namespace twips {
double PerPixel(const QScreen* screen = nullptr);
int ToPixels(int value, const QScreen* screen = nullptr);
int FromPixels(int pixels, const QScreen* screen = nullptr);
QRect ToPixels(const TwipsRect& rect, const QScreen* screen = nullptr);
TwipsRect FromPixels(const QRect& rect, const QScreen* screen = nullptr);
}  // namespace twips
