#pragma once
// The formation board: a pitch with the 23 markers of CharItems, bound to one
// chat room. Moves and renames made here are only stored and reported through
// the events; they reach the screen when the room echoes the board line back.

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <functional>
#include <string>

// ImageGround: shows the board's current picture at its own size and reports
// mouse events in picture pixels.
class TBoardImage : public QWidget {
    Q_OBJECT
public:
    explicit TBoardImage(QWidget* parent = nullptr);

    const QImage& Picture() const { return picture_; }
    void SetPicture(QImage picture);

signals:
    void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void MouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
    void MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
};

// The generated form needs TBoardImage complete, and names this header for it.
#include "ui_Unitboard.h"

class TFormBoard : public QWidget, public Ui::TFormBoard {
    Q_OBJECT
public:
    using TCharEvent = std::function<void(QObject* Sender, int nItem)>;
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    explicit TFormBoard(QWidget* parent = nullptr);

    void InitBoard();
    // Redraws the pitch for a screen of this density; positions stay in pitch pixels.
    void UsePixelRatio(qreal devicePixelRatio);
    void DrawBoard();
    void DrawChars(QPainter& Canvas);
    int FindCharAt(int X, int Y) const;

    // Does nothing while the board is on screen. RoomName is CP932.
    void ShowBoard(int nRoom, const std::string& RoomName);

    // True for every board line, whatever its room; redraws only when the line
    // changed the board. Text is NUL-terminated CP932, nullptr counting as empty.
    bool ParseTalk(int nRoom, const char* Text);

    void AppendPosition(int nItem, std::string& Text, bool bPrefix) const;
    void AppendAllPositions(std::string& Text) const;
    void AppendName(int nItem, std::string& Text, bool bPrefix) const;
    void AppendAllNames(std::string& Text) const;

    int nRoomNo = -1;
    QImage GroundPicture;   // the clean pitch every redraw starts from
    int nDragItem = -1;
    QPoint DragStart;

    // Unassigned events are skipped.
    TCharEvent OnMoveChar;
    TCharEvent OnNameChar;
    TNotifyEvent OnAllChar;
    TNotifyEvent OnClose;   // the window hides after it; it is never destroyed

public slots:
    void ImageGroundMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void ImageGroundMouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
    void ImageGroundMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void ButtonAllClick();
    void ButtonCopyClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void onScreenChanged();

private:
    void EndDrag();
    void PlaceOverOwner();

    bool placed_ = false;
};

extern TFormBoard* FormBoard;
