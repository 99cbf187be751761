// The main window's options, log search, input history and mention notices.
#include "Unitmain.h"

#include "Chatsheet.h"
#include "FindBar.h"
#include "InputHistoryFilter.h"
#include "MessageBoxes.h"
#include "Unitoption.h"
#include "ui_Unitmain.h"

#include <QAction>
#include <QLineEdit>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

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
    connect(FindBar1, &FindBar::Closed, this, [this] { EditInputChat->setFocus(); });
}

void TFormMain::OptionMenuClick()
{
    if (!FormOption->Execute(Options))
        return;
    // Kept at once: the options are the user's explicit choice, not window state.
    if (const auto failure = SaveOptions(settingsPath_, Options))
        ShowStandardError(QString::fromStdString(*failure));
}

void TFormMain::FindMenuClick()
{
    if (ActiveChatSheet() == nullptr)
        return;
    FindBar1->Open();
}
