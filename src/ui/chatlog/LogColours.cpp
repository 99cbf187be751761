#include "LogColours.h"

#include <QPalette>

namespace {

// The styles' own colours; style 0 and the others take the palette's text.
const std::array<QColor, 5> StyleColours = {QColor(0, 0, 0), QColor(255, 0, 0), QColor(0, 128, 0),
                                            QColor(0, 0, 255), QColor(255, 0, 0)};
const QColor MentionTint(255, 200, 0);
// Small text is antialiased and draws lighter than its colour: a colour at just
// 4.5:1 measures below that on screen, so each colour aims at 5:1 where it can.
constexpr double AimedContrast = 5.0;

QColor Readable(const QColor& wanted, const QColor& background)
{
    // Not as far as bare black or white, though: the styles keep their hues.
    const QColor further = ReadableOn(wanted, background, AimedContrast);
    const bool keepsHue = further != QColor(Qt::white) && further != QColor(Qt::black);
    return keepsHue && ContrastRatio(further, background) >= AimedContrast ? further
                                                                            : ReadableOn(wanted, background);
}

}  // namespace

QColor FindMatchText()
{
    return ReadableOn(QColor(0, 0, 0), FindMatchBackground);
}

int StyleLook(std::uint8_t style)
{
    return style <= 4 ? style : LogColours::Other;
}

LogColours LogColoursFor(const QColor& base, const QColor& text)
{
    LogColours colours;
    colours.Base = base.toRgb();
    // A yellow wash of the log's own background: it stands out on any base.
    colours.MentionBackground = MixColours(colours.Base, MentionTint, 0.35);
    std::array<QColor, LogColours::Count> wanted{};
    for (std::size_t look = 0; look < StyleColours.size(); ++look)
        wanted[look] = StyleColours[look];
    wanted[0] = text.toRgb();
    wanted[LogColours::Other] = wanted[0];
    // Halfway between text and base, then as near to that as still reads.
    wanted[LogColours::Grey] = MixColours(wanted[0], colours.Base, 0.5);
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
