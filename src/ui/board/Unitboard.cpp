#include "Unitboard.h"

#include "BoardLines.h"
#include "Contrast.h"
#include "PitchPicture.h"
#include "SjisText.h"
#include "Unitboardname.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <cmath>

TFormBoard* FormBoard = nullptr;

namespace {

constexpr int ClientWidth = 204;
// The pitch and the two buttons above; the status line and the formation and
// picture menus below them, the menus last so that they drop down clear of it.
constexpr int ClientHeight = 384;
constexpr int PitchWidth = 200;
constexpr int PitchHeight = 300;
// Lines from the room redraw the pitch on screen at most once per frame.
constexpr int FrameMs = 16;

// Colour values are 0x00BBGGRR.
QColor ColorFromValue(std::uint32_t value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

// White names where white reads on the grass under them (the dark stripes),
// black where it does not (the light ones).
QColor NameColour(const QImage& ground, const QRect& area)
{
    const QRect pixels = QRect(area.topLeft() * ground.devicePixelRatio(), area.size() * ground.devicePixelRatio())
                             .intersected(ground.rect());
    if (pixels.isEmpty())
        return Qt::white;
    double red = 0, green = 0, blue = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            const QRgb p = ground.pixel(x, y);
            red += qRed(p);
            green += qGreen(p);
            blue += qBlue(p);
        }
    const double n = static_cast<double>(pixels.width()) * pixels.height();
    const QColor average(static_cast<int>(red / n), static_cast<int>(green / n), static_cast<int>(blue / n));
    const QColor white(Qt::white);
    return ContrastRatio(white, average) >= ReadableContrast ? white : QColor(Qt::black);
}

// Whole device pixels per pitch pixel on this screen; a fractional ratio takes
// the next whole one and the painter scales it down.
int PitchScale(qreal devicePixelRatio)
{
    return std::max(1, static_cast<int>(std::ceil(devicePixelRatio - 0.01)));
}

QImage LoadPitch(int scale)
{
    QImage pitch;
    if (scale == 1)
        pitch = QImage(QStringLiteral(":/pitch.bmp"));
    else
        pitch = PaintPitch(scale);   // drawn for the screen rather than a small picture enlarged
    if (pitch.isNull()) {   // keeps the board usable should the resource be missing
        pitch = QImage(PitchWidth, PitchHeight, QImage::Format_RGB32);
        pitch.fill(QColor(40, 130, 30));
    }
    // Markers are painted in true colour; the palette picture cannot take a painter.
    pitch = pitch.convertToFormat(QImage::Format_RGB32);
    pitch.setDevicePixelRatio(scale);
    return pitch;
}

}   // namespace

// kvui is a static library: naming its resources here keeps the pitch linked in.
// Q_INIT_RESOURCE cannot be used inside a namespace.
static void InitBoardResources()
{
    Q_INIT_RESOURCE(kvchat);
}

TBoardImage::TBoardImage(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);   // the hand cursor needs moves without a button held
    setAttribute(Qt::WA_OpaquePaintEvent);
    frame_.setSingleShot(true);
    connect(&frame_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

const QImage& TBoardImage::Picture() const
{
    if (stale_ && render_) {
        stale_ = false;
        picture_ = render_();
    }
    return picture_;
}

void TBoardImage::SetPicture(QImage picture)
{
    stale_ = false;
    picture_ = std::move(picture);
    setFixedSize(picture_.deviceIndependentSize().toSize());
    update();
}

void TBoardImage::Invalidate()
{
    stale_ = true;
    // The size never changes with the markers, so only the paint waits.
    if (isVisible() && !frame_.isActive())
        frame_.start(FrameMs);
}

void TBoardImage::SetFocusRing(QPoint centre, int radius)
{
    // Every line from the room asks again: only a change is worth a paint.
    if (centre == ringCentre_ && radius == ringRadius_)
        return;
    ringCentre_ = centre;
    ringRadius_ = radius;
    update();
}

void TBoardImage::ClearFocusRing()
{
    if (ringRadius_ == 0)
        return;
    ringRadius_ = 0;
    update();
}

void TBoardImage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, Picture());
    if (ringRadius_ > 0 && hasFocus()) {
        // Drawn over the picture, never into it: copies and saved pictures stay clean.
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::black, 3));
        painter.drawEllipse(QPointF(ringCentre_), ringRadius_, ringRadius_);
        painter.setPen(QPen(Qt::yellow, 1.5));
        painter.drawEllipse(QPointF(ringCentre_), ringRadius_, ringRadius_);
    }
}

