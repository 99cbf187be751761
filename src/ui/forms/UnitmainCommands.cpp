// The user's room and chat commands, and the formation board's events.
#include "Unitmain.h"

#include "Chatsheet.h"
#include "InputHistoryFilter.h"
#include "NameCompletionFilter.h"
#include "RecordField.h"
#include "ShellOpen.h"
#include "SjisText.h"
#include "TextRules.h"
#include "Unitboard.h"
#include "Unitcreate.h"
#include "Unitpassword.h"
#include "Unitsetting.h"

#include <QDate>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QSplitter>

#include <cstring>

void TFormMain::SendTalk(std::string_view text)
{
    if (const TChatSheet* sheet = ActiveChatSheet())
        SendTalkTo(sheet->RoomNo, text);
}

void TFormMain::SendTalkTo(std::int16_t room, std::string_view text)
{
    GmTalk::Info info;
    info.room = room;
    info.clientID = ClientID;
    // Receivers that do not list us yet can still name the speaker.
    CopyToField(info.name, UserName, MaxUserNameBytes);
    CopyToField(info.text, text, MaxTalkBytes);
    info.style = 0;
    Protocol.Talk.Encode(info);
    SendPacket();
}

void TFormMain::ButtonSendChatClick()
{
    const std::string text = ToSjis(EditInputChat->text());
    if (ActiveChatSheet() != nullptr)
        ChatHistory->Sent(EditInputChat->text());
    SendTalk(text);
    EditInputChat->clear();
}

void TFormMain::setUpCompletion()
{
    new NameCompletionFilter(EditInputChat, [this] {
        const TChatSheet* sheet = ActiveChatSheet();
        return sheet != nullptr ? sheet->MemberNames() : std::vector<std::string>{};
    });
}

void TFormMain::InsertMemberName(const QString& name)
{
    if (!PanelInput->isEnabled())
        return;
    EditInputChat->insert(name);   // the input's byte limit applies
    EditInputChat->setFocus();
}

void TFormMain::selectPage(int direction)
{
    const int count = PageControl1->count();
    if (count == 0)
        return;
    int index = PageControl1->currentIndex();
    for (int step = 0; step < count; ++step) {
        if (index < 0)
            index = direction > 0 ? 0 : count - 1;
        else
            index = (index + direction + count) % count;
        if (PageControl1->isTabVisible(index))
            break;
    }
    PageControl1->setCurrentIndex(index);
    PageControl1Change();
}

void TFormMain::MenuPrevClick() { selectPage(-1); }
void TFormMain::MenuNextClick() { selectPage(+1); }

void TFormMain::PageControl1Change()
{
    TChatSheet* active = ActiveChatSheet();
    // Only the tab on screen keeps a laid-out log; the others keep their lines in their stores.
    for (int i = 0; i < PageControl1->count(); ++i) {
        if (auto* sheet = qobject_cast<TChatSheet*>(PageControl1->widget(i))) {
            sheet->ShowLog(sheet == active);
            sheet->SetAway(sheet != active || windowAway_);
        }
    }
    if (active != nullptr && active->Unread)
        SetSheetCaption(active, false);
}

void TFormMain::MenuRoomDispClick()
{
    if (PanelRoomList->isVisible())
        roomPanelHeight_ = roomPanelHeight();
    PanelRoomList->setVisible(PanelRoomList->isHidden());
    if (PanelRoomList->isVisible())
        Splitter1->setSizes({roomPanelHeight_, std::max(1, Splitter1->height() - roomPanelHeight_)});
}

void TFormMain::RetireMenuClick()
{
    TChatSheet* sheet = ActiveChatSheet();
    if (sheet == nullptr)
        return;
    GmRetire::Info info;
    info.room = sheet->RoomNo;
    Protocol.Retire.Encode(info);
    SendPacket();
}

void TFormMain::MenuSettingClick()
{
    FormSetting->Execute(StartRooms);
}

void TFormMain::CreateMenuClick()
{
    std::string name;
    if (!FormCreateRoom->Execute(name, LastPassword))
        return;
    GmCreateRoom::Info info;
    info.kind = 2;
    CopyToField(info.name, name, MaxRoomNameBytes);
    CopyToField(info.password, LastPassword, MaxPasswordBytes);
    Protocol.CreateRoom.Encode(info);
    SendPacket();
}

void TFormMain::ButtonEnterRoomClick()
{
    auto* item = static_cast<RoomListItem*>(RoomList->currentItem());
    if (item == nullptr || !item->isSelected())
        return;
    // Copied out: the row may go away while the password dialog is open.
    const std::int16_t room = item->Room.room;
    const bool hasPassword = item->Room.hasPassword;
    LastPassword.clear();
    if (hasPassword && !FormPassword->Execute(LastPassword))
        return;
    GmEnterRoom::Info info;
    info.room = room;
    CopyToField(info.password, LastPassword, MaxPasswordBytes);
    Protocol.EnterRoom.Encode(info);
    SendPacket();
}

void TFormMain::MenuHtmlHomeClick() { ShellOpen(FromSjis(UrlHome)); }
void TFormMain::MenuHtmlKVGAMEClick() { ShellOpen(FromSjis(UrlGate)); }
void TFormMain::MenuHtmlHoudouClick() { ShellOpen(FromSjis(UrlHoudou)); }

void TFormMain::MenuHtmlReserveClick()
{
    ShellOpen(FromSjis(UrlReserve) + QLatin1Char('#') + QString::number(QDate::currentDate().day()));
}

void TFormMain::ButtonBoardClick()
{
    TChatSheet* sheet = ActiveChatSheet();
    if (sheet == nullptr)
        return;
    ButtonBoard->setEnabled(false);
    FormBoard->ShowBoard(sheet->RoomNo, sheet->RoomName);
}

void TFormMain::SendBoardLine(int nRoom, const std::string& Text)
{
    // The board belongs to the room it was opened from, not to the tab on top.
    if (!Socket1->Active())
        emit BoardLineRefused(QStringLiteral("接続していないため、盤の変更を送信していません"));
    else if (!IsBoardRoom(nRoom))
        emit BoardLineRefused(QStringLiteral("盤の部屋にいないため、盤の変更を送信していません"));
    else
        SendTalkTo(static_cast<std::int16_t>(nRoom), Text);
}

bool TFormMain::IsBoardRoom(int nRoom) const
{
    // The number alone is not enough: a room that is gone frees it for another.
    const TChatSheet* sheet = FindSheet(static_cast<std::int16_t>(nRoom));
    return sheet != nullptr && FormBoard != nullptr && sheet->RoomName == FormBoard->BoundRoomName();
}

void TFormMain::FormBoardClose()
{
    ButtonBoard->setEnabled(true);
}
