#pragma once
// The version-up notice: the server wants a newer program; shows where to
// download it, as a link that opens in the desktop's browser.

#include "ui_Unitupdate.h"

#include <QDialog>

#include <string>

class TFormUpdate : public QDialog, public Ui::TFormUpdate {
    Q_OBJECT
public:
    explicit TFormUpdate(QWidget* parent = nullptr);

    // Puts the download address (CP932) into LabelURL and shows the notice
    // modally until the user closes it.
    void ShowNotice(const std::string& urlDownload);

public slots:
    void LabelURLClick();
    void ButtonOkClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

extern TFormUpdate* FormUpdate;
