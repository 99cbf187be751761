#pragma once
// How well one colour reads on another (the WCAG contrast ratio), and the
// nearest readable variant of a colour, so every text colour of the program can
// follow from the background it is really drawn on rather than from a guess
// whether the desktop theme is light or dark.

#include <QColor>

inline constexpr double ReadableContrast = 4.5;

// The relative luminance of a colour, 0 (black) to 1 (white).
double RelativeLuminance(const QColor& colour);

// The contrast ratio of two colours by their relative luminance, 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);

// from moved by amount (0 to 1) towards to, channel by channel.
QColor MixColours(const QColor& from, const QColor& to, double amount);

// The colour itself when it reads at least `target` (4.5:1 unless said) on
// background, otherwise the nearest step towards white or black (whichever reads
// better there) that does. Black or white reaches 4.5:1 on any background, so the
// result always does; a higher target may end at black or white short of it.
QColor ReadableOn(const QColor& colour, const QColor& background, double target = ReadableContrast);
