// The board from the keyboard, undo and redo, the rate rule for the lines the
// user makes, and the status line that tells who moved what.

#include "Unitboard.h"

#include "SjisText.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace {

constexpr int LargeStep = 5;

QString LetterOf(int nItem) { return QString(QLatin1Char(CharItemLetter(nItem))); }

bool IsArrowKey(int key)
{
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

bool AllDigits(const std::string& name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}   // namespace

bool TFormBoard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ImageGround) {
        switch (event->type()) {
        case QEvent::KeyPress:
            return KeyOnPitch(static_cast<QKeyEvent*>(event));
        case QEvent::KeyRelease: {
            // X repeats a held key as release and press pairs marked as repeats:
            // only the real release ends the hold.
            const auto* key = static_cast<QKeyEvent*>(event);
            if (IsArrowKey(key->key()) && !key->isAutoRepeat())
                EndKeyHold();
            break;
        }
        case QEvent::FocusIn: {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::TabFocusReason)
                SetFocusItem(0);
            else if (reason == Qt::BacktabFocusReason)
                SetFocusItem(CharItemCount - 1);
            else
                UpdateFocusRing();
            ImageGround->update();
            break;
        }
        case QEvent::FocusOut:
            EndKeyHold();   // the release goes elsewhere
            UpdateFocusRing();
            ImageGround->update();   // the ring shows only with the focus
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TFormBoard::KeyOnPitch(QKeyEvent* event)
{
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
    const int step = shift ? LargeStep : 1;
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return false;
        const bool back = event->key() == Qt::Key_Backtab || shift;
        const int next = nFocusItem_ < 0 ? (back ? CharItemCount - 1 : 0) : nFocusItem_ + (back ? -1 : 1);
        if (next < 0 || next >= CharItemCount) {
            SetFocusItem(-1);
            return false;   // past the last marker, Tab goes on to the next control
        }
        SetFocusItem(next);
        return true;
    }
    case Qt::Key_Left:
        MoveByKeys(-step, 0);
        return true;
    case Qt::Key_Right:
        MoveByKeys(step, 0);
        return true;
    case Qt::Key_Up:
        MoveByKeys(0, -step);
        return true;
    case Qt::Key_Down:
        MoveByKeys(0, step);
        return true;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (nFocusItem_ >= 0)
            RenameChar(nFocusItem_);
        return true;
    default:
        return false;
    }
}

void TFormBoard::SetFocusItem(int nItem)
{
    nFocusItem_ = (nItem >= 0 && nItem < CharItemCount) ? nItem : -1;
    keyMoveOpen_ = false;
    UpdateFocusRing();
}

void TFormBoard::MoveByKeys(int dx, int dy)
{
    if (nFocusItem_ < 0)
        return;
    CharItem& item = CharItems[nFocusItem_];
    const int nx = std::clamp(item.nX + dx, 0, 99);
    const int ny = std::clamp(item.nY + dy, 0, 99);
    if (nx == item.nX && ny == item.nY)
        return;
    const CharItemTable before = CharItems;
    item.nX = nx;
    item.nY = ny;
    // The steps of one run of keys, up to the line that sends them, undo as one.
    history_.Record(BoardChangeKind::Move, nFocusItem_, before, CharItems, keyMoveOpen_ && pacer_.Pending());
    keyMoveOpen_ = true;
    // The user sees the marker go at once; the line waits until the key is up
    // and has rested.
    keyHeld_ = true;
    DrawBoard();
    UpdateFocusRing();
    Paced(pacer_.Position(nFocusItem_, Now(), true));
}

