#include "Unitpassword.h"

#include "DialogFrame.h"
#include "ByteLimit.h"
#include "MessageBoxes.h"
#include "SjisText.h"
#include "TextRules.h"
#include "WindowStacking.h"

#include <QFont>

TFormPassword* FormPassword = nullptr;

namespace {
constexpr int MaxPasswordBytes = 8;
}  // namespace

TFormPassword::TFormPassword(QWidget* parent) : QDialog(parent)
{
    setupUi(this);
    SetUpDialogFrame(*this);
    Label1->adjustSize();

    LimitBytes(EditPassword, MaxPasswordBytes);
    connect(EditPassword, &QLineEdit::textChanged, this, &TFormPassword::EditPasswordChange);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormPassword::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormPassword::ButtonCancelClick);
    EditPasswordChange();
}

bool TFormPassword::Execute(std::string& password)
{
    EditPassword->clear();
    KeepAboveOnTopWindows(*this);
    if (exec() != QDialog::Accepted)
        return false;
    password = ToSjis(EditPassword->text());
    return true;
}

void TFormPassword::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormPassword::FormShow()
{
    EditPassword->setFocus();
}

void TFormPassword::EditPasswordChange()
{
    ButtonOk->setEnabled(!EditPassword->text().isEmpty());
}

void TFormPassword::ButtonOkClick()
{
    if (!IsValidPassword(ToSjis(EditPassword->text()))) {
        ShowErrorBox(QStringLiteral("パスワードには英数字のみ指定可能です"), this);
        return;
    }
    accept();
}

void TFormPassword::ButtonCancelClick()
{
    reject();
}
