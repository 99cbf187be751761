#include "LogColours.h"

#include <QPalette>

#include <cmath>

namespace {

const QColor LightGrey(128, 128, 128);
const QColor LightMention(255, 240, 160);
// Starting points in a dark palette; Readable() lightens them further when the
// desktop's base is not dark enough for them.
const std::array<QColor, 5> DarkStyles = {QColor(0, 0, 0) /* the palette's text */, QColor(255, 118, 118),
                                          QColor(96, 208, 96), QColor(128, 160, 255), QColor(255, 118, 118)};
const QColor DarkGrey(160, 160, 160);
const QColor DarkMention(92, 74, 12);

double Channel(int value)
{
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c)
{
    const QColor rgb = c.toRgb();
    return 0.2126 * Channel(rgb.red()) + 0.7152 * Channel(rgb.green()) + 0.0722 * Channel(rgb.blue());
}

QColor Mix(const QColor& from, const QColor& to, double amount)
{
    const auto mix = [amount](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * amount)); };
    return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()), mix(from.blue(), to.blue()));
}

// The colour itself when it reads well on background, otherwise the nearest
// step towards white or black (whichever reads better there) that does.
QColor Readable(const QColor& colour, const QColor& background)
{
    if (ContrastRatio(colour, background) >= ReadableContrast)
        return colour;
    const QColor white(255, 255, 255);
    const QColor black(0, 0, 0);
    const QColor target = ContrastRatio(white, background) >= ContrastRatio(black, background) ? white : black;
    for (int step = 1; step <= 20; ++step) {
        const QColor mixed = Mix(colour, target, step / 20.0);
        if (ContrastRatio(mixed, background) >= ReadableContrast)
            return mixed;
    }
    return target;
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

int StyleLook(std::uint8_t style)
{
    return style <= 4 ? style : LogColours::Other;
}

LogColours LogColoursFor(const QColor& base, const QColor& text)
{
    LogColours colours;
    colours.Base = base.toRgb();
    // A text that does not stand off its base says nothing about the theme:
    // then the base alone tells, dark when white reads better on it than black.
    if (ContrastRatio(base, text) >= ReadableContrast)
        colours.Dark = Luminance(base) < Luminance(text);
    else
        colours.Dark = ContrastRatio(QColor(255, 255, 255), base) > ContrastRatio(QColor(0, 0, 0), base);
    if (!colours.Dark) {
        // The style colours stay exactly as the community knows them.
        colours.MentionBackground = LightMention;
        colours.Text = {QColor(0, 0, 0), QColor(255, 0, 0), QColor(0, 128, 0), QColor(0, 0, 255),
                        QColor(255, 0, 0), QColor(0, 0, 0), LightGrey};
        colours.MentionText = colours.Text;
        return colours;
    }
    colours.MentionBackground = DarkMention;
    std::array<QColor, LogColours::Count> wanted{};
    for (int look = 0; look < 5; ++look)
        wanted[static_cast<std::size_t>(look)] = DarkStyles[static_cast<std::size_t>(look)];
    wanted[0] = text.toRgb();
    wanted[LogColours::Other] = wanted[0];
    wanted[LogColours::Grey] = DarkGrey;
    for (std::size_t look = 0; look < wanted.size(); ++look) {
        colours.Text[look] = Readable(wanted[look], colours.Base);
        colours.MentionText[look] = Readable(wanted[look], colours.MentionBackground);
    }
    return colours;
}

LogColours LogColoursFor(const QPalette& palette)
{
    return LogColoursFor(palette.color(QPalette::Active, QPalette::Base),
                         palette.color(QPalette::Active, QPalette::Text));
}
