#include "SingleInstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr char RaiseWord[] = "raise";
constexpr char AnswerWord[] = "ok";
// A start that finds the lock taken waits this long between two attempts to
// reach the program that holds it (it may still be on its way to listening).
constexpr int RetryMs = 100;
constexpr int ReactivateMs = 200;

// A folder that only this user can use: ours, a real folder (no link) and
// closed to everyone else. Anything else could let another user answer for us.
bool IsPrivateFolder(const QString& folder)
{
    struct stat status {};
    return lstat(QFile::encodeName(folder).constData(), &status) == 0 && S_ISDIR(status.st_mode)
        && status.st_uid == geteuid() && (status.st_mode & 077) == 0;
}

// A local socket's name is limited by the system; a folder too deep for it
// would leave the lock without a socket, and a second start without an answer.
bool SocketFits(const QString& folder)
{
    constexpr qsizetype NameLength = sizeof("/kvchat-") - 1 + 32 + sizeof(".socket") - 1;
    return QFile::encodeName(folder).size() + NameLength < qsizetype(sizeof(sockaddr_un::sun_path));
}

QString PrivateFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && IsPrivateFolder(runtime) && SocketFits(runtime))
        return runtime;
    // Without a runtime folder: one of our own under the shared temporary folder.
    const QString fallback = QDir::tempPath() + QStringLiteral("/kvchat-%1").arg(geteuid());
    ::mkdir(QFile::encodeName(fallback).constData(), 0700);
    return IsPrivateFolder(fallback) ? fallback : QString();
}

// The same file however it was named: links and "." and ".." resolved as far
// as the path exists (a first start's file and folders may not exist yet).
QString CanonicalPath(const std::string& settingsFile)
{
    QString existing = QDir::cleanPath(QFileInfo(QString::fromStdString(settingsFile)).absoluteFilePath());
    QString rest;
    while (!existing.isEmpty()) {
        if (const QString canonical = QFileInfo(existing).canonicalFilePath(); !canonical.isEmpty())
            return canonical + rest;
        const qsizetype slash = existing.lastIndexOf(QLatin1Char('/'));
        if (slash < 0)
            break;
        rest.prepend(existing.mid(slash));
        existing.truncate(slash);
    }
    return rest.isEmpty() ? existing : rest;
}

QString ActivationToken()
{
    // Wayland hands it in XDG_ACTIVATION_TOKEN, X11 in DESKTOP_STARTUP_ID.
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    return token.isEmpty() ? qEnvironmentVariable("DESKTOP_STARTUP_ID") : token;
}

}  // namespace

QString SingleInstance::BaseName(const std::string& settingsFile)
{
    const QString folder = PrivateFolder();
    if (folder.isEmpty())
        return {};
    const QByteArray hash =
        QCryptographicHash::hash(CanonicalPath(settingsFile).toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return folder + QStringLiteral("/kvchat-") + QString::fromLatin1(hash);
}

SingleInstance::SingleInstance(const std::string& settingsFile, QObject* parent) : QObject(parent)
{
    base_ = BaseName(settingsFile);
    if (base_.isEmpty())
        return;
    // The system drops the lock with the process however it ends, so no lock is ever stale.
    lockFd_ = ::open(QFile::encodeName(base_ + QStringLiteral(".lock")).constData(),
                     O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0)
        return;   // a lock that cannot be made tells nothing: run without the check
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        otherRuns_ = errno == EWOULDBLOCK;
        ::close(lockFd_);
        lockFd_ = -1;
        return;
    }
    const QString name = base_ + QStringLiteral(".socket");
    QLocalServer::removeServer(name);   // left by a program that crashed; the lock is ours
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::onConnection);
    server_->listen(name);
}

SingleInstance::~SingleInstance()
{
    if (server_)
        server_->close();
    if (lockFd_ >= 0)
        ::close(lockFd_);   // the file stays: removing it could let two programs lock two files
}

void SingleInstance::onConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // One short request: "raise", a line break, the token, a line break.
            if (socket->bytesAvailable() > 4096) {
                socket->abort();
                return;
            }
            const QByteArray request = socket->peek(4096);
            if (request.count('\n') < 2)
                return;
            const QList<QByteArray> lines = request.split('\n');
            if (lines.value(0) != RaiseWord) {
                socket->abort();
                return;
            }
            socket->write(QByteArray(AnswerWord) + '\n');
            socket->flush();
            socket->disconnectFromServer();
            emit RaiseRequested(QString::fromUtf8(lines.value(1)));
        });
    }
}

bool SingleInstance::AskOtherToRaise(int timeoutMs, const std::function<bool()>& giveUp) const
{
    const QString name = base_ + QStringLiteral(".socket");
    QElapsedTimer waited;
    waited.start();
    // Every wait is short, so a signal ends it without waiting out the time limit.
    const auto goOn = [&] {
        QCoreApplication::processEvents();
        return !giveUp() && !waited.hasExpired(timeoutMs);
    };
    while (goOn()) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (!socket.waitForConnected(RetryMs)) {
            QThread::msleep(RetryMs);
            continue;
        }
        socket.write(QByteArray(RaiseWord) + '\n' + ActivationToken().toUtf8() + '\n');
        while (socket.bytesToWrite() > 0 && goOn())
            socket.waitForBytesWritten(RetryMs);
        while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState && goOn())
            socket.waitForReadyRead(RetryMs);
        return socket.canReadLine() && socket.readLine().trimmed() == AnswerWord;
    }
    return false;
}

void BringToFront(QWidget* window, const QString& token)
{
    if (!token.isEmpty() && qEnvironmentVariableIsEmpty("XDG_ACTIVATION_TOKEN"))
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());   // the Wayland plugin takes it from here
    if (window->isMinimized())
        window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
    // Without a window manager, X11 takes a focus request only with a time no
    // older than the last focus change; the request above made the server tell
    // us the current time, so a second one, a moment later, carries it.
    QTimer::singleShot(ReactivateMs, window, [window = QPointer<QWidget>(window)] {
        if (window && !window->isActiveWindow())
            window->activateWindow();
    });
}
