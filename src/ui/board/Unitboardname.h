#pragma once
// The name dialog of the formation board: one marker name of at most 6 bytes.

#include "ui_Unitboardname.h"

#include <QDialog>

#include <string>

class TFormBoardName : public QDialog, public Ui::TFormBoardName {
    Q_OBJECT
public:
    explicit TFormBoardName(QWidget* parent = nullptr);

    // Offers `Text` (CP932); on OK replaces it with the confirmed name, which may
    // be empty, and returns true. Otherwise leaves it untouched.
    bool Execute(std::string& Text);

public slots:
    void FormShow();
    void ButtonOkClick();
    void ButtonCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
};

extern TFormBoardName* FormBoardName;
