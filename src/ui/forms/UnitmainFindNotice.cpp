// The main window's options, log search, input history and mention notices.
#include "Unitmain.h"

#include "ChatLogView.h"
#include "Chatsheet.h"
#include "ConnectionKeeper.h"
#include "Cp932.h"
#include "FindBar.h"
#include "InputHistoryFilter.h"
#include "LineAnnouncer.h"
#include "LogFind.h"
#include "MessageBoxes.h"
#include "SjisText.h"
#include "TrayIcon.h"
#include "Unitoption.h"
#include "ui_Unitmain.h"

#include <QAction>
#include <QLayout>
#include <QLineEdit>
#include <QShortcut>
#include <QTabWidget>

void TFormMain::setUpFindNotice()
{
    OptionMenu = ui_->OptionMenu;
    FindMenu = ui_->FindMenu;
    ChatHistory = new InputHistoryFilter(EditInputChat);

    // Below the tabs, so it stays under whichever log is active.
    FindBar1 = new FindBar(PanelChatLog);
    PanelChatLog->layout()->addWidget(FindBar1);

    connect(OptionMenu, &QAction::triggered, this, &TFormMain::OptionMenuClick);
    connect(FindMenu, &QAction::triggered, this, &TFormMain::FindMenuClick);
    LogFinder = new LogFind(FindBar1, this);
    connect(FindBar1, &FindBar::Closed, this, [this] { EditInputChat->setFocus(); });
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        LogFinder->SetSheet(ActiveChatSheet());
        if (ActiveChatSheet() == nullptr && !FindBar1->isHidden())
            FindBar1->Close();   // the last room is gone: nothing left to search
    });
    // F3 also works while the focus is in the log or the input.
    connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, this, [this] {
        if (FindBar1->isHidden())
            FindMenuClick();
        else
            LogFinder->Next();
    });
    connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this), &QShortcut::activated, this, [this] {
        if (!FindBar1->isHidden())
            LogFinder->Previous();
    });
}

void TFormMain::ApplyOptions()
{
    Reconnect->SetEnabled(Options.AutoReconnect);
    LineAnnouncer::SetEnabled(Options.AnnounceLines);
    ApplyLogFont();
    ApplyTray();
    const std::string folder = Options.LogFolder.empty() ? defaultLogFolder_ : cp932::ToUtf8(Options.LogFolder);
    if (LogEnabled != Options.LogEnabled || LogFolder != folder) {
        LogEnabled = Options.LogEnabled;
        LogFolder = folder;
        // Rooms already open log on (or stop) at once, into the folder now set.
        for (int i = 0; i < PageControl1->count(); ++i) {
            if (auto* sheet = qobject_cast<TChatSheet*>(PageControl1->widget(i))) {
                sheet->LogFile = RoomLogTarget(sheet);
                sheet->Logger = sheet->LogFile ? Logs : nullptr;
            }
        }
    }
    if (ChatLogView::ShowTimes != Options.Timestamps) {
        ChatLogView::ShowTimes = Options.Timestamps;
        // The log on screen is laid out again; the others are built when shown.
        if (TChatSheet* sheet = ActiveChatSheet()) {
            sheet->ShowLog(false);
            sheet->ShowLog(true);
        }
        LogFinder->Refresh();
    }
}

void TFormMain::OptionMenuClick()
{
    FormOption->TrayAvailable = Tray != nullptr && TrayIcon::Available();
    if (!FormOption->Execute(Options))
        return;
    ApplyOptions();
    // Kept at once: the options are the user's explicit choice, not window state.
    if (const auto failure = SaveOptions(settingsPath_, Options))
        ShowStandardError(QString::fromStdString(*failure));
}

void TFormMain::FindMenuClick()
{
    TChatSheet* sheet = ActiveChatSheet();
    if (sheet == nullptr)
        return;
    LogFinder->SetSheet(sheet);
    FindBar1->Open();
    LogFinder->Search(FindBar1->Text());
}

bool TFormMain::IsMention(std::int16_t clientId, std::string_view utf8Text)
{
    if (clientId == ClientID)
        return false;
    if (UserName != mentionName_ || Options.HighlightWords != mentionExtra_) {
        mentionWords_.SetWords(cp932::ToUtf8(UserName), cp932::ToUtf8(Options.HighlightWords));
        mentionName_ = UserName;
        mentionExtra_ = Options.HighlightWords;
    }
    // The text alone: a speaker whose name contains the user's is no mention.
    return mentionWords_.Matches(utf8Text);
}

void TFormMain::NoticeMention(TChatSheet* sheet, const GmTalk::Info& info)
{
    if (PageControl1->currentWidget() != sheet && !sheet->UnreadMention) {
        sheet->UnreadMention = true;
        SetSheetCaption(sheet, true);
    }
    if (!isActiveWindow())
        SetMentionsWaiting(MentionsWaiting + 1);
    if (!Mentions.Mentioned(this, Options.Notifications, sheet->RoomName))
        return;
    const int k = sheet->FindUser(info.clientID);
    const QString speaker = FromSjis(k != -1 ? std::string_view(sheet->UserItems[k].Name) : std::string_view(info.name));
    const QString text = FromSjis(info.text);
    ShowDesktopNotification(FromSjis(sheet->RoomName), speaker.isEmpty() ? text : speaker + QStringLiteral("> ") + text);
}
