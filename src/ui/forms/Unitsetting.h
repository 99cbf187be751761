#pragma once
// The start-up rooms dialog: shows the rooms entered after each connection
// and lets the user remove some of them.

#include "ui_Unitsetting.h"

#include "StartRooms.h"

#include <QDialog>

class TFormSetting : public QDialog, public Ui::TFormSetting {
    Q_OBJECT
public:
    // Each item of ListRoom carries its room's CP932 name and password bytes.
    static constexpr int NameRole = Qt::UserRole;
    static constexpr int PasswordRole = Qt::UserRole + 1;

    explicit TFormSetting(QWidget* parent = nullptr);

    // Shows `list`. Closing with "閉じる", Enter or Esc rebuilds it from the
    // rooms left and returns true; the close box leaves it as it was and
    // returns false.
    bool Execute(TStartRoomList& list);

public slots:
    void FormShow();
    void ButtonDeleteClick();
    void ButtonExitClick();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    TStartRoomList* EditedList = nullptr;
};

extern TFormSetting* FormSetting;
