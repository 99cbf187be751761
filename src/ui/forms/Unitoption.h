#pragma once
// The options dialog: timestamps, mention notices and extra highlight words,
// logging and its folder, automatic reconnection, the font of the logs and the
// input, staying in the tray.

#include "ui_Unitoption.h"

#include "Options.h"

#include <QDialog>

class TFormOption : public QDialog, public Ui::TFormOption {
    Q_OBJECT
public:
    explicit TFormOption(QWidget* parent = nullptr);

    // Shows `options`; on OK writes what the user set back into it and returns
    // true, otherwise leaves it untouched.
    bool Execute(OptionsRecord& options);
    // Whether the desktop has a tray: without one the tray option is greyed.
    bool TrayAvailable = true;

public slots:
    void FormShow();
    void CheckLogEnabledClick();
    void ButtonLogFolderClick();
    void ButtonOkClick();
    void ButtonCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
};

extern TFormOption* FormOption;
