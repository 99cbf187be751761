#pragma once
// The connect dialog: asks for the chat name before connecting.

#include "ui_Unitlogin.h"

#include <QDialog>
#include <QString>

#include <string>

class TFormLogin : public QDialog, public Ui::TFormLogin {
    Q_OBJECT
public:
    explicit TFormLogin(QWidget* parent = nullptr);

    // Offers `name` (CP932); on OK replaces it with the confirmed name and
    // returns true, otherwise leaves it untouched.
    bool Execute(std::string& name);

public slots:
    void FormShow();
    void EditNameChange();
    void ButtonOkClick();
    void ButtonCancelClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The name in the field as CP932. A name confirmed unchanged keeps the
    // bytes it was offered with, even those that do not survive decoding.
    std::string TypedName() const;

    std::string OfferedName;
    QString OfferedText;
};

extern TFormLogin* FormLogin;
