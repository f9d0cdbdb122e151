#include "platform/qt/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace twips {
double PerPixel(const QScreen* screen) {
    if (!screen) screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int ToPixels(int value, const QScreen* screen) {
    return static_cast<int>(std::lround(value / PerPixel(screen)));
}

int FromPixels(int pixels, const QScreen* screen) {
    return static_cast<int>(std::lround(pixels * PerPixel(screen)));
}

QRect ToPixels(const TwipsRect& rect, const QScreen* screen) {
    return {ToPixels(rect.Left, screen), ToPixels(rect.Top, screen), ToPixels(rect.Width, screen),
            ToPixels(rect.Height, screen)};
}

TwipsRect FromPixels(const QRect& rect, const QScreen* screen) {
    return {FromPixels(rect.x(), screen), FromPixels(rect.y(), screen),
            FromPixels(rect.width(), screen), FromPixels(rect.height(), screen)};
}
}  // namespace twips
