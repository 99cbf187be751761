#pragma once
// The colours of a log's lines for the palette the log is drawn in: each look
// starts from its known colour and is moved only as far towards black or white
// as it needs to read at least 4.5:1 on the background it is really drawn on,
// so a light, a mid-grey and a dark desktop theme all read.

#include "Contrast.h"

#include <QColor>

#include <array>
#include <cstdint>

class QPalette;

struct LogColours {
    static constexpr int Other = 5;   // the look of a style that is not 0 to 4
    static constexpr int Grey = 6;    // restored lines, dividers, day and unread lines
    static constexpr int Count = 7;

    QColor Base;                                // the log's background
    QColor MentionBackground;
    std::array<QColor, Count> Text{};           // on Base
    std::array<QColor, Count> MentionText{};    // on MentionBackground

    bool operator==(const LogColours&) const = default;
};

// The background of find matches in a log; its text is FindMatchText.
inline const QColor FindMatchBackground(255, 200, 80);
QColor FindMatchText();

// The colours for a log whose palette has this base and text colour.
LogColours LogColoursFor(const QColor& base, const QColor& text);
LogColours LogColoursFor(const QPalette& palette);

// The look index of a style: 0..4 for themselves, Other for the rest.
int StyleLook(std::uint8_t style);
