#pragma once
// One entered room: a tab page with the room's log and its member list.

#include "GmMessages.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <string>

class ChatLogView;
class QGroupBox;
class QListWidget;

inline constexpr int MaxRoomUsers = 200;

struct UserItem {
    std::int16_t nClientID = 0;
    std::uint8_t nMark = 0;
    char Name[MaxUserNameBytes + 1] = {};
};

class TChatSheet : public QWidget {
    Q_OBJECT
public:
    TChatSheet(QWidget* Owner, std::int16_t RoomNo, const std::string& RoomName);
    ~TChatSheet() override;

    void AddLog(const GmTalk::Info& info);
    void AddUserList(const GmRoomUser::Info& info);
    void DeleteUserList(std::int16_t clientId);
    int FindUser(std::int16_t clientId) const;

    ChatLogView* ChatLog = nullptr;
    QGroupBox* GroupUser = nullptr;
    QListWidget* ListUser = nullptr;
    std::int16_t RoomNo = -1;
    std::array<UserItem, MaxRoomUsers> UserItems{};
    std::int32_t nUserCount = 0;
    std::string RoomName;   // CP932, the tab's caption without the unread mark
    bool UnreadMention = false;   // a line named the user while the tab was not active
};

// The colour of a line's style; unknown styles show in black.
QColor StyleColor(std::uint8_t style);
