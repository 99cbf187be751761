// The main window on the desktop: the size and font of the logs and the chat
// input, and the tray icon.
#include "Unitmain.h"

#include "ChatLogView.h"
#include "Chatsheet.h"
#include "Cp932.h"
#include "TrayIcon.h"

#include <QTimer>
#include "ZoomKeys.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLayout>
#include <QLineEdit>
#include <QTabWidget>

#include <algorithm>
#include <cmath>

void TFormMain::setUpDesktop()
{
    Zoomer = new ZoomKeys(this);
    Zoomer->Watch(EditInputChat);
    connect(Zoomer, &ZoomKeys::Zoom, this, &TFormMain::ZoomText);
}

QFont TFormMain::LogFont() const
{
    QFont font = FormFont();
    if (!Options.FontFamily.empty())
        font.setFamily(QString::fromStdString(cp932::ToUtf8(Options.FontFamily)));
    font.setPixelSize(std::max(4, static_cast<int>(std::lround(Options.FontSize * Options.Zoom / 100.0))));
    return font;
}

void TFormMain::ApplyLogFont()
{
    const QFont font = LogFont();
    EditInputChat->setFont(font);
    // The row keeps its form height until the zoomed text needs more.
    constexpr int FormRowHeight = 31;
    const QMargins margins = PanelInput->layout()->contentsMargins();
    PanelInput->setFixedHeight(
        std::max(FormRowHeight, EditInputChat->sizeHint().height() + margins.top() + margins.bottom()));
    for (int i = 0; i < PageControl1->count(); ++i) {
        if (auto* sheet = qobject_cast<TChatSheet*>(PageControl1->widget(i)))
            sheet->ChatLog->setFont(font);
    }
}

void TFormMain::ZoomText(int direction)
{
    const int zoom = direction == 0 ? 100 : NextZoom(Options.Zoom, direction);
    if (zoom == Options.Zoom)
        return;
    Options.Zoom = zoom;
    ApplyLogFont();
}

void TFormMain::PrepareSheet(TChatSheet* sheet)
{
    sheet->ChatLog->setFont(LogFont());
    Zoomer->Watch(sheet->ChatLog->viewport());
    connect(sheet, &TChatSheet::MemberChosen, this, &TFormMain::InsertMemberName);
    connect(sheet->ChatLog, &ChatLogView::NewestReached, this, [this, sheet] {
        if (sheet->Unread && PageControl1->currentWidget() == sheet)
            SetSheetCaption(sheet, false);
    });
}

namespace {
// How often a window hidden in the tray looks whether the tray is still there.
constexpr int TrayWatchMs = 2000;
}  // namespace

void TFormMain::watchTray()
{
    if (!isHidden() || TrayIcon::Available())
        return;
    trayWatch_->stop();
    ShowFromTray();   // the tray went, and with it the only way back to the window
}

void TFormMain::ApplyTray()
{
    if (trayWatch_ == nullptr) {
        trayWatch_ = new QTimer(this);
        connect(trayWatch_, &QTimer::timeout, this, &TFormMain::watchTray);
    }
    // Made even while the desktop has no tray: the toolkit docks the icon when
    // a tray comes (a panel that starts after the program, at login).
    if (Tray != nullptr)
        return;
    Tray = new TrayIcon(QApplication::windowIcon(), this);
    Tray->SetWaiting(MentionsWaiting);
    connect(Tray, &TrayIcon::ShowRequested, this, &TFormMain::ShowFromTray);
    connect(Tray, &TrayIcon::ToggleRequested, this, [this] {
        if (isVisible() && !isMinimized() && TrayIcon::Available()) {
            QApplication::setQuitOnLastWindowClosed(false);
            hide();
            trayWatch_->start(TrayWatchMs);
        }
        else
            ShowFromTray();
    });
    connect(Tray, &TrayIcon::QuitRequested, this, &TFormMain::ExitMenuClick);
}

void TFormMain::SetMentionsWaiting(int count)
{
    MentionsWaiting = count;
    if (Tray != nullptr)
        Tray->SetWaiting(count);
}

void TFormMain::ShowFromTray()
{
    if (trayWatch_ != nullptr)
        trayWatch_->stop();
    QApplication::setQuitOnLastWindowClosed(true);
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    SetMentionsWaiting(0);   // what the user came back for
}

void TFormMain::closeEvent(QCloseEvent* e)
{
    // With the option the window goes to the tray: the connection and the rooms stay.
    // A tray that has gone since (its panel quit) could not bring the window back.
    if (Options.KeepInTray && Tray != nullptr && TrayIcon::Available() && !quitting_) {
        // Closing another window (the board) must not end the program meanwhile.
        QApplication::setQuitOnLastWindowClosed(false);
        hide();
        trayWatch_->start(TrayWatchMs);   // only while hidden: nothing wakes otherwise
        e->ignore();
        return;
    }
    // However the window came back (the tray, another start, a tray that went),
    // closing it now ends the program.
    QApplication::setQuitOnLastWindowClosed(true);
    QMainWindow::closeEvent(e);
}
