#include "ShellOpen.h"

#include <QDesktopServices>
#include <QUrl>

namespace {
std::function<void(const QString&)>& interceptor()
{
    static std::function<void(const QString&)> instance;
    return instance;
}
} // namespace

void SetShellOpenInterceptor(std::function<void(const QString&)> f) { interceptor() = std::move(f); }

void ShellOpen(const QString& address)
{
    if (interceptor()) {
        interceptor()(address);
        return;
    }
    if (address.isEmpty())
        return;   // nothing to open; the shell would report nothing either
    QDesktopServices::openUrl(QUrl::fromUserInput(address));
}
