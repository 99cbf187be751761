#include "ThemeSchemes.h"

#include <QApplication>
#include <QStringList>
#include <QStyle>

namespace {

struct SchemeColours {
    const char* name;
    const char* active;   // the 21 roles in QPalette::ColorRole order, as qt6ct writes them
};

const SchemeColours Schemes[] = {
    {"airy", "#ff000000, #ffdcdcdc, #ffdcdcdc, #ff5e5c5b, #ff646464, #ffe1e1e1, #ff000000, #ff0a0a0a, #ff0a0a0a, "
             "#ffc8c8c8, #ffffffff, #ffe7e4e0, #ff0986d3, #ff0a0a0a, #ff0986d3, #ffa70b06, #ff5c5b5a, #ffffffff, "
             "#ff646464, #ff050505, #80000000"},
    {"darker", "#ffffffff, #ff424245, #ff979797, #ff5e5c5b, #ff302f2e, #ff4a4947, #ffffffff, #ffffffff, #ffffffff, "
               "#ff3d3d3d, #ff222020, #ffe7e4e0, #ff12608a, #fff9f9f9, #ff0986d3, #ffa70b06, #ff5c5b5a, #ffffffff, "
               "#ff3f3f36, #ffffffff, #80ffffff"},
    {"dusk", "#ff000000, #ff7f7f7f, #ffffffff, #ffcbc7c4, #ff7f7f7f, #ffb8b5b2, #ff000000, #ffffffff, #ff000000, "
             "#ff7f7f7f, #ff7f7f7f, #ff707070, #ff308cc6, #ffffffff, #ff0000ff, #ffff00ff, #ff7f7f7f, #ff000000, "
             "#ff7f7f7f, #ff000000, #80000000"},
    {"simple", "#ff000000, #ffefebe7, #ffffffff, #ffcbc7c4, #ff9f9d9a, #ffb8b5b2, #ff000000, #ffffffff, #ff000000, "
               "#ffffffff, #ffefebe7, #ffb1aeab, #ff308cc6, #ffffffff, #ff0000ff, #ffff0000, #fff7f5f3, #ff000000, "
               "#ffffffdc, #ff000000, #80000000"},
    {"waves", "#ffb0b0b0, #ff010b2c, #ff979797, #ff5e5c5b, #ff302f2e, #ff4a4947, #ffb0b0b0, #ffb0b0b0, #ffb0b0b0, "
              "#ff010b2c, #ff010b2c, #ffb0b0b0, #ff302f2e, #ffb0b0b0, #ff0986d3, #ffa70b06, #ff5c5b5a, #ffffffff, "
              "#ff0a0a0a, #ffffffff, #80b0b0b0"},
    // White on black with yellow selection, as high-contrast desktop themes have it.
    {"high contrast", "#ffffffff, #ff000000, #ffffffff, #ffffffff, #ffffffff, #ffffffff, #ffffffff, #ffffffff, "
                      "#ffffffff, #ff000000, #ff000000, #ff000000, #ffffff00, #ff000000, #ff00ffff, #ffff80ff, "
                      "#ff000000, #ffffffff, #ff000000, #ffffffff, #ffc0c0c0"},
};

QPalette PaletteOf(const char* active)
{
    QPalette palette;
    const QStringList colours = QString::fromLatin1(active).split(QLatin1Char(','));
    for (int role = 0; role < colours.size() && role < QPalette::NColorRoles; ++role)
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            palette.setColor(group, static_cast<QPalette::ColorRole>(role),
                             QColor::fromString(colours[role].trimmed()));
    return palette;
}

}  // namespace

std::vector<ThemeScheme> ThemeSchemes()
{
    std::vector<ThemeScheme> schemes{{QStringLiteral("default"), QApplication::style()->standardPalette()}};
    for (const SchemeColours& scheme : Schemes)
        schemes.push_back({QString::fromLatin1(scheme.name), PaletteOf(scheme.active)});
    return schemes;
}
