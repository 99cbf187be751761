#include "SjisText.h"

#include "Cp932.h"

#include <QStringView>

QString FromSjis(std::string_view bytes)
{
    const std::string utf8 = cp932::ToUtf8(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToSjis(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    if (auto sjis = cp932::FromUtf8(std::string_view(utf8.constData(), utf8.size())))
        return std::move(*sjis);

    // Only a character at a time can tell which ones have no code.
    std::string out;
    const QStringView view(text);
    for (qsizetype i = 0; i < view.size();) {
        const qsizetype units =
            view[i].isHighSurrogate() && i + 1 < view.size() && view[i + 1].isLowSurrogate() ? 2 : 1;
        const QByteArray character = view.mid(i, units).toUtf8();
        const auto sjis = cp932::FromUtf8(std::string_view(character.constData(), character.size()));
        out += sjis ? *sjis : std::string("?");
        i += units;
    }
    return out;
}

bool CanEncodeSjis(const QString& text)
{
    return SjisByteLength(text) >= 0;
}

int SjisByteLength(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    const auto length = cp932::ByteLength(std::string_view(utf8.constData(), utf8.size()));
    return length ? static_cast<int>(*length) : -1;
}
