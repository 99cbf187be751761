#include "Unitboardname.h"

#include "BoardName.h"
#include "ByteLimit.h"
#include "MessageBoxes.h"
#include "SjisText.h"
#include "WindowStacking.h"

#include <QFont>

TFormBoardName* FormBoardName = nullptr;

namespace {
constexpr int MaxBoardNameBytes = 6;
}

TFormBoardName::TFormBoardName(QWidget* parent) : QDialog(parent)
{
    setupUi(this);
    QFont formFont = font();
    formFont.setPixelSize(12);
    setFont(formFont);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    Label1->adjustSize();

    LimitBytes(EditName, MaxBoardNameBytes);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormBoardName::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormBoardName::ButtonCancelClick);
}

bool TFormBoardName::Execute(std::string& Text)
{
    EditName->setText(FromSjis(Text));
    const QString offered = EditName->text();
    KeepAboveOnTopWindows(*this);
    const int result = exec();
    // Centred over the owner the first time only; later it opens where it was left.
    setAttribute(Qt::WA_Moved);
    if (result != QDialog::Accepted)
        return false;
    // A name left as it was goes back byte for byte: a peer's bytes need not
    // be valid CP932, nor come back the same through the text shown.
    if (EditName->text() != offered)
        Text = ToSjis(EditName->text());
    return true;
}

void TFormBoardName::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormBoardName::FormShow()
{
    EditName->setFocus();
    EditName->selectAll();
}

void TFormBoardName::ButtonOkClick()
{
    // A blank or control byte would end the name early on every receiver and
    // rename other markers with the rest of it.
    if (!IsValidBoardName(ToSjis(EditName->text()))) {
        ShowErrorBox(QStringLiteral("選手名には空白や制御文字は使えません"), this);
        return;
    }
    accept();
}

void TFormBoardName::ButtonCancelClick()
{
    reject();
}
