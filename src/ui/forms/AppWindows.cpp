#include "AppWindows.h"

#include "InputMethodGuard.h"

#include "Unitboard.h"
#include "Unitboardname.h"
#include "Unitcreate.h"
#include "Unitlogin.h"
#include "Unitmain.h"
#include "Unitoption.h"
#include "Unitpassword.h"
#include "Unitsetting.h"
#include "Unitupdate.h"

std::unique_ptr<TFormMain> CreateApplicationWindows(const std::string& settingsPath,
                                                    const std::string& defaultLogFolder)
{
    // Every text field of every window, whenever it is made.
    InputMethodGuard::Install();
    auto mainWindow = std::make_unique<TFormMain>(settingsPath, defaultLogFolder);
    FormMain = mainWindow.get();
    FormLogin = new TFormLogin(FormMain);
    FormCreateRoom = new TFormCreateRoom(FormMain);
    FormPassword = new TFormPassword(FormMain);
    FormSetting = new TFormSetting(FormMain);
    FormUpdate = new TFormUpdate(FormMain);
    FormBoard = new TFormBoard(FormMain);
    FormBoard->UseFormationFile(FormationFilePath(settingsPath));
    // Bound once: the board's lines go out into its own room.
    QObject::connect(FormBoard, &TFormBoard::LineReady, FormMain, &TFormMain::SendBoardLine);
    QObject::connect(FormMain, &TFormMain::BoardLineRefused, FormBoard, &TFormBoard::LineNotSent);
    QObject::connect(FormBoard, &TFormBoard::Closed, FormMain, &TFormMain::FormBoardClose);
    // Ctrl+O connects while the board is the active window too.
    FormBoard->addAction(FormMain->OpenMenu);
    FormBoardName = new TFormBoardName(FormMain);
    FormOption = new TFormOption(FormMain);
    return mainWindow;
}

void ForgetApplicationWindows()
{
    FormMain = nullptr;
    FormLogin = nullptr;
    FormCreateRoom = nullptr;
    FormPassword = nullptr;
    FormSetting = nullptr;
    FormUpdate = nullptr;
    FormBoard = nullptr;
    FormBoardName = nullptr;
    FormOption = nullptr;
}
