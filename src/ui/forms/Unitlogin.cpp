#include "Unitlogin.h"

#include "DialogFrame.h"
#include "ByteLimit.h"
#include "MessageBoxes.h"
#include "SjisText.h"
#include "TextRules.h"
#include "WindowStacking.h"

#include <QFont>

TFormLogin* FormLogin = nullptr;

namespace {
constexpr int MaxNameBytes = 26;
}  // namespace

TFormLogin::TFormLogin(QWidget* parent) : QDialog(parent)
{
    setupUi(this);
    SetUpDialogFrame(*this);
    LabelName->adjustSize();

    LimitBytes(EditName, MaxNameBytes);
    connect(EditName, &QLineEdit::textChanged, this, &TFormLogin::EditNameChange);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormLogin::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormLogin::ButtonCancelClick);
    EditNameChange();
}

bool TFormLogin::Execute(std::string& name)
{
    OfferedName = name;
    OfferedText = FromSjis(name);
    EditName->setText(OfferedText);
    KeepAboveOnTopWindows(*this);
    const bool confirmed = exec() == QDialog::Accepted;
    if (confirmed)
        name = TypedName();
    return confirmed;
}

std::string TFormLogin::TypedName() const
{
    const QString text = EditName->text();
    return text == OfferedText ? OfferedName : ToSjis(text);
}

void TFormLogin::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormLogin::FormShow()
{
    EditName->setFocus();
    EditName->selectAll();
}

void TFormLogin::EditNameChange()
{
    ButtonOk->setEnabled(!EditName->text().isEmpty());
}

void TFormLogin::ButtonOkClick()
{
    if (!IsValidName(TypedName())) {
        ShowErrorBox(QStringLiteral("ユーザ名には空白や記号は使えません"), this);
        return;
    }
    accept();
}

void TFormLogin::ButtonCancelClick()
{
    reject();
}
