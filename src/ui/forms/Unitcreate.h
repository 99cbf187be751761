#pragma once
// The room creation dialog: name and optional password of a new room.

#include "ui_Unitcreate.h"

#include <QDialog>

#include <string>

class TFormCreateRoom : public QDialog, public Ui::TFormCreateRoom {
    Q_OBJECT
public:
    explicit TFormCreateRoom(QWidget* parent = nullptr);

    // Opens with empty fields; on OK writes the room's name and password
    // (CP932, the password possibly empty) and returns true, otherwise leaves
    // both untouched.
    bool Execute(std::string& name, std::string& password);

public slots:
    void FormShow();
    void EditNameChange();
    void ButtonOkClick();
    void ButtonCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
};

extern TFormCreateRoom* FormCreateRoom;
