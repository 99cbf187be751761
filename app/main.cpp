// KVチャット: creates the program's windows in their fixed order and runs the message loop.
#include "AppLocations.h"
#include "AppWindows.h"
#include "FontPrewarm.h"
#include "MessageBoxes.h"
#include "QuitOnSignal.h"
#include "Unitmain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>

#include <cstdio>
#include <exception>

namespace {

// What the command line asked for, read before any window system is needed,
// so --help and --version work on a terminal without a display.
struct CommandLine {
    int exitCode = -1;       // >= 0: print nothing more and end with this status
    QString settingsFile;
};

CommandLine ReadCommandLine(int argc, char* argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    // Qt's own options (-platform xcb, -style fusion) stay single words.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral("KVチャット: Kickvale のプレイヤーのためのチャット"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption settings(QStringLiteral("settings"), QStringLiteral("この設定ファイルを使う"),
                                      QStringLiteral("FILE"));
    parser.addOption(settings);
    for (const char* qtOption : {"platform", "display", "style", "qwindowgeometry", "platformtheme"}) {
        QCommandLineOption option(QString::fromLatin1(qtOption), {}, QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    // No application object exists yet to name the program in the usage line.
    const QString usage = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("kvchat"));
    CommandLine result;
    const bool parsed = parser.parse(args);
    const bool noSettingsFile = parser.isSet(settings) && parser.value(settings).isEmpty();
    if (!parsed || !parser.positionalArguments().isEmpty() || noSettingsFile) {
        QString error = parser.errorText();
        if (parsed)
            error = parser.positionalArguments().isEmpty()
                ? QStringLiteral("--settings needs a file name.")
                : QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
        std::fprintf(stderr, "kvchat: %s\n\n%s", qPrintable(error), qPrintable(usage));
        result.exitCode = 2;
    } else if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(usage), stdout);
        result.exitCode = 0;
    } else if (parser.isSet(version)) {
        std::printf("kvchat %s\n", KV_VERSION);
        result.exitCode = 0;
    } else if (parser.isSet(settings)) {
        result.settingsFile = QFileInfo(parser.value(settings)).absoluteFilePath();
    }
    return result;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("kvchat"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KV_VERSION));
    const CommandLine command = ReadCommandLine(argc, argv);
    if (command.exitCode >= 0)
        return command.exitCode;

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
    QuitOnSignal quitOnSignal;   // a session's logout still saves the settings
    try {
        const AppLocations locations = ChooseAppLocations(QCoreApplication::applicationFilePath().toStdString(),
                                                          command.settingsFile.toStdString(), ProcessEnvironment());
        if (const auto failure = PrepareSettingsFile(locations))
            ShowStandardError(QString::fromStdString(*failure));
        auto mainWindow = CreateApplicationWindows(locations.SettingsFile);
        mainWindow->LogFolder = locations.LogFolder;
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
