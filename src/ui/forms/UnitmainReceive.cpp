// The connection's events, the receive path and the handlers of the server's messages.
#include "Unitmain.h"

#include "ChatLogView.h"
#include "Chatsheet.h"
#include "ConnectionKeeper.h"
#include "FindBar.h"
#include "MessageBoxes.h"
#include "RecordField.h"
#include "SjisText.h"
#include "TextRules.h"
#include "Unitboard.h"
#include "Unitupdate.h"

#include <QListWidget>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QLineEdit>

#include <cstring>

void TFormMain::SendPacket()
{
    Socket1->SendBuf(Packet.Data(), static_cast<std::uint16_t>(Packet.GetLength()));
}

void TFormMain::Socket1Connect()
{
    Receiver.Reset();
    GmReady::Info info;
    info.kind = ClientKind;
    std::copy(std::begin(ProtocolVersion), std::end(ProtocolVersion), info.version);
    Protocol.Ready.Encode(info);
    SendPacket();
    RefreshConnectionControls();
}

void TFormMain::Socket1Disconnect()
{
    Socket1->Close();
    Receiver.Reset();   // a frame cut short by the close is dropped
    RefreshConnectionControls();
    // Every tab goes: none of them is to be shown, so none needs its log laid out.
    const QSignalBlocker quiet(PageControl1);
    while (PageControl1->count() > 0) {
        QWidget* page = PageControl1->widget(0);
        PageControl1->removeTab(0);
        delete page;
    }
    // The tabs went quietly: the find bar would step through matches of rooms that are gone.
    if (!FindBar1->isHidden())
        FindBar1->Close();
    RoomList->clear();   // each row releases its room record
}

void TFormMain::Socket1Error(int /*errorCode*/)
{
    RefreshConnectionControls();
}

void TFormMain::Socket1Write() {}

void TFormMain::Socket1Read()
{
    switch (Receiver.ReadOne(*Socket1, Packet)) {
    case ReceiveResult::Frame:
        DispatchPacket();
        break;
    case ReceiveResult::OutOfStep:
        // The declared length cannot be a frame: the stream is out of step for good.
        Socket1->Close();
        break;
    case ReceiveResult::Waiting:
    case ReceiveResult::Dropped:
        break;
    }
}

void TFormMain::DispatchPacket()
{
    switch (static_cast<std::int8_t>(Packet.Type())) {
    case GmTypeAReady: RecvAReady(); break;
    case GmTypeLife: break;
    case GmTypeClose: Socket1->Close(); break;
    case GmTypeAConnect: RecvAConnect(); break;
    case GmTypeUserCount: RecvUserCount(); break;
    case GmTypeRoomList: RecvRoomList(); break;
    case GmTypeRoomUser: RecvRoomUser(); break;
    case GmTypeACreateRoom: RecvACreateRoom(); break;
    case GmTypeAEnterRoom: RecvAEnterRoom(); break;
    case GmTypeRetireUser: RecvRetireUser(); break;
    case GmTypeTalk: RecvTalk(); break;
    default: break;
    }
}

void TFormMain::RecvAReady()
{
    GmAReady::Info info;
    if (!Protocol.AReady.Decode(info))
        return;
    ClientID = info.clientID;
    if (info.status == 0) {
        GmConnect::Info connect;
        CopyToField(connect.name, UserName, MaxUserNameBytes);
        Protocol.Connect.Encode(connect);
        SendPacket();
        return;
    }
    Socket1->Close();
    switch (info.status) {
    case 2:
        FormUpdate->ShowNotice(UrlDownload);
        break;
    case 3:
        ShowErrorBox(QStringLiteral("残念ながら該当機種はまだサポートされていません"), this);
        break;
    case 4:
        ShowErrorBox(QStringLiteral("接続しているユーザ数が多すぎて接続できませんでした"), this);
        ShowErrorBox(FromSjis(info.message), this);
        break;
    default:
        ShowErrorBox(FromSjis(info.message), this);
        break;
    }
}

