#pragma once
// Starts the real main window (with all of the program's windows) against a
// ScriptedServer, with its settings file in a temporary folder.

#include "ScriptedServer.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>

class TChatSheet;
class TFormMain;

class MainWindowFixture {
public:
    // settingsText: the settings file's bytes before start (none when empty).
    explicit MainWindowFixture(const QByteArray& settingsText = {});
    ~MainWindowFixture();

    TFormMain* Window() const { return window_.get(); }
    std::string SettingsPath() const;
    QByteArray SettingsBytes() const;
    // Destroys the windows as program end does (the settings are saved).
    void Close();
    // A room's month file in the window's log folder for the scripted server
    // (the folders are made); WriteLogFile gives it these bytes.
    QString LogFilePath(const std::string& stem, int year, int month) const;
    bool WriteLogFile(const std::string& stem, int year, int month, const QByteArray& bytes) const;

    // Opens the socket to the scripted server and takes the opening message.
    bool Connect();
    // Connect, GmAReady status 0 with this identifier, GmAConnect status 0;
    // reads the GmConnect and the start-up GmEnterRoom frames.
    bool Handshake(std::int16_t clientId = 7);
    // The server's side of a handshake the client started by itself (a reconnect):
    // takes the opening message, then answers as Handshake does.
    bool AcceptHandshake(std::int16_t clientId = 7);
    // Announces the room and sends its member list with the user and others.
    TChatSheet* OpenRoom(std::int16_t room, const QByteArray& name,
                         const std::vector<GmRoomUser::Member>& others = {});
    // Makes the client send a known frame and reads frames up to it, so a test
    // can tell that nothing else was sent before.
    QList<QByteArray> FramesUntilSync();

    ScriptedServer Server;
    QStringList Boxes;
    QStringList Opened;   // addresses handed to the shell
    std::int16_t ClientId = 7;

private:
    bool login(std::int16_t clientId);

    QTemporaryDir dir_;
    std::unique_ptr<TFormMain> window_;
};

// Runs `action` on the next modal dialog once it is shown, then closes it.
void OnNextModal(std::function<void(QWidget*)> action);
