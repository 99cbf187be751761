#include "Unitcreate.h"

#include "DialogFrame.h"
#include "ByteLimit.h"
#include "MessageBoxes.h"
#include "SjisText.h"
#include "TextRules.h"
#include "WindowStacking.h"

#include <QFont>

TFormCreateRoom* FormCreateRoom = nullptr;

namespace {
constexpr int MaxRoomNameBytes = 30;
constexpr int MaxPasswordBytes = 8;
}  // namespace

TFormCreateRoom::TFormCreateRoom(QWidget* parent) : QDialog(parent)
{
    setupUi(this);
    SetUpDialogFrame(*this);
    Label1->adjustSize();
    Label2->adjustSize();

    LimitBytes(EditName, MaxRoomNameBytes);
    LimitBytes(EditPassword, MaxPasswordBytes);
    connect(EditName, &QLineEdit::textChanged, this, &TFormCreateRoom::EditNameChange);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormCreateRoom::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormCreateRoom::ButtonCancelClick);
    EditNameChange();
}

bool TFormCreateRoom::Execute(std::string& name, std::string& password)
{
    EditName->clear();
    EditPassword->clear();
    KeepAboveOnTopWindows(*this);
    if (exec() != QDialog::Accepted)
        return false;
    name = ToSjis(EditName->text());
    password = ToSjis(EditPassword->text());
    return true;
}

void TFormCreateRoom::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormCreateRoom::FormShow()
{
    EditName->setFocus();
}

void TFormCreateRoom::EditNameChange()
{
    ButtonOk->setEnabled(!EditName->text().isEmpty());
}

void TFormCreateRoom::ButtonOkClick()
{
    // The name is judged first: with both broken, only its box appears.
    if (!IsValidName(ToSjis(EditName->text()))) {
        ShowErrorBox(QStringLiteral("部屋名には空白や記号は使えません"), this);
        return;
    }
    if (!IsValidPassword(ToSjis(EditPassword->text()))) {
        ShowErrorBox(QStringLiteral("パスワードには英数字のみ指定可能です"), this);
        return;
    }
    accept();
}

void TFormCreateRoom::ButtonCancelClick()
{
    reject();
}
