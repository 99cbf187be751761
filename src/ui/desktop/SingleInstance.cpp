#include "SingleInstance.h"

#include "PathBytes.h"

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

#include <algorithm>
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
bool IsPrivateFolder(const std::string& folder)
{
    struct stat status {};
    return ::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid()
        && (status.st_mode & 077) == 0;
}

// A local socket's name is limited by the system, and the toolkit names it in
// text: a folder too deep or not spelled in UTF-8 would leave the lock without
// a socket, and a second start without an answer.
bool SocketFits(const std::string& folder)
{
    constexpr std::size_t NameLength = sizeof("/kvchat-") - 1 + 32 + sizeof(".socket") - 1;
    return folder.size() + NameLength < sizeof(sockaddr_un::sun_path)
        && QFile::encodeName(QFile::decodeName(QByteArray::fromStdString(folder))).toStdString() == folder;
}

bool Usable(const std::string& folder)
{
    return !folder.empty() && folder.front() == '/' && IsPrivateFolder(folder) && SocketFits(folder);
}

QString ActivationToken()
{
    // Wayland hands it in XDG_ACTIVATION_TOKEN, X11 in DESKTOP_STARTUP_ID.
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    return token.isEmpty() ? qEnvironmentVariable("DESKTOP_STARTUP_ID") : token;
}

}  // namespace

SingleInstance::Places SingleInstance::SystemPlaces()
{
    return {qgetenv("XDG_RUNTIME_DIR").toStdString(), "/run/user/" + std::to_string(::geteuid()), "/tmp"};
}

SingleInstance::SingleInstance(const std::string& settingsFile, QObject* parent)
    : SingleInstance(settingsFile, SystemPlaces(), parent)
{
}

SingleInstance::SingleInstance(const std::string& settingsFile, const Places& places, QObject* parent)
    : QObject(parent)
{
    const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(ResolvedPath(settingsFile)),
                                                     QCryptographicHash::Sha256)
                                .toHex()
                                .left(32);
    const std::string name = "/kvchat-" + hash.toStdString();
    // The same order in every start, the folder found whatever the environment
    // first, so two starts at once meet at the first lock.
    std::vector<std::string> folders;
    if (!places.temp.empty()) {
        const std::string own = places.temp + "/kvchat-" + std::to_string(::geteuid());
        ::mkdir(own.c_str(), 0700);
        if (Usable(own))
            madeFolder_ = own;   // ours, made now or by an earlier run
        folders.push_back(own);
    }
    std::vector<std::string> seen;
    for (const std::string& folder : {places.userRuntime, places.runtime}) {
        if (!folder.empty())
            seen.push_back(folder);
    }
    for (const std::string& folder : seen) {
        const auto same = [&](const std::string& known) { return ResolvedPath(known) == ResolvedPath(folder); };
        if (std::none_of(folders.begin(), folders.end(), same))
            folders.push_back(folder);
    }
    std::vector<std::string> refusedFolders;
    for (const std::string& folder : folders) {
        if (!Usable(folder)) {
            if (::access(folder.c_str(), F_OK) == 0)
                refusedFolders.push_back(folder);
            continue;
        }
        if (!take(folder + name) && state_ == State::OtherRuns)
            return;
    }
    if (held_.empty()) {
        state_ = State::Refused;
        problem_ = QStringLiteral("二重起動を防ぐロックを置ける、このユーザーだけのフォルダーがありません");
        for (const std::string& folder : refusedFolders)
            problem_ += QStringLiteral("\n%1: 他のユーザーのもの、または他のユーザーも使えるフォルダーです")
                            .arg(QFile::decodeName(QByteArray::fromStdString(folder)));
    }
}

bool SingleInstance::take(const std::string& base)
{
    const std::string lockFile = base + ".lock";
    // A program that ends removes its lock file while it holds it: a file locked
    // after it was removed is not the lock any more, so try the new one.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return false;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool busy = errno == EWOULDBLOCK;
            ::close(fd);
            if (busy) {
                release();
                state_ = State::OtherRuns;
                otherSocket_ = QFile::decodeName(QByteArray::fromStdString(base + ".socket"));
            }
            return false;
        }
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && ::lstat(lockFile.c_str(), &named) == 0 && opened.st_dev == named.st_dev
            && opened.st_ino == named.st_ino) {
            Held held{lockFile, fd, new QLocalServer(this)};
            const QString socket = QFile::decodeName(QByteArray::fromStdString(base + ".socket"));
            QLocalServer::removeServer(socket);   // left by a program that crashed; the lock is ours
            held.server->setSocketOptions(QLocalServer::UserAccessOption);
            connect(held.server, &QLocalServer::newConnection, this,
                    [this, server = held.server] { onConnection(server); });
            held.server->listen(socket);
            held_.push_back(held);
            return true;
        }
        ::close(fd);
    }
    return false;
}

void SingleInstance::release()
{
    for (Held& held : held_) {
        held.server->close();   // removes the socket file
        delete held.server;
        ::unlink(held.lockFile.c_str());   // while still locked, see take()
        ::close(held.fd);
    }
    held_.clear();
}

SingleInstance::~SingleInstance()
{
    release();
    if (!madeFolder_.empty())
        ::rmdir(madeFolder_.c_str());   // only when empty: another program may be using it
}

void SingleInstance::onConnection(QLocalServer* server)
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
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
    const QString& name = otherSocket_;
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
