#include "ServerOptions.h"

#include <QString>

std::optional<VersionTriple> ParseVersion(QStringView text)
{
    const auto parts = text.split(u'.');
    if (parts.size() != 3)
        return std::nullopt;
    VersionTriple version{};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const int value = parts[i].toInt(&ok);
        if (!ok || value < 0 || value > 255)
            return std::nullopt;
        version[i] = value;
    }
    return version;
}
