#pragma once
// The room password dialog: asks for the password of a protected room.

#include "ui_Unitpassword.h"

#include <QDialog>

#include <string>

class TFormPassword : public QDialog, public Ui::TFormPassword {
    Q_OBJECT
public:
    explicit TFormPassword(QWidget* parent = nullptr);

    // Opens with an empty field; on OK writes the password (CP932, never
    // empty) and returns true, otherwise leaves it untouched.
    bool Execute(std::string& password);

public slots:
    void FormShow();
    void EditPasswordChange();
    void ButtonOkClick();
    void ButtonCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
};

extern TFormPassword* FormPassword;
