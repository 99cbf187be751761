#include "Unitupdate.h"

#include "DialogFrame.h"
#include "ShellOpen.h"
#include "SjisText.h"
#include "WindowStacking.h"

#include <QFont>
#include <QMouseEvent>

#include <algorithm>

TFormUpdate* FormUpdate = nullptr;

TFormUpdate::TFormUpdate(QWidget* parent) : QDialog(parent)
{
    setupUi(this);
    SetUpDialogFrame(*this);
    // The notice is laid out for a narrow Japanese font; where the font runs
    // wider, the text takes more lines, so let it use the room above the group.
    const int fittingHeight = Label1->heightForWidth(Label1->width());
    const int roomAboveGroup = GroupBox1->y() - Label1->y();
    Label1->resize(Label1->width(), std::clamp(fittingHeight, Label1->height(), roomAboveGroup));
    LabelURL->adjustSize();

    LabelURL->installEventFilter(this);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormUpdate::ButtonOkClick);
}

void TFormUpdate::ShowNotice(const std::string& urlDownload)
{
    LabelURL->setText(FromSjis(urlDownload));
    LabelURL->adjustSize();
    KeepAboveOnTopWindows(*this);
    exec();
}

bool TFormUpdate::eventFilter(QObject* watched, QEvent* event)
{
    // A click is a left-button release over the label that was pressed.
    if (watched == LabelURL && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && LabelURL->rect().contains(mouse->position().toPoint())) {
            LabelURLClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormUpdate::LabelURLClick()
{
    ShellOpen(LabelURL->text());
}

void TFormUpdate::ButtonOkClick()
{
    accept();
}
