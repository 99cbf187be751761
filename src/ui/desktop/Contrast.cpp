#include "Contrast.h"

#include <algorithm>
#include <cmath>

namespace {

double Channel(int value)
{
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

}  // namespace

double RelativeLuminance(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * Channel(rgb.red()) + 0.7152 * Channel(rgb.green()) + 0.0722 * Channel(rgb.blue());
}

double ContrastRatio(const QColor& a, const QColor& b)
{
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor MixColours(const QColor& from, const QColor& to, double amount)
{
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    const auto mix = [amount](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * amount)); };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

QColor ReadableOn(const QColor& colour, const QColor& background, double target)
{
    if (ContrastRatio(colour, background) >= target)
        return colour.toRgb();
    const QColor white(255, 255, 255);
    const QColor black(0, 0, 0);
    const QColor end = ContrastRatio(white, background) >= ContrastRatio(black, background) ? white : black;
    // Fine steps keep the hue: a red that is just dark enough stays a red.
    constexpr int Steps = 64;
    for (int step = 1; step < Steps; ++step) {
        const QColor mixed = MixColours(colour, end, static_cast<double>(step) / Steps);
        if (ContrastRatio(mixed, background) >= target)
            return mixed;
    }
    return end;
}
