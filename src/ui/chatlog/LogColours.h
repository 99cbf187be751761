#pragma once
// The colours of a log's lines for the palette the log is drawn in. In a light
// palette (its base lighter than its text) the style colours are used as they
// are; in a dark one, lighter variants, each kept at a contrast of at least
// 4.5:1 with the background it is drawn on, so a dark desktop theme does not
// leave black text on near-black.

#include <QColor>

#include <array>
#include <cstdint>

class QPalette;

inline constexpr double ReadableContrast = 4.5;

// The contrast ratio of two colours by their relative luminance, 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);

struct LogColours {
    static constexpr int Other = 5;   // the look of a style that is not 0 to 4
    static constexpr int Grey = 6;    // restored lines and their divider
    static constexpr int Count = 7;

    bool Dark = false;
    QColor Base;                                // the log's background
    QColor MentionBackground;
    std::array<QColor, Count> Text{};           // on Base
    std::array<QColor, Count> MentionText{};    // on MentionBackground

    bool operator==(const LogColours&) const = default;
};

// The colours for a log whose palette has this base and text colour.
LogColours LogColoursFor(const QColor& base, const QColor& text);
LogColours LogColoursFor(const QPalette& palette);

// The look index of a style: 0..4 for themselves, Other for the rest.
int StyleLook(std::uint8_t style);
