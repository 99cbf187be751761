#include "Chatsheet.h"

#include "ChatLogView.h"
#include "ChatLogger.h"
#include "Cp932.h"
#include "LinkOpener.h"
#include "SjisText.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>

#include <cstring>
#include <memory>

TChatSheet::TChatSheet(QWidget* Owner, std::int16_t roomNo, const std::string& roomName)
    : QWidget(Owner)
{
    ChatLog = new ChatLogView(Lines, this);
    ChatLog->setObjectName(QStringLiteral("ChatLog"));
    InstallLinkOpener(ChatLog);
    GroupUser = new QGroupBox(QStringLiteral("入室者一覧(&U)"), this);
    GroupUser->setObjectName(QStringLiteral("GroupUser"));
    GroupUser->setFixedWidth(181);
    ListUser = new QListWidget(GroupUser);
    ListUser->setObjectName(QStringLiteral("ListUser"));
    ListUser->setSelectionMode(QAbstractItemView::SingleSelection);
    ListUser->setUniformItemSizes(true);

    auto* groupLayout = new QVBoxLayout(GroupUser);
    groupLayout->setContentsMargins(4, 4, 4, 4);
    groupLayout->addWidget(ListUser);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ChatLog, 1);
    layout->addWidget(GroupUser);
    setTabOrder(ChatLog, ListUser);
    connect(ListUser, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        const int k = ListUser->row(item);
        if (k >= 0 && k < nUserCount)
            emit MemberChosen(FromSjis(UserItems[k].Name));
    });

    RoomName = roomName;
    RoomNo = roomNo;
    // A screen reader names the log and the members by their room, as the tab does.
    const QString room = FromSjis(roomName);
    ChatLog->setAccessibleName(QStringLiteral("チャットログ"));
    ChatLog->setAccessibleDescription(QStringLiteral("%1 の発言。新しい行は下に加わります").arg(room));
    ListUser->setAccessibleName(QStringLiteral("入室者一覧"));
    ListUser->setAccessibleDescription(QStringLiteral("%1 にいる人").arg(room));
}

TChatSheet::~TChatSheet() = default;

int TChatSheet::FindUser(std::int16_t clientId) const
{
    for (int k = 0; k < nUserCount; ++k) {
        if (UserItems[k].nClientID == clientId)
            return k;
    }
    return -1;
}

void TChatSheet::AddLog(const GmTalk::Info& info, const std::function<bool(std::string_view)>& isMention)
{
    if (info.room != RoomNo)
        return;
    std::string line;
    const int k = FindUser(info.clientID);
    if (k != -1) {
        line = UserItems[k].Name;
        line += "> ";
    } else if (info.name[0] != '\0') {
        line = info.name;
        line += ">";
    }
    // The speaker part ends with an ASCII sign, so converting the two parts apart
    // gives the same text as converting the line whole.
    std::string utf8 = cp932::ToUtf8(line);
    const std::size_t textStart = utf8.size();
    utf8 += cp932::ToUtf8(info.text);
    const bool mention = isMention && isMention(std::string_view(utf8).substr(textStart));
    line += info.text;
    addLine(line, utf8, info.style, mention ? LineMention : 0, std::time(nullptr));
}

void TChatSheet::AddLine(std::string_view utf8Text, std::uint8_t style, std::uint8_t flags, std::int64_t time)
{
    addLine({}, utf8Text, style, flags, time);
}

void TChatSheet::addLine(std::string_view cp932Text, std::string_view utf8Text, std::uint8_t style,
                         std::uint8_t flags, std::int64_t time)
{
    if (markPending_ && (flags & LineGrey) == 0)
        markUnread(time);
    markDay(utf8Text, flags, time);
    store(cp932Text, utf8Text, style, flags, time);
}

void TChatSheet::store(std::string_view cp932Text, std::string_view utf8Text, std::uint8_t style,
                       std::uint8_t flags, std::int64_t time)
{
    // A line from the wire keeps its own bytes in the store instead of being converted back.
    if (cp932Text.empty())
        Lines.Append(utf8Text, style, time, flags);
    else
        Lines.AppendCp932(cp932Text, utf8Text, style, time, flags);
    const std::string_view stored = Lines.NewestText();
    // Lines read back from the log are on disk already; the grey lines between them never go there.
    if (Logger != nullptr && (flags & LineGrey) == 0)
        Logger->Write(LogFile, time, stored);
    ChatLog->LineAdded({stored, style, flags, time});
}

void TChatSheet::markUnread(std::int64_t time)
{
    markPending_ = false;
    const std::uint64_t firstKept = Lines.Appended() - Lines.Size();
    if (marker_ && *marker_ >= firstKept) {
        const auto index = static_cast<std::size_t>(*marker_ - firstKept);
        ChatLog->LineErasing(index);
        Lines.Erase(index);
        emit LineErased(*marker_);
    }
    store({}, {}, 0, LineMarker, time);
    marker_ = Lines.Appended() - 1;
}

void TChatSheet::markDay(std::string_view utf8Text, std::uint8_t flags, std::int64_t time)
{
    // Restored lines carry their logged date in their text; the other grey lines have none.
    std::optional<chatlog::LocalDate> date;
    if ((flags & LineGrey) == 0)
        date = chatlog::LocalDateOf(time);
    else if ((flags & LineGrey) == LineRestored)
        date = chatlog::DateOfLogLine(utf8Text);
    if (!date)
        return;
    if (lastDate_ && *lastDate_ != *date)
        store({}, chatlog::DayLineText(*date), 0, LineDay, time);
    lastDate_ = date;
}

void TChatSheet::SetAway(bool away)
{
    if (away && !away_)
        markPending_ = true;
    if (!away)
        markPending_ = false;
    away_ = away;
}

void TChatSheet::ShowLog(bool onScreen)
{
    ChatLog->SetOnScreen(onScreen);
}

void TChatSheet::AddUserList(const GmRoomUser::Info& info)
{
    for (int i = 0; i < info.count && i < MaxRoomMembers; ++i) {
        const GmRoomUser::Member& m = info.members[i];
        if (FindUser(m.clientID) != -1)
            continue;
        // At the table's limit a member is neither recorded nor listed, so rows and
        // entries stay in step and departures remove the right row.
        if (nUserCount >= MaxRoomUsers)
            continue;
        UserItem& item = UserItems[nUserCount++];
        item.nClientID = m.clientID;
        item.nMark = m.flag;
        std::memcpy(item.Name, m.name, sizeof item.Name);
        item.Name[sizeof item.Name - 1] = '\0';

        QString row = FromSjis(m.name);
        if (m.flag != 0)
            row += QStringLiteral(" (*)");
        ListUser->addItem(row);
    }
}

std::vector<std::string> TChatSheet::MemberNames() const
{
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(nUserCount));
    for (int k = 0; k < nUserCount; ++k)
        names.push_back(cp932::ToUtf8(UserItems[k].Name));
    return names;
}

void TChatSheet::DeleteUserList(std::int16_t clientId)
{
    const int k = FindUser(clientId);
    if (k == -1)
        return;
    for (int i = k; i + 1 < nUserCount; ++i)
        UserItems[i] = UserItems[i + 1];
    --nUserCount;
    UserItems[nUserCount] = UserItem{};
    std::unique_ptr<QListWidgetItem>(ListUser->takeItem(k));
}
