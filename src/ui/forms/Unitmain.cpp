#include "Unitmain.h"

#include "AppLocations.h"
#include "ByteLimit.h"
#include "ConnectionKeeper.h"
#include "LineAnnouncer.h"
#include "LogSettings.h"
#include "Chatsheet.h"
#include "MessageBoxes.h"
#include "ScreenFit.h"
#include "Settings.h"
#include "SjisText.h"
#include "Unitlogin.h"
#include "UnsavedNote.h"
#include "ui_Unitmain.h"

#include <QTabBar>
#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QKeyEvent>
#include <QTimer>
#include <QTabWidget>
#include <QSplitter>
#include <QPushButton>
#include <QListWidget>
#include <QLineEdit>
#include <QLabel>
#include <QGroupBox>
#include <QAction>

#include <cstdio>

TFormMain* FormMain = nullptr;

namespace {
constexpr int InputLimitBytes = 200;
}

QFont FormFont()
{
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    return font;
}

void InstallFontSubstitutions()
{
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                                QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic")});
}

RoomListItem::RoomListItem(const GmRoomList::Room& room) { SetRoom(room); }

void RoomListItem::SetRoom(const GmRoomList::Room& room)
{
    Room = room;
    QString text = FromSjis(room.name);
    if (room.hasPassword)
        text += QStringLiteral("(*)");
    setText(text);
}

TFormMain::TFormMain(std::string settingsPath, std::string defaultLogFolder, QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::TFormMain>()),
      defaultLogFolder_(std::move(defaultLogFolder)),
      settingsPath_(std::move(settingsPath))
{
    ui_->setupUi(this);
    // The form's design position; the settings replace it.
    move(411, 111);
    setFont(FormFont());
    PanelRoomList = ui_->PanelRoomList;
    GroupBox1 = ui_->GroupBox1;
    RoomList = ui_->RoomList;
    ButtonEnterRoom = ui_->ButtonEnterRoom;
    ButtonBoard = ui_->ButtonBoard;
    Splitter1 = ui_->Splitter1;
    PanelChatLog = ui_->PanelChatLog;
    PageControl1 = ui_->PageControl1;
    // The strip itself is named by the current tab's room; the control around it by this.
    PageControl1->setAccessibleName(QStringLiteral("部屋のタブ"));
    LineAnnouncer::Install();
    PageControl1->tabBar()->setAccessibleName(QStringLiteral("部屋のタブ"));
    PanelInput = ui_->PanelInput;
    Label1 = ui_->Label1;
    EditInputChat = ui_->EditInputChat;
    ButtonSendChat = ui_->ButtonSendChat;
    OpenMenu = ui_->OpenMenu;
    CloseMenu = ui_->CloseMenu;
    ExitMenu = ui_->ExitMenu;
    MenuPrev = ui_->MenuPrev;
    MenuNext = ui_->MenuNext;
    MenuRoomDisp = ui_->MenuRoomDisp;
    RetireMenu = ui_->RetireMenu;
    MenuSetting = ui_->MenuSetting;
    CreateMenu = ui_->CreateMenu;
    MenuHtmlHome = ui_->MenuHtmlHome;
    MenuHtmlKVGAME = ui_->MenuHtmlKVGAME;
    MenuHtmlReserve = ui_->MenuHtmlReserve;
    MenuHtmlHoudou = ui_->MenuHtmlHoudou;

    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({roomPanelHeight_, 300});

    Socket1 = new ClientSocket(this);
    Socket1->Port = 9010;

    if (settingsPath_.empty())
        settingsPath_ = ::SettingsFileName(QCoreApplication::applicationFilePath().toStdString());
    if (defaultLogFolder_.empty())
        defaultLogFolder_ = DefaultLogFolder(settingsPath_);

    LimitBytes(EditInputChat, InputLimitBytes);
    setUpKeeping();
    connectHandlers();
    setUpFindNotice();
    setUpCompletion();
    setUpDesktop();
    // Leaving the program from the board or a dialog of ours is leaving the tab too.
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) { SetWindowAway(state != Qt::ApplicationActive); });
    RefreshConnectionControls();
    FirstActivate = true;
    FormCreate();
}

TFormMain::~TFormMain()
{
    FormDestroy();
}

