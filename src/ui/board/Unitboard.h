#pragma once
// The formation board: a pitch with the 23 markers of CharItems, bound to one
// chat room. Moves and renames made here are stored and handed out as board
// lines for that room (LineReady); they reach the screen when the room echoes
// the line back, or at once when the line could not be sent.

#include "BoardHistory.h"
#include "BoardLines.h"
#include "BoardPacer.h"
#include "FormationFile.h"
#include "Formations.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>

class QInputDialog;
class QMessageBox;
class QMenu;

// ImageGround: shows the board's current picture at its own size and reports
// mouse events in picture pixels.
class TBoardImage : public QWidget {
    Q_OBJECT
public:
    explicit TBoardImage(QWidget* parent = nullptr);

    // The picture as it is now; drawn first if it was marked stale.
    const QImage& Picture() const;
    void SetPicture(QImage picture);
    // Set once: what draws the picture anew.
    void SetRenderer(std::function<QImage()> render) { render_ = std::move(render); }
    // Marks the picture stale: drawn when next needed, and on screen at most
    // once a frame. Hidden, nothing is drawn until it shows or is read.
    void Invalidate();
    // The marker chosen from the keyboard gets a ring while the pitch has the focus.
    void SetFocusRing(QPoint centre, int radius);
    void ClearFocusRing();

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
    mutable QImage picture_;
    mutable bool stale_ = false;
    std::function<QImage()> render_;
    QTimer frame_;
    QPoint ringCentre_;
    int ringRadius_ = 0;   // none while 0
};

// The generated form needs TBoardImage complete, and names this header for it.
#include "ui_Unitboard.h"

class TFormBoard : public QWidget, public Ui::TFormBoard {
    Q_OBJECT
public:
    explicit TFormBoard(QWidget* parent = nullptr);

    void InitBoard();
    // Redraws the pitch for a screen of this density; positions stay in pitch pixels.
    void UsePixelRatio(qreal devicePixelRatio);
    void DrawBoard();
    // DrawBoard when the picture is next needed: for lines from the room, which
    // may come far faster than frames.
    void DrawBoardSoon() { ImageGround->Invalidate(); }
    void DrawChars(QPainter& Canvas);
    int FindCharAt(int X, int Y) const;

    // Does nothing while the board is on screen. RoomName is CP932.
    void ShowBoard(int nRoom, const std::string& RoomName);
    // The name of the room the board is bound to: a number freed by that room
    // and taken by another is not the board's room.
    const std::string& BoundRoomName() const { return boundRoomName_; }

    // True for every board line, whatever its room; redraws only when the line
    // changed the board. Text is NUL-terminated CP932, nullptr counting as empty.
    // Speaker (CP932) is who sent it, for the status line under the pitch.
    bool ParseTalk(int nRoom, const char* Text, const std::string& Speaker = {});

    void AppendPosition(int nItem, std::string& Text, bool bPrefix) const;
    void AppendAllPositions(std::string& Text) const;
    void AppendName(int nItem, std::string& Text, bool bPrefix) const;
    void AppendAllNames(std::string& Text) const;

    // --- formations (UnitboardFormations.cpp) ---
    // Reads the user's kept formations; a damaged file is told once, when the
    // formation menu first opens.
    void UseFormationFile(const std::string& Path);
    const FormationStore* Formations() const { return formationStore_.get(); }
    // Loading sets the board and, once it is bound to a room, sends the whole
    // formation as ButtonAll does. Loads can be undone.
    void LoadBuiltInFormation(int nFormation, BoardSide Side);
    void LoadSavedFormation(const std::string& Title);   // CP932
    // The board's own two-line copy text from the clipboard; false when it holds none.
    bool PasteFormation();
    // Keeps the board under Title (typed text); asks before replacing a kept
    // formation. False, with a message, when it cannot or the user says no.
    bool SaveFormation(const QString& Title);
    bool DeleteFormation(const std::string& Title);   // CP932
    void FormationMenuShow();
    // Tells once what could not be read from the formation file (when the board first shows).
    void TellFormationTrouble();

    // --- pictures ---
    // The pitch with its markers and names at the screen's pixel density.
    QImage BoardPicture() const { return ImageGround->Picture(); }
    void CopyPicture();
    bool SavePicture(const QString& Path);
    void SavePictureClick();

    // --- keyboard, undo, the rate rule (UnitboardKeys.cpp) ---
    void Undo();
    void Redo();
    bool CanUndo() const { return history_.CanUndo(); }
    bool CanRedo() const { return history_.CanRedo(); }
    // Sends now what the rate rule holds back.
    void SendPendingLines();
    bool LinesPending() const { return pacer_.Pending(); }
    int FocusItem() const { return nFocusItem_; }
    void SetFocusItem(int nItem);   // -1: none
    // "B 1番 (50, 10)": letter, name, position, for screen readers.
    QString MarkerAccessibleName(int nItem) const;
    QString StatusText() const;

    QMenu* MenuFormation = nullptr;
    QMenu* MenuPicture = nullptr;
    QInputDialog* TitleDialog = nullptr;   // asks the title of a formation to keep
    QMessageBox* ReplaceQuestion = nullptr;   // asks before a kept formation is replaced

    int nRoomNo = -1;
    QImage GroundPicture;   // the clean pitch every redraw starts from
    int nDragItem = -1;
    QPoint DragStart;

signals:
    // A board line for the room the board is bound to, ready to go out as it is
    // (within the chat line's 200 bytes). A whole formation is several of them.
    void LineReady(int nRoom, const std::string& Text);
    // The window hides after it; it is never destroyed.
    void Closed();

public slots:
    // The line just handed out could not go out; Why says so on the status line.
    void LineNotSent(const QString& Why);

    void ImageGroundMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void ImageGroundMouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
    void ImageGroundMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void ButtonAllClick();
    void ButtonCopyClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void onScreenChanged();

private:
    QImage RenderPicture();
    void EndDrag();
    void PlaceOverOwner();
    void SetUpMenus();
    void RenameChar(int nItem);
    bool KeyOnPitch(QKeyEvent* event);
    void MoveByKeys(int dx, int dy);
    void EndKeyHold();
    void SendWhenRested();   // the rest timer
    void UpdateFocusRing();
    void LoadFormation(const CharItemTable& before);
    void Paced(bool sendNow);
    void SendTaken(const BoardTouched& touched);
    std::int64_t Now() const { return clock_.elapsed(); }
    void ShowStatus(const std::string& Speaker, const BoardItemsResult& items);
    void SetStatus(QString text);

    std::string boundRoomName_;   // CP932
    bool placed_ = false;
    int nFocusItem_ = -1;
    bool keyMoveOpen_ = false;   // keyboard steps of one marker gather into one undo step
    bool keyHeld_ = false;       // an arrow key is down: its line waits for the release
    BoardHistory history_;
    BoardPacer pacer_;
    QTimer sendTimer_;
    QElapsedTimer clock_;
    std::unique_ptr<FormationStore> formationStore_;
    // The formation menu's submenus, made once: clear() leaves a submenu behind
    // as a child of the menu, so making them at each opening would pile them up.
    std::array<QMenu*, 2> sideMenus_{};
    QMenu* removeMenu_ = nullptr;
    // Undo and redo: the window's keys and the formation menu's entries, one
    // action each (two actions on one key would make the key do nothing).
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    std::string formationTrouble_;   // told once, at the first opening of the menu
    QString statusText_;   // the last board change, whole; the label may show it shortened
    QString notSent_;      // why the line being handed out could not go out
};

extern TFormBoard* FormBoard;
