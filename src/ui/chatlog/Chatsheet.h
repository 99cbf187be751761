#pragma once
// One entered room: a tab page with the room's log and its member list.

#include "DayLine.h"
#include "GmMessages.h"
#include "LineStore.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ChatLogView;
class ChatLogger;
struct LogTarget;
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

    // isMention, when given, sees the utterance's text (UTF-8, without the speaker)
    // and decides whether its line is marked LineMention.
    void AddLog(const GmTalk::Info& info, const std::function<bool(std::string_view)>& isMention = {});
    // Everything that puts a line into the room's tab comes through here: the line
    // goes into Lines (line breaks flattened) and, when the log is on screen, to it.
    void AddLine(std::string_view utf8Text, std::uint8_t style, std::uint8_t flags = 0,
                 std::int64_t time = std::time(nullptr));
    // Only the tab on screen keeps its log laid out (see ChatLogView).
    void ShowLog(bool onScreen);
    // The user left the tab (another tab, or the window lost the focus) or came
    // back. The first line that arrives while away gets the unread marker before
    // it; the marker of an earlier absence goes.
    void SetAway(bool away);
    bool Away() const { return away_; }
    void AddUserList(const GmRoomUser::Info& info);
    // The names of the members present, UTF-8, in the order of the list.
    std::vector<std::string> MemberNames() const;
    void DeleteUserList(std::int16_t clientId);
    int FindUser(std::int16_t clientId) const;

    ChatLogView* ChatLog = nullptr;
    QGroupBox* GroupUser = nullptr;
    QListWidget* ListUser = nullptr;
    std::int16_t RoomNo = -1;
    std::array<UserItem, MaxRoomUsers> UserItems{};
    std::int32_t nUserCount = 0;
    std::string RoomName;   // CP932, the tab's caption without the unread mark
    bool Unread = false;    // the caption carries the unread mark
    bool UnreadMention = false;   // a line named the user while the tab was not active
    // Lines a room keeps. The session fuzzer makes it small, so that its floods
    // drop lines as a busy room does, at a fraction of the cost.
    static inline std::size_t LineLimit = LineStore::Capacity;
    LineStore Lines{LineLimit};   // the room's lines: what its log shows
    // Where the room's lines are kept on disk; none while logging is off.
    ChatLogger* Logger = nullptr;
    std::shared_ptr<const LogTarget> LogFile;

signals:
    // A member's row was double-clicked; name is theirs, without the mark.
    void MemberChosen(const QString& name);
    // Line `number` of Lines was taken out (the unread marker moving): the lines
    // before it now have numbers one higher.
    void LineErased(quint64 number);

private:
    void markUnread(std::int64_t time);
    void markDay(std::string_view utf8Text, std::uint8_t flags, std::int64_t time);
    void store(std::string_view cp932Text, std::string_view utf8Text, std::uint8_t style, std::uint8_t flags,
               std::int64_t time);
    void addLine(std::string_view cp932Text, std::string_view utf8Text, std::uint8_t style, std::uint8_t flags,
                 std::int64_t time);

    bool away_ = false;
    bool markPending_ = false;              // away, and no line has arrived since
    std::optional<std::uint64_t> marker_;   // the marker's line number in Lines
    std::optional<chatlog::LocalDate> lastDate_;   // of the last line with a known date
};