void TFormMain::connectHandlers()
{
    connect(Socket1, &ClientSocket::Connected, this, &TFormMain::Socket1Connect);
    connect(Socket1, &ClientSocket::Disconnected, this, &TFormMain::Socket1Disconnect);
    connect(Socket1, &ClientSocket::ReadReady, this, &TFormMain::Socket1Read);
    connect(Socket1, &ClientSocket::Writable, this, &TFormMain::Socket1Write);
    connect(Socket1, &ClientSocket::Error, this, [this](int code) {
        Socket1Error(code);
        // The handler leaves the error to the socket layer, which reports it, unless
        // an automatic reconnect has taken over: the status bar tells that story.
        if (!Reconnect->Retrying())
            ShowStandardError(QStringLiteral("非同期ソケットエラー %1").arg(code));
    });
    connect(Socket1, &ClientSocket::OutputOverflow, this, &TFormMain::onOutputOverflow);
    connect(Socket1, &ClientSocket::LookupFailed, this, [this](const QString& message) {
        RefreshConnectionControls();
        if (!Reconnect->Retrying())
            ShowErrorBox(message, this);
    });

    connect(OpenMenu, &QAction::triggered, this, &TFormMain::OpenMenuClick);
    connect(CloseMenu, &QAction::triggered, this, &TFormMain::CloseMenuClick);
    connect(ExitMenu, &QAction::triggered, this, &TFormMain::ExitMenuClick);
    connect(MenuPrev, &QAction::triggered, this, &TFormMain::MenuPrevClick);
    connect(MenuNext, &QAction::triggered, this, &TFormMain::MenuNextClick);
    connect(MenuRoomDisp, &QAction::triggered, this, &TFormMain::MenuRoomDispClick);
    connect(RetireMenu, &QAction::triggered, this, &TFormMain::RetireMenuClick);
    connect(MenuSetting, &QAction::triggered, this, &TFormMain::MenuSettingClick);
    connect(CreateMenu, &QAction::triggered, this, &TFormMain::CreateMenuClick);
    connect(MenuHtmlHome, &QAction::triggered, this, &TFormMain::MenuHtmlHomeClick);
    connect(MenuHtmlKVGAME, &QAction::triggered, this, &TFormMain::MenuHtmlKVGAMEClick);
    connect(MenuHtmlReserve, &QAction::triggered, this, &TFormMain::MenuHtmlReserveClick);
    connect(MenuHtmlHoudou, &QAction::triggered, this, &TFormMain::MenuHtmlHoudouClick);
    connect(ButtonEnterRoom, &QPushButton::clicked, this, &TFormMain::ButtonEnterRoomClick);
    connect(RoomList, &QListWidget::itemDoubleClicked, this, &TFormMain::ButtonEnterRoomClick);
    connect(ButtonBoard, &QPushButton::clicked, this, &TFormMain::ButtonBoardClick);
    connect(ButtonSendChat, &QPushButton::clicked, this, &TFormMain::ButtonSendChatClick);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int) { PageControl1Change(); });
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] {
        if (PanelRoomList->isVisible())
            roomPanelHeight_ = Splitter1->sizes().value(0, roomPanelHeight_);
    });
}

void TFormMain::keyPressEvent(QKeyEvent* e)
{
    // Enter that no control took (a focused button takes it, the chat input,
    // the lists and the log pass it on) presses the default button.
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        ButtonSendChat->click();   // nothing happens while it is disabled
        return;
    }
    QMainWindow::keyPressEvent(e);
}

void TFormMain::applyOuterBounds(const QRect& outer)
{
    // The frame is only known once the window is on screen; until then it counts as none.
    const QSize frame = frameGeometry().size() - size();
    move(outer.topLeft());
    resize(outer.size() - frame);
}

bool TFormMain::event(QEvent* e)
{
    // The settings give the outer bounds: once the frame shows, take it off the
    // size, so that a window saved and restored comes back as it was.
    const bool geometryEvent = e->type() == QEvent::Move || e->type() == QEvent::Resize || e->type() == QEvent::Show;
    if (wantedBounds_ && geometryEvent && frameGeometry().size() != size()) {
        const QRect wanted = *wantedBounds_;
        wantedBounds_.reset();   // once: resizing raises these events again
        applyOuterBounds(wanted);
    }
    if (e->type() == QEvent::WindowActivate || (e->type() == QEvent::ActivationChange && isActiveWindow()))
        SetMentionsWaiting(0);   // the user is back: the tabs keep their own marks
    // Lines that arrive while the user is in another program are unread in the tab on
    // screen; the board or a dialog of ours taking the focus is not leaving.
    if (e->type() == QEvent::WindowActivate)
        SetWindowAway(false);
    if (e->type() == QEvent::WindowDeactivate) {
        const QWidget* now = QApplication::activeWindow();
        SetWindowAway(now == nullptr || now == this);
    }
    if (e->type() == QEvent::WindowActivate && FirstActivate) {
        // Leave the event first: the connect dialog runs its own loop.
        QTimer::singleShot(0, this, &TFormMain::FormActivate);
    }
    return QMainWindow::event(e);
}

void TFormMain::SetWindowAway(bool away)
{
    windowAway_ = away;
    if (TChatSheet* sheet = ActiveChatSheet())
        sheet->SetAway(away);
}

void TFormMain::FormCreate()
{
    LoadSettings();
}

void TFormMain::FormActivate()
{
    if (!FirstActivate)
        return;
    FirstActivate = false;
    OpenMenuClick();
}

void TFormMain::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    SaveSettings();
}

TChatSheet* TFormMain::ActiveChatSheet() const
{
    return qobject_cast<TChatSheet*>(PageControl1->currentWidget());
}

