#include "DesktopNotice.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
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

bool ServiceAvailable(const QDBusConnection& bus)
{
    if (!bus.isConnected() || bus.interface() == nullptr)
        return false;
    const QString service = Service;
    if (bus.interface()->isServiceRegistered(service).value())
        return true;
    // A service that the bus starts on the first call counts too.
    const QDBusMessage query = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListActivatableNames"));
    const QDBusMessage reply = bus.call(query, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().toStringList().contains(service);
}

bool NotifyOverDBus(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!ServiceAvailable(bus))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
    // Notification servers may read markup in the body; chat text is shown as typed.
    call << QGuiApplication::applicationDisplayName() << 0u << QStringLiteral("kvchat") << summary
         << body.toHtmlEscaped() << QStringList() << QVariantMap() << -1;
    return bus.send(call);
}

void NotifyInTray(const QString& summary, const QString& body)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
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

void MentionNotice::Mentioned(QWidget* window, bool notify, const QString& room, const QString& speaker,
                              const QString& text)
{
    if (window == nullptr || window->isActiveWindow())
        return;
    QApplication::alert(window);
    if (!notify || !PerRoom.Allow(room.toStdString(), Now()))
        return;
    ShowDesktopNotification(room, speaker.isEmpty() ? text : speaker + QStringLiteral("> ") + text);
}
