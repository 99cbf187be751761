#pragma once
// The desktop colour schemes the windows must read well in: the toolkit's
// default palette, qt6ct's schemes (their active colours as the files in
// /usr/share/qt6ct/colors give them) and a high-contrast one.

#include <QPalette>
#include <QString>

#include <vector>

struct ThemeScheme {
    QString Name;
    QPalette Palette;
};

std::vector<ThemeScheme> ThemeSchemes();