void TFormBoard::UpdateFocusRing()
{
    if (nFocusItem_ < 0) {
        ImageGround->ClearFocusRing();
        ImageGround->setAccessibleName(QStringLiteral("フォーメーション盤"));
    } else {
        const CharItem& item = CharItems[nFocusItem_];
        ImageGround->SetFocusRing(QPoint(item.CenterX(), item.CenterY()), item.nRadius + 3);
        ImageGround->setAccessibleName(MarkerAccessibleName(nFocusItem_));
    }
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(ImageGround, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

QString TFormBoard::MarkerAccessibleName(int nItem) const
{
    const CharItem& item = CharItems[nItem];
    QString name;
    if (AllDigits(item.Name))
        name = FromSjis(item.Name) + QStringLiteral("番");
    else if (!item.Name.empty())
        name = FromSjis(item.Name);
    else
        name = nItem == BallItem ? QStringLiteral("ボール") : QStringLiteral("名前なし");
    return QStringLiteral("%1 %2 (%3, %4)").arg(LetterOf(nItem), name).arg(item.nX).arg(item.nY);
}

void TFormBoard::Undo()
{
    const bool step = CanUndo();
    const BoardTouched touched = history_.Undo(CharItems);
    if (step && !touched.Any())
        SetStatus(QStringLiteral("元に戻せません: その後にほかの人が同じところを変えています"));
    SendTaken(touched);
}

void TFormBoard::Redo()
{
    const bool step = CanRedo();
    const BoardTouched touched = history_.Redo(CharItems);
    if (step && !touched.Any())
        SetStatus(QStringLiteral("やり直せません: その後にほかの人が同じところを変えています"));
    SendTaken(touched);
}

void TFormBoard::SendTaken(const BoardTouched& touched)
{
    keyMoveOpen_ = false;
    if (!touched.Any())
        return;
    DrawBoard();
    UpdateFocusRing();
    bool now = false;
    for (int i = 0; i < CharItemCount; ++i) {
        if (touched.positions.test(static_cast<std::size_t>(i)))
            now = pacer_.Position(i, Now()) || now;
        if (touched.names.test(static_cast<std::size_t>(i)))
            now = pacer_.Name(i, Now()) || now;
    }
    Paced(now);
}

void TFormBoard::Paced(bool sendNow)
{
    if (sendNow) {
        SendPendingLines();
        return;
    }
    if (pacer_.Pending())
        sendTimer_.start(static_cast<int>(std::max<std::int64_t>(0, pacer_.Deadline() - Now())));
}

void TFormBoard::EndKeyHold()
{
    if (!std::exchange(keyHeld_, false))
        return;
    // The quiet time counts from the release.
    if (pacer_.Pending())
        sendTimer_.start(static_cast<int>(BoardRestMs));
}

void TFormBoard::SendWhenRested()
{
    if (!keyHeld_)   // else the release starts the quiet time again
        SendPendingLines();
}

void TFormBoard::SendPendingLines()
{
    sendTimer_.stop();
    keyMoveOpen_ = false;
    const BoardOutgoing out = pacer_.Take(Now());
    std::vector<std::string> lines;
    if (out.all) {
        lines = WholeFormationLines(CharItems);
    } else {
        if (out.position >= 0)
            AppendPosition(out.position, lines.emplace_back(), true);
        if (out.name >= 0)
            lines.push_back(NameLines(CharItems, out.name, out.name).front());
    }
    if (nRoomNo < 0)
        return;   // bound to no room: no one to tell
    notSent_.clear();
    for (const std::string& line : lines) {
        emit LineReady(nRoomNo, line);
        if (!notSent_.isEmpty())
            break;
    }
    if (notSent_.isEmpty())
        return;
    // No echo will draw the change: the picture shows the table as it is.
    DrawBoard();
    UpdateFocusRing();
    SetStatus(notSent_);
}

void TFormBoard::LineNotSent(const QString& Why)
{
    notSent_ = Why.isEmpty() ? QStringLiteral("送信していません") : Why;
}

void TFormBoard::ShowStatus(const std::string& Speaker, const BoardItemsResult& items)
{
    QString what;
    if (items.markers.all()) {
        what = QStringLiteral("フォーメーションを送信");
    } else if (items.markers.count() > 1) {
        QStringList letters;
        for (int i = 0; i < CharItemCount; ++i)
            if (items.markers.test(static_cast<std::size_t>(i)))
                letters << LetterOf(i);
        what = letters.join(QStringLiteral(", "))
             + (items.positions ? QStringLiteral(" を移動") : QStringLiteral(" の名前を変更"));
    } else {
        const CharItem& item = CharItems[items.firstItem];
        const QString letter = LetterOf(items.firstItem);
        what = items.positions ? QStringLiteral("%1 を (%2, %3) へ").arg(letter).arg(item.nX).arg(item.nY)
                               : QStringLiteral("%1 を「%2」に").arg(letter, FromSjis(item.Name));
    }
    SetStatus(Speaker.empty() ? what : FromSjis(Speaker) + QStringLiteral(": ") + what);
}

void TFormBoard::SetStatus(QString text)
{
    // A peer's name is shown as the characters it is: a control character
    // would break the one line, and markup is never read as markup.
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    statusText_ = text;
    LabelStatus->setToolTip(QStringLiteral("<p style=\"white-space:pre-wrap\">%1</p>").arg(text.toHtmlEscaped()));
    LabelStatus->setText(LabelStatus->fontMetrics().elidedText(text, Qt::ElideMiddle, LabelStatus->width()));
}

QString TFormBoard::StatusText() const { return statusText_; }
