#include "DesktopNotice.h"

#include "TrayIcon.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QGuiApplication>
#include <QIcon>
#include <QSystemTrayIcon>
#include <QVariantMap>
#include <QWidget>

#include <chrono>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");

NotificationInterceptor& Interceptor()
{
    static NotificationInterceptor instance;
    return instance;
}

void NotifyInTray(const QString& summary, const QString& body);

// Sent without waiting: the bus starts the service if it is not running, and an
// answer that is an error (no such service) falls back to the tray.
bool NotifyOverDBus(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
    // Notification servers may read markup in the body; chat text is shown as typed.
    call << QGuiApplication::applicationDisplayName() << 0u << QStringLiteral("kvchat") << summary
         << body.toHtmlEscaped() << QStringList() << QVariantMap() << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), qApp);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [summary, body](QDBusPendingCallWatcher* w) {
        if (w->isError())
            NotifyInTray(summary, body);
        w->deleteLater();
    });
    return true;
}

void NotifyInTray(const QString& summary, const QString& body)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    // The program's own icon when it shows one, rather than a second icon.
    if (TrayIcon* own = TrayIcon::Shown()) {
        own->ShowMessage(summary, body);
        return;
    }
    static QSystemTrayIcon* tray = nullptr;
    if (tray == nullptr) {
        tray = new QSystemTrayIcon(QApplication::windowIcon(), qApp);
        tray->setToolTip(QGuiApplication::applicationDisplayName());
    }
    tray->show();
    tray->showMessage(summary, body, QSystemTrayIcon::Information);
}

std::int64_t SteadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void SetNotificationInterceptor(NotificationInterceptor interceptor) { Interceptor() = std::move(interceptor); }

void ShowDesktopNotification(const QString& summary, const QString& body)
{
    if (Interceptor()) {
        Interceptor()(summary, body);
        return;
    }
    if (!NotifyOverDBus(summary, body))
        NotifyInTray(summary, body);
}

MentionNotice::MentionNotice() : Now(SteadyMs) {}

bool MentionNotice::Mentioned(QWidget* window, bool notify, const std::string& room)
{
    if (window == nullptr || window->isActiveWindow())
        return false;
    const std::int64_t now = Now();
    if (Alerts.Allow({}, now))
        QApplication::alert(window);
    return notify && PerRoom.Allow(room, now);
}
