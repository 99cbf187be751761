#include "DialogFrame.h"

#include <QDialog>

void SetUpDialogFrame(QDialog& form)
{
    QFont formFont = form.font();
    formFont.setPixelSize(12);
    form.setFont(formFont);
    form.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                        | Qt::MSWindowsFixedSizeDialogHint);
    form.setFixedSize(form.size());
}
