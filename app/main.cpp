// KVチャット: creates the program's windows in their fixed order and runs the message loop.
#include "AppWindows.h"
#include "FontPrewarm.h"
#include "MessageBoxes.h"
#include "Unitmain.h"

#include <QApplication>
#include <QIcon>

#include <exception>

int main(int argc, char* argv[])
{
    // The forms and pictures live in a static library; make sure they are linked in.
    Q_INIT_RESOURCE(kvchat);
    FontConfigPrewarm fonts;
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kvchat.png")));
    QApplication::setApplicationName(QStringLiteral("KVチャット"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kvchat"));
    InstallFontSubstitutions();
    QApplication::setFont(FormFont());
    fonts.Wait();
    try {
        auto mainWindow = CreateApplicationWindows();
        mainWindow->show();
        app.exec();
        // Destroying the main window saves the settings.
        mainWindow.reset();
        ForgetApplicationWindows();
    } catch (const std::exception& e) {
        ShowStandardError(QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