void TFormMain::RecvAConnect()
{
    GmAConnect::Info info;
    if (!Protocol.AConnect.Decode(info))
        return;
    if (info.status == 0) {
        Reconnect->LoggedIn();
        EnterStartRooms();
        return;
    }
    // Right after an automatic reconnect the server may still hold the lost session.
    const bool waitOut = info.status == 2 && Reconnect->SameNameRefused();
    Socket1->Close();
    if (waitOut)
        return;
    switch (info.status) {
    case 1: ShowErrorBox(FromSjis(info.message), this); break;
    case 2: ShowErrorBox(QStringLiteral("すでに同名で接続しています。別の名前で接続してください"), this); break;
    case 3: ShowErrorBox(QStringLiteral("指定のIPアドレスからの接続はできません"), this); break;
    case 4: ShowErrorBox(QStringLiteral("このサーバへの接続権限がありません"), this); break;
    case 5: ShowErrorBox(QStringLiteral("接続数が多すぎて接続できませんでした"), this); break;
    default: break;
    }
}

void TFormMain::RecvUserCount()
{
    GmUserCount::Info info;
    if (!Protocol.UserCount.Decode(info))
        return;
    setWindowTitle(QStringLiteral("KVチャット ver" KV_VERSION " - %1人").arg(info.count));
}

void TFormMain::RecvRoomList()
{
    GmRoomList::Info info;
    if (!Protocol.RoomList.Decode(info))
        return;
    for (int i = 0; i < info.count; ++i) {
        const GmRoomList::Room& room = info.rooms[i];
        if (room.name[0] == '\0')
            RemoveRoom(room.room);
        else if (RoomListItem* listed = FindRoomItem(room.room))
            listed->SetRoom(room);   // one row per room, however often a server repeats it
        else
            RoomList->addItem(new RoomListItem(room));   // the list owns the row
    }
}

void TFormMain::RecvRoomUser()
{
    GmRoomUser::Info info;
    if (!Protocol.RoomUser.Decode(info))
        return;
    TChatSheet* sheet = FindSheet(info.room);
    if (sheet == nullptr) {
        const std::string name = FindRoomName(info.room);
        sheet = new TChatSheet(PageControl1, info.room, name);   // owned by the tab control
        PrepareSheet(sheet);
        const int index = PageControl1->addTab(sheet, QString());
        SetSheetCaption(sheet, false);
        PageControl1->setCurrentIndex(index);
        AddStartRoom(StartRooms, name, LastPassword);
        OpenRoomLog(sheet);
        EditInputChat->setFocus();
    }
    sheet->AddUserList(info);
}

void TFormMain::RecvACreateRoom()
{
    GmACreateRoom::Info info;
    if (!Protocol.ACreateRoom.Decode(info))
        return;
    switch (info.status) {
    case 1: ShowErrorBox(QStringLiteral("部屋の作成に失敗しました"), this); break;
    case 2: ShowErrorBox(QStringLiteral("一人で作成できる部屋数には制限があり、これ以上作成できません"), this); break;
    case 3: ShowErrorBox(QStringLiteral("部屋数をこれ以上増やすことはできません"), this); break;
    case 4: ShowErrorBox(QStringLiteral("部屋を作成する権限がありません"), this); break;
    default: break;
    }
}

void TFormMain::RecvAEnterRoom()
{
    GmAEnterRoom::Info info;
    if (!Protocol.AEnterRoom.Decode(info))
        return;
    switch (info.status) {
    case 1: ShowErrorBox(QStringLiteral("入室できませんでした"), this); break;
    case 2: ShowErrorBox(QStringLiteral("既に部屋に入室しています"), this); break;
    case 3: ShowErrorBox(QStringLiteral("パスワードが違います"), this); break;
    default: break;
    }
}

void TFormMain::RecvRetireUser()
{
    GmRetireUser::Info info;
    if (!Protocol.RetireUser.Decode(info))
        return;
    TChatSheet* sheet = FindSheet(info.room);
    if (sheet == nullptr)
        return;
    sheet->DeleteUserList(info.clientID);
    if (info.clientID == ClientID) {
        LogRoomEvent(sheet, "―― 退室しました");
        delete sheet;   // removes its tab too
    }
}

