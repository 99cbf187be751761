#include "ServerLog.h"

#include "Cp932.h"

#include <cstdio>

QString PrintableText(std::string_view sjis)
{
    return QString::fromStdString(cp932::ToUtf8(sjis));
}

void LogLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8();
    std::fprintf(stderr, "%s\n", bytes.constData());
    std::fflush(stderr);
}