void TBoardImage::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit MouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

void TBoardImage::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit MouseMove(event->modifiers(), at.x(), at.y());
}

void TBoardImage::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit MouseUp(event->button(), event->modifiers(), at.x(), at.y());
}

TFormBoard::TFormBoard(QWidget* parent) : QWidget(parent)
{
    InitBoardResources();
    setupUi(this);
    QFont formFont = font();
    formFont.setPixelSize(12);
    setFont(formFont);
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(ClientWidth, ClientHeight);

    connect(ImageGround, &TBoardImage::MouseDown, this, &TFormBoard::ImageGroundMouseDown);
    connect(ImageGround, &TBoardImage::MouseMove, this, &TFormBoard::ImageGroundMouseMove);
    connect(ImageGround, &TBoardImage::MouseUp, this, &TFormBoard::ImageGroundMouseUp);
    connect(ButtonAll, &QPushButton::clicked, this, &TFormBoard::ButtonAllClick);
    connect(ButtonCopy, &QPushButton::clicked, this, &TFormBoard::ButtonCopyClick);
    ImageGround->installEventFilter(this);
    ImageGround->SetRenderer([this] { return RenderPicture(); });
    ImageGround->setAccessibleName(QStringLiteral("フォーメーション盤"));
    sendTimer_.setSingleShot(true);
    connect(&sendTimer_, &QTimer::timeout, this, &TFormBoard::SendWhenRested);
    clock_.start();
    SetUpMenus();

    GroundPicture = LoadPitch(PitchScale(devicePixelRatioF()));
    InitBoard();
}

void TFormBoard::InitBoard()
{
    // Markers live in pitch pixels whatever the screen's density.
    const QSize pitch = GroundPicture.deviceIndependentSize().toSize();
    ResetCharItems(CharItems, pitch.width(), pitch.height());
    DrawBoard();
}

void TFormBoard::UsePixelRatio(qreal devicePixelRatio)
{
    const int scale = PitchScale(devicePixelRatio);
    if (scale == static_cast<int>(GroundPicture.devicePixelRatio()))
        return;
    GroundPicture = LoadPitch(scale);
    DrawBoard();
}

void TFormBoard::DrawBoard()
{
    ImageGround->SetPicture(RenderPicture());
}

QImage TFormBoard::RenderPicture()
{
    QImage picture = GroundPicture.copy();
    {
        QPainter canvas(&picture);
        // Smooth discs where the screen has the pixels for them; the plain
        // picture keeps its exact pixels.
        canvas.setRenderHint(QPainter::Antialiasing, picture.devicePixelRatio() > 1);
        canvas.setFont(font());
        DrawChars(canvas);
    }
    return picture;
}

void TFormBoard::DrawChars(QPainter& Canvas)
{
    const QFontMetrics metrics(Canvas.font());
    for (const CharItem& item : CharItems) {
        const int cx = item.CenterX();
        const int cy = item.CenterY();
        const int r = item.nRadius;
        const QColor color = ColorFromValue(item.Color);
        Canvas.setPen(color);
        Canvas.setBrush(color);
        // A one-pixel outline covers width + 1 pixels, so this fills exactly the
        // 2r pixels from cx - r to cx + r - 1.
        Canvas.drawEllipse(QRect(cx - r, cy - r, 2 * r - 1, 2 * r - 1));
        if (item.Name.empty())
            continue;
        const QString name = FromSjis(item.Name);
        const int w = metrics.horizontalAdvance(name);
        Canvas.setBrush(Qt::NoBrush);
        Canvas.setPen(NameColour(GroundPicture, QRect(cx - w / 2, cy + r, w, metrics.height())));
        Canvas.drawText(cx - w / 2, cy + r + metrics.ascent(), name);
    }
}

int TFormBoard::FindCharAt(int X, int Y) const
{
    return ::FindCharAt(CharItems, X, Y);
}

void TFormBoard::ShowBoard(int nRoom, const std::string& RoomName)
{
    if (isVisible())
        return;
    // First shown over the main window, on its screen; later where the user left it.
    const QWidget* host = !placed_ && parentWidget() ? parentWidget()->window() : this;
    UsePixelRatio(host->devicePixelRatioF());
    if (nRoom != nRoomNo) {
        InitBoard();
        // Undo and lines held back belong to the room the board was bound to.
        history_.Clear();
        pacer_.Drop();
        sendTimer_.stop();
        statusText_.clear();
        LabelStatus->clear();
        LabelStatus->setToolTip(QString());
    }
    nRoomNo = nRoom;
    boundRoomName_ = RoomName;
    setWindowTitle(FromSjis(RoomName) + QStringLiteral(" - フォーメーション盤"));
    if (!placed_) {
        PlaceOverOwner();
        placed_ = true;
    }
    show();
    // Told over the board, once it is on screen.
    QTimer::singleShot(0, this, &TFormBoard::TellFormationTrouble);
    // Dragged to a screen of another density, the pitch is drawn again for it.
    if (QWindow* window = windowHandle())
        connect(window, &QWindow::screenChanged, this, &TFormBoard::onScreenChanged, Qt::UniqueConnection);
}