void TFormMain::RecvTalk()
{
    GmTalk::Info info;
    if (!Protocol.Talk.Decode(info))
        return;
    // A board line of another room under the board's number is swallowed, not applied.
    if (FormBoard != nullptr
        && FormBoard->ParseTalk(IsBoardRoom(info.room) ? info.room : -1, info.text, SpeakerOf(info)))
        return;
    TChatSheet* target = nullptr;
    if (info.room == MaxRoomNo) {
        target = ActiveChatSheet();
        if (target == nullptr)
            return;
        info.room = target->RoomNo;
    } else {
        target = FindSheet(info.room);
        if (target == nullptr)
            return;
    }
    bool mention = false;
    target->AddLog(info, [&](std::string_view text) { return mention = IsMention(info.clientID, text); });
    // Only a flip of the mark touches the caption: every caption change lays out the whole tab bar.
    // The tab on screen gets the mark too while the user reads back: the line waits below.
    if (!target->Unread && (PageControl1->currentWidget() != target || target->ChatLog->ReadingBack()))
        SetSheetCaption(target, true);
    if (mention)
        NoticeMention(target, info);
}

std::string TFormMain::SpeakerOf(const GmTalk::Info& info) const
{
    // Named as the room's member list names them, as a chat line's speaker is.
    if (const TChatSheet* sheet = FindSheet(info.room)) {
        const int k = sheet->FindUser(info.clientID);
        if (k != -1)
            return sheet->UserItems[k].Name;
    }
    return info.name;
}

TChatSheet* TFormMain::FindSheet(std::int16_t room) const
{
    for (int i = 0; i < PageControl1->count(); ++i) {
        auto* sheet = qobject_cast<TChatSheet*>(PageControl1->widget(i));
        if (sheet != nullptr && sheet->RoomNo == room)
            return sheet;
    }
    return nullptr;
}

RoomListItem* TFormMain::FindRoomItem(std::int16_t room) const
{
    for (int i = 0; i < RoomList->count(); ++i) {
        auto* item = static_cast<RoomListItem*>(RoomList->item(i));
        if (item->Room.room == room)
            return item;
    }
    return nullptr;
}

std::string TFormMain::FindRoomName(std::int16_t room) const
{
    const RoomListItem* item = FindRoomItem(room);
    return item ? std::string(item->Room.name) : std::string();
}

void TFormMain::RemoveRoom(std::int16_t room)
{
    if (RoomListItem* item = FindRoomItem(room)) {
        // Taking the current row makes the list select a neighbour, and the next
        // enter command would take the user into a room they never chose: only
        // the user's own choice stays selected.
        const QList<QListWidgetItem*> selected = RoomList->selectedItems();
        QListWidgetItem* const chosen = selected.isEmpty() || selected.front() == item ? nullptr : selected.front();
        std::unique_ptr<QListWidgetItem>(RoomList->takeItem(RoomList->row(item)));
        RoomList->clearSelection();
        if (chosen != nullptr)
            chosen->setSelected(true);
    }
    if (TChatSheet* sheet = FindSheet(room))
        delete sheet;
}

void TFormMain::EnterStartRooms()
{
    for (int i = 0; i < StartRooms.Count; ++i) {
        GmEnterRoom::Info info;
        info.room = 0;
        CopyToField(info.name, StartRooms.Rooms[i].Name, MaxRoomNameBytes);
        CopyToField(info.password, StartRooms.Rooms[i].Password, MaxPasswordBytes);
        Protocol.EnterRoom.Encode(info);
        SendPacket();
    }
}

void TFormMain::SetSheetCaption(TChatSheet* sheet, bool unread)
{
    const int index = PageControl1->indexOf(sheet);
    if (index < 0)
        return;
    // Tab captions treat "&" as an accelerator mark; double it so the name shows as typed.
    QString caption = FromSjis(sheet->RoomName).replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (!unread)
        sheet->UnreadMention = false;
    if (unread)
        caption += QLatin1Char('*');
    if (sheet->UnreadMention)
        caption += QLatin1Char('!');
    PageControl1->setTabText(index, caption);
    sheet->Unread = unread;
}
