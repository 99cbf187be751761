#include "MainWindowFixture.h"

#include "AppWindows.h"
#include "ChatLogFiles.h"
#include "Chatsheet.h"
#include "MessageBoxes.h"
#include "ShellOpen.h"
#include "Unitmain.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

MainWindowFixture::MainWindowFixture(const QByteArray& settingsText)
{
    if (!settingsText.isEmpty()) {
        QFile f(QString::fromStdString(SettingsPath()));
        f.open(QIODevice::WriteOnly);
        f.write(settingsText);
    }
    SetBoxInterceptor([this](const QString&, const QString& text) { Boxes << text; });
    SetShellOpenInterceptor([this](const QString& address) { Opened << address; });
    window_ = CreateApplicationWindows(SettingsPath());
    window_->FirstActivate = false;   // tests open the connection themselves
}

MainWindowFixture::~MainWindowFixture()
{
    Close();
    SetBoxInterceptor({});
    SetShellOpenInterceptor({});
}

void MainWindowFixture::Close()
{
    if (window_) {
        window_.reset();
        ForgetApplicationWindows();
    }
}

QString MainWindowFixture::LogFilePath(const std::string& stem, int year, int month) const
{
    const QString folder =
        QString::fromStdString(window_->LogFolder) + QStringLiteral("/127.0.0.1_%1").arg(Server.Port());
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + QString::fromStdString(chatlog::MonthFileName(stem, year, month));
}

bool MainWindowFixture::WriteLogFile(const std::string& stem, int year, int month, const QByteArray& bytes) const
{
    QFile file(LogFilePath(stem, year, month));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

std::string MainWindowFixture::SettingsPath() const
{
    return (dir_.path() + QStringLiteral("/kvchat.INI")).toStdString();
}

QByteArray MainWindowFixture::SettingsBytes() const
{
    QFile f(QString::fromStdString(SettingsPath()));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool MainWindowFixture::Connect()
{
    window_->Socket1->Address = "127.0.0.1";
    window_->Socket1->Port = Server.Port();
    if (!window_->Socket1->Open().isEmpty())
        return false;
    if (!QTest::qWaitFor([this] { return window_->Socket1->Active(); }, 10000))
        return false;
    const auto ready = Server.NextFrame();
    return ready && *ready == QByteArray::fromHex("00070101010101");
}

bool MainWindowFixture::Handshake(std::int16_t clientId)
{
    return Connect() && login(clientId);
}

bool MainWindowFixture::AcceptHandshake(std::int16_t clientId)
{
    const auto ready = Server.NextFrame();
    return ready && *ready == QByteArray::fromHex("00070101010101") && login(clientId);
}

bool MainWindowFixture::login(std::int16_t clientId)
{
    ClientId = clientId;
    Server.SendAReady(0, clientId);
    if (!Server.NextPacket() || Server.Protocol.Packet.Type() != GmTypeConnect)
        return false;
    Server.SendAConnect(0);
    for (int i = 0; i < window_->StartRooms.Count; ++i) {
        if (!Server.NextPacket() || Server.Protocol.Packet.Type() != GmTypeEnterRoom)
            return false;
    }
    return true;
}

TChatSheet* MainWindowFixture::OpenRoom(std::int16_t room, const QByteArray& name,
                                        const std::vector<GmRoomUser::Member>& others)
{
    Server.SendRoomList({MakeRoom(room, name)});
    std::vector<GmRoomUser::Member> members{MakeMember(ClientId, "me")};
    members.insert(members.end(), others.begin(), others.end());
    Server.SendRoomUser(room, members);
    TChatSheet* sheet = nullptr;
    if (!QTest::qWaitFor([&] { return (sheet = window_->FindSheet(room)) != nullptr; }, 10000))
        return nullptr;
    return sheet;
}

QList<QByteArray> MainWindowFixture::FramesUntilSync()
{
    // A retire for room 50 is never sent by the commands under test here.
    GmRetire::Info info;
    info.room = 50;
    window_->Protocol.Retire.Encode(info);
    window_->SendPacket();
    QList<QByteArray> frames;
    while (auto frame = Server.NextFrame()) {
        if (*frame == QByteArray::fromHex("00041332"))
            return frames;
        frames << *frame;
    }
    frames << QByteArray("<timeout>");
    return frames;
}

void OnNextModal(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
        if (modal->isVisible()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        }
    });
    timer->start();
}
