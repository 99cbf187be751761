#include "ChatSession.h"

#include "AppWindows.h"
#include "ChatBot.h"
#include "ChatLogView.h"
#include "ChatServer.h"
#include "Chatsheet.h"
#include "MessageBoxes.h"
#include "DialogDriver.h"
#include "Unitcreate.h"
#include "Unitlogin.h"
#include "Unitmain.h"
#include "Unitpassword.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

namespace e2e {

using DialogDriver::ModalSteps;
using DialogDriver::TypeText;

namespace {

ServerOptions QuietOptions()
{
    ServerOptions options;
    options.bindAddress = QHostAddress(QHostAddress::LocalHost);
    options.port = 0;
    options.lifeIntervalSeconds = 0;
    options.logging = false;
    return options;
}

}  // namespace

ChatSession::ChatSession()
{
    SetBoxInterceptor([this](const QString&, const QString& text) { Boxes << text; });
    auto server = std::make_unique<ChatServer>(QuietOptions());
    if (!dir_.isValid() || !server->Listen())
        return;
    server_ = std::move(server);
    port_ = server_->Port();

    // An installation supplies the server's address and port in the settings file.
    QFile settings(QString::fromStdString(SettingsPath()));
    if (!settings.open(QIODevice::WriteOnly))
        return;
    settings.write(QByteArray("[Common]\r\nIP=127.0.0.1\r\nPort=")
                   + QByteArray::number(server_->Port()) + "\r\n");
    settings.close();

    window_ = CreateApplicationWindows(SettingsPath());
    window_->FirstActivate = false;   // the tests run the connect command themselves
    window_->show();
}

ChatSession::~ChatSession()
{
    CloseWindows();
    bots_.clear();
    server_.reset();
    SetBoxInterceptor({});
}

void ChatSession::CloseWindows()
{
    if (!window_)
        return;
    window_.reset();
    ForgetApplicationWindows();
}

std::string ChatSession::SettingsPath() const
{
    return (dir_.path() + QStringLiteral("/kvchat.INI")).toStdString();
}

void ChatSession::StopServer()
{
    server_.reset();
}

bool ChatSession::StartServer()
{
    ServerOptions options = QuietOptions();
    options.port = port_;
    server_ = std::make_unique<ChatServer>(options);
    return server_->Listen();
}

ChatBot* ChatSession::AddBot(const QByteArray& name)
{
    auto bot = std::make_unique<ChatBot>(name);
    bot->EnterRoom(LobbyName);   // goes out right after the login
    bot->ConnectTo(QStringLiteral("127.0.0.1"), server_->Port());
    ChatBot* raw = bot.get();
    bots_.push_back(std::move(bot));
    const auto lobby = [raw] {
        const auto number = raw->RoomNumber(LobbyName);
        return number && raw->IsIn(*number);
    };
    return QTest::qWaitFor(lobby, Timeout) ? raw : nullptr;
}

bool ChatSession::RunConnect(const QString& name)
{
    ModalSteps steps(*FormLogin, [&] {
        FormLogin->EditName->selectAll();
        TypeText(FormLogin->EditName, name);
        QTest::mouseClick(FormLogin->ButtonOk, Qt::LeftButton);
    });
    window_->OpenMenuClick();
    return steps.Finished();
}

TChatSheet* ChatSession::ConnectToLobby(const QString& name)
{
    if (!RunConnect(name))
        return nullptr;
    return WaitForSheet(LobbyName);
}

bool ChatSession::RunCreateRoom(const QString& name, const QString& password)
{
    ModalSteps steps(*FormCreateRoom, [&] {
        TypeText(FormCreateRoom->EditName, name);
        TypeText(FormCreateRoom->EditPassword, password);
        QTest::mouseClick(FormCreateRoom->ButtonOk, Qt::LeftButton);
    });
    window_->CreateMenuClick();
    return steps.Finished();
}

bool ChatSession::RunEnterRoom(const QString& rowText, const QString& password)
{
    QListWidgetItem* row = RoomRow(window_.get(), rowText);
    if (row == nullptr)
        return false;
    window_->RoomList->setCurrentItem(row);
    // Without a password no dialog may come up: one that does is left open and closed.
    ModalSteps steps(*FormPassword, [&] {
        if (password.isEmpty())
            return;
        TypeText(FormPassword->EditPassword, password);
        QTest::mouseClick(FormPassword->ButtonOk, Qt::LeftButton);
    });
    window_->ButtonEnterRoomClick();
    return password.isEmpty() ? !steps.Ran() : steps.Finished();
}

TChatSheet* ChatSession::WaitForSheet(const QByteArray& roomName) const
{
    TChatSheet* found = nullptr;
    const auto lookup = [&] {
        for (int i = 0; i < window_->PageControl1->count(); ++i) {
            auto* sheet = qobject_cast<TChatSheet*>(window_->PageControl1->widget(i));
            if (sheet != nullptr && sheet->RoomName == roomName.toStdString()) {
                found = sheet;
                return true;
            }
        }
        return false;
    };
    return QTest::qWaitFor(lookup, Timeout) ? found : nullptr;
}

int ChatSession::RoomNumber(const QByteArray& roomName) const
{
    for (int i = 0; i < window_->RoomList->count(); ++i) {
        const auto* row = static_cast<const RoomListItem*>(window_->RoomList->item(i));
        if (QByteArray(row->Room.name) == roomName)
            return row->Room.room;
    }
    return -1;
}

QStringList LogLines(TChatSheet* sheet)
{
    QStringList lines;
    const int count = sheet->ChatLog->LineCount();
    for (int i = 0; i < count; ++i)
        lines << sheet->ChatLog->LineText(i);
    return lines;
}

QStringList MemberRows(TChatSheet* sheet)
{
    QStringList rows;
    for (int i = 0; i < sheet->ListUser->count(); ++i)
        rows << sheet->ListUser->item(i)->text();
    return rows;
}

QStringList RoomRows(TFormMain* window)
{
    QStringList rows;
    for (int i = 0; i < window->RoomList->count(); ++i)
        rows << window->RoomList->item(i)->text();
    return rows;
}

QStringList TabTexts(TFormMain* window)
{
    QStringList texts;
    for (int i = 0; i < window->PageControl1->count(); ++i)
        texts << window->PageControl1->tabText(i);
    return texts;
}

QListWidgetItem* RoomRow(TFormMain* window, const QString& text)
{
    for (int i = 0; i < window->RoomList->count(); ++i) {
        if (window->RoomList->item(i)->text() == text)
            return window->RoomList->item(i);
    }
    return nullptr;
}

QList<QByteArray> TextsFrom(const ChatBot& bot, std::int16_t clientId)
{
    QList<QByteArray> texts;
    for (const ReceivedTalk& talk : bot.Talks()) {
        if (talk.clientId == clientId)
            texts << talk.text;
    }
    return texts;
}

}  // namespace e2e