void TFormMain::RefreshConnectionControls()
{
    const bool active = Socket1->Active();
    OpenMenu->setEnabled(!active);
    for (QAction* a : {CloseMenu, CreateMenu, MenuNext, MenuPrev, RetireMenu})
        a->setEnabled(active);
    CloseMenu->setEnabled(active || Reconnect->Retrying());   // it also stops a reconnect
    UpdateStatusBar();
    PanelInput->setEnabled(active);
    RoomList->setEnabled(active);
    ButtonEnterRoom->setEnabled(active);
    ButtonBoard->setEnabled(active);
}

void TFormMain::OpenMenuClick()
{
    Reconnect->Stop();
    if (!FormLogin->Execute(UserName))
        return;
    const QString failure = Socket1->Open();
    if (!failure.isEmpty()) {
        ShowStandardError(failure);
        return;
    }
    RefreshConnectionControls();
}

void TFormMain::CloseMenuClick()
{
    Socket1->Close();
    Reconnect->Stop();
}

void TFormMain::ExitMenuClick()
{
    quitting_ = true;
    // From the tray, closing the hidden window is not what ends the program.
    const bool inTray = !QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(true);
    close();
    if (inTray)
        QCoreApplication::quit();
}

void TFormMain::onOutputOverflow()
{
    Socket1->Close();
    ShowErrorBox(QStringLiteral("サーバが受信しないため送信できないデータが1MBを超えました。接続を切断しました"), this);
}

int TFormMain::roomPanelHeight() const
{
    if (PanelRoomList->isVisible() && isVisible())
        return Splitter1->sizes().value(0, roomPanelHeight_);
    return roomPanelHeight_;
}

namespace {
// Also says that nothing will be written: writing over a file that was not
// read would drop every key the installation put there.
QString UnreadableSettingsText(const IniFile& ini)
{
    return QStringLiteral("%1 を読み込めません（%2）。この実行中の設定は保存されません")
        .arg(QString::fromStdString(ini.Path()), QString::fromStdString(ini.LoadFailure()));
}
}  // namespace

void TFormMain::LoadSettings()
{
    IniFile ini;
    settingsUnreadable_ = !ini.Load(settingsPath_);
    if (settingsUnreadable_)
        ShowErrorBox(UnreadableSettingsText(ini));
    FormBounds current;
    const QRect outer = frameGeometry();
    current.Top = outer.y();
    current.Left = outer.x();
    current.Width = outer.width();
    current.Height = outer.height();
    current.RoomHeight = roomPanelHeight_;
    const SettingsRecord record = ReadSettings(ini, current);

    // Saved on a larger screen or at a smaller scale factor, the window still comes back within reach.
    wantedBounds_ = FitOnScreen(QRect(record.Form.Left, record.Form.Top, record.Form.Width, record.Form.Height));
    applyOuterBounds(*wantedBounds_);
    roomPanelHeight_ = record.Form.RoomHeight;
    Splitter1->setSizes({roomPanelHeight_, std::max(1, record.Form.Height - roomPanelHeight_)});
    PanelRoomList->setVisible(record.RoomVisible);

    UserName = record.UserName;
    Socket1->Address = record.ServerAddress;
    Socket1->Port = record.ServerPort;
    UrlHome = record.UrlHome;
    UrlGate = record.UrlGate;
    UrlReserve = record.UrlReserve;
    UrlHoudou = record.UrlHoudou;
    UrlDownload = record.UrlDownload;
    StartRooms = record.StartRooms;
    LogEnabled = ReadLogSettings(ini).Enabled;
    Options = ReadOptions(ini);
    ApplyOptions();
}

void TFormMain::SaveSettings()
{
    if (settingsUnreadable_)
        return;   // the user was told at start
    IniFile ini;
    if (!ini.Load(settingsPath_)) {
        SaveFailed(UnreadableSettingsText(ini));
        return;
    }
    SettingsRecord record;
    const QRect outer = frameGeometry();
    record.Form.Top = outer.y();
    record.Form.Left = outer.x();
    record.Form.Width = outer.width();
    record.Form.Height = outer.height();
    record.Form.RoomHeight = roomPanelHeight();
    record.RoomVisible = !PanelRoomList->isHidden();
    record.UserName = UserName;
    record.StartRooms = StartRooms;
    WriteSettings(ini, record);
    WriteLogSettings(ini, LogSettings{LogEnabled});
    WriteZoom(ini, Options.Zoom);
    if (const auto failure = ini.Save())
        SaveFailed(QString::fromStdString(*failure));
}

void TFormMain::SaveFailed(const QString& reason)
{
    // The program is ending, perhaps for a logout: no box may wait for a click.
    std::fprintf(stderr, "kvchat: %s\n", qPrintable(reason));
    if (!WriteUnsavedNote(settingsPath_, reason.toStdString()))
        std::fprintf(stderr, "kvchat: 次の起動で伝えるための記録も書けませんでした\n");
}