void TFormBoard::onScreenChanged()
{
    UsePixelRatio(devicePixelRatioF());
}

void TFormBoard::PlaceOverOwner()
{
    QRect over;
    if (parentWidget())
        over = parentWidget()->window()->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        over = screen->availableGeometry();
    else
        return;
    move(over.center() - QPoint(width() / 2, height() / 2));
}

bool TFormBoard::ParseTalk(int nRoom, const char* Text, const std::string& Speaker)
{
    const BoardLineResult result = ParseBoardLine(CharItems, nRoomNo, nRoom, Text ? Text : "");
    if (result.applied) {
        DrawBoardSoon();
        // A peer may have moved or renamed the chosen marker.
        UpdateFocusRing();
        ShowStatus(Speaker, result.items);
    }
    return result.isBoardLine;
}

void TFormBoard::AppendPosition(int nItem, std::string& Text, bool bPrefix) const
{
    ::AppendPosition(CharItems, nItem, Text, bPrefix);
}

void TFormBoard::AppendAllPositions(std::string& Text) const
{
    ::AppendAllPositions(CharItems, Text);
}

void TFormBoard::AppendName(int nItem, std::string& Text, bool bPrefix) const
{
    ::AppendName(CharItems, nItem, Text, bPrefix);
}

void TFormBoard::AppendAllNames(std::string& Text) const
{
    ::AppendAllNames(CharItems, Text);
}

void TFormBoard::ImageGroundMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int X, int Y)
{
    const int i = FindCharAt(X, Y);
    if (i == -1) {
        EndDrag();
        return;
    }
    nDragItem = i;
    DragStart = QPoint(X, Y);
}

void TFormBoard::ImageGroundMouseMove(Qt::KeyboardModifiers, int X, int Y)
{
    if (FindCharAt(X, Y) != -1)
        ImageGround->setCursor(Qt::PointingHandCursor);
    else
        ImageGround->unsetCursor();
}

void TFormBoard::ImageGroundMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers, int X, int Y)
{
    if (Button == Qt::LeftButton) {
        const CharItemTable before = CharItems;
        if (nDragItem != -1 && ApplyDrag(CharItems[nDragItem], X - DragStart.x(), Y - DragStart.y())) {
            history_.Record(BoardChangeKind::Move, nDragItem, before, CharItems);
            keyMoveOpen_ = false;
            Paced(pacer_.Position(nDragItem, Now()));
        }
    } else {
        // The release point is where the pointer is as the dialog opens.
        const int i = FindCharAt(X, Y);
        if (i != -1)
            RenameChar(i);
    }
    EndDrag();
}

void TFormBoard::RenameChar(int nItem)
{
    if (!FormBoardName)
        return;
    std::string name = CharItems[nItem].Name;
    if (!FormBoardName->Execute(name))
        return;
    const CharItemTable before = CharItems;
    CharItems[nItem].Name = std::move(name);
    history_.Record(BoardChangeKind::Rename, nItem, before, CharItems);
    keyMoveOpen_ = false;
    Paced(pacer_.Name(nItem, Now()));
}

void TFormBoard::EndDrag()
{
    nDragItem = -1;
    ImageGround->unsetCursor();
}

void TFormBoard::ButtonAllClick()
{
    Paced(pacer_.All(Now()));
}

void TFormBoard::ButtonCopyClick()
{
    const std::string text = BuildBoardCopyText(CharItems);
    auto* data = new QMimeData;   // owned by the clipboard
    // The text shows what CP932 bytes can show; the Shift-JIS flavour keeps
    // every byte, names from peers that are not valid CP932 included.
    data->setText(FromSjis(text));
    data->setData(QStringLiteral("text/plain;charset=Shift_JIS"), QByteArray::fromStdString(text));
    QGuiApplication::clipboard()->setMimeData(data);
}

void TFormBoard::closeEvent(QCloseEvent* event)
{
    emit Closed();
    QWidget::closeEvent(event);
}
