// KVチャット: creates the program's windows in their fixed order and runs the message loop.
#include "AppLocations.h"
#include "AppStart.h"
#include "AppWindows.h"
#include "FontPrewarm.h"
#include "MessageBoxes.h"
#include "QuitOnSignal.h"
#include "SingleInstance.h"
#include "Unitmain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QIcon>

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace {

// How long a second start waits for the running program to answer.
constexpr int RaiseTimeoutMs = 10000;

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption settings{QStringLiteral("settings"), QStringLiteral("この設定ファイルを使う"),
                                QStringLiteral("FILE")};
    Parser()
    {
        // -settings FILE as well as --settings FILE.
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.setApplicationDescription(QStringLiteral("KVチャット: Kickvale のプレイヤーのためのチャット"));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(settings);
    }
    QString Usage() const
    {
        // Named as the user calls it, not by the path it was started from.
        QString text = parser.helpText();
        const QString first = text.section(QLatin1Char('\n'), 0, 0);
        const qsizetype space = first.indexOf(QLatin1Char(' '));
        const qsizetype options = first.indexOf(QStringLiteral(" ["));
        if (space >= 0 && options > space)
            text.replace(space + 1, options - space - 1, QStringLiteral("kvchat"));
        return text;
    }
};

// --help, --help-all and --version answer before the toolkit starts, so they
// work on a terminal without a display. Returns the status to end with, or -1.
int AnswerWithoutDisplay(int argc, char* argv[])
{
    enum class Asked { Nothing, Help, HelpAll, Version } asked = Asked::Nothing;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0)
            break;
        // Single-dash words read as long options, as the parser below reads them.
        if (!std::strcmp(arg, "-h") || !std::strcmp(arg, "-?") || !std::strcmp(arg, "--help")
            || !std::strcmp(arg, "-help"))
            asked = Asked::Help;
        else if (!std::strcmp(arg, "--help-all") || !std::strcmp(arg, "-help-all"))
            asked = Asked::HelpAll;
        else if ((!std::strcmp(arg, "-v") || !std::strcmp(arg, "--version") || !std::strcmp(arg, "-version"))
                 && asked == Asked::Nothing)
            asked = Asked::Version;
    }
    switch (asked) {
    case Asked::Nothing:
        return -1;
    case Asked::Version:
        std::printf("kvchat %s\n", KV_VERSION);
        return 0;
    case Asked::Help:
        std::fputs(qPrintable(Parser().Usage()), stdout);
        return 0;
    case Asked::HelpAll: {
        // The toolkit lists its own options only once it runs; a display is not needed for that.
        char name[] = "kvchat";
        char platform[] = "-platform";
        char offscreen[] = "offscreen";
        char* args[] = {name, platform, offscreen, nullptr};
        int count = 3;
        QApplication app(count, args);
        Parser parser;
        parser.parser.process(QStringList{QStringLiteral("kvchat"), QStringLiteral("--help-all")});
        return 0;   // process() has printed and ended the program
    }
    }
    return -1;
}

// What is left of the command line once the toolkit has taken its own options
// (-platform, -style, -session, -reverse, -geometry, -name ...).
// Returns the settings file named (empty for none), or the status to end with.
std::variant<QString, int> ReadCommandLine(const QStringList& args)
{
    Parser p;
    const bool parsed = p.parser.parse(args);
    // "dir/", "dir/." and "dir/.." name a folder; the program would make it and then fail to read it.
    const QString named = p.parser.value(p.settings);
    const QString lastPart = named.section(QLatin1Char('/'), -1);
    const bool noSettingsFile = parsed && p.parser.isSet(p.settings)
        && (lastPart.isEmpty() || lastPart == QStringLiteral(".") || lastPart == QStringLiteral(".."));
    if (!parsed || !p.parser.positionalArguments().isEmpty() || noSettingsFile) {
        QString error = p.parser.errorText();
        if (parsed)
            error = p.parser.positionalArguments().isEmpty()
                ? QStringLiteral("--settings needs a file name.")
                : QStringLiteral("Unexpected argument '%1'.").arg(p.parser.positionalArguments().first());
        std::fprintf(stderr, "kvchat: %s\n\n%s", qPrintable(error), qPrintable(p.Usage()));
        return 2;
    }
    if (!p.parser.isSet(p.settings))
        return QString();
    return QFileInfo(p.parser.value(p.settings)).absoluteFilePath();
}

// The --settings value as the system gave it: bytes, not text, so a name that
// is not UTF-8 stays the file it names. The toolkit has taken its own options
// out of argv; the last --settings wins, as in the parser above.
std::string SettingsArgument(int argc, char* argv[])
{
    std::string value;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            break;
        if ((arg == "--settings" || arg == "-settings") && i + 1 < argc)
            value = argv[++i];
        else if (arg.starts_with("--settings="))
            value = arg.substr(std::strlen("--settings="));
        else if (arg.starts_with("-settings="))
            value = arg.substr(std::strlen("-settings="));
    }
    if (value.empty() || value.front() == '/')
        return std::filesystem::path(value).lexically_normal().string();
    return (std::filesystem::current_path() / value).lexically_normal().string();
}

// The executable's own path in bytes (the toolkit's would be decoded text).
std::string ExecutablePath()
{
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        return path.string();
    return QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("kvchat"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KV_VERSION));
    if (const int status = AnswerWithoutDisplay(argc, argv); status >= 0)
        return status;

    // The forms and pictures live in a static library; make sure they are linked in.
    Q_INIT_RESOURCE(kvchat);
    FontConfigPrewarm fonts;
    QApplication app(argc, argv);   // takes the toolkit's own options out of argv
    QuitOnSignal quitOnSignal;      // a session's logout still saves the settings
    const auto command = ReadCommandLine(QCoreApplication::arguments());
    if (const int* status = std::get_if<int>(&command))
        return *status;
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kvchat.png")));
    QApplication::setApplicationName(QStringLiteral("KVチャット"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kvchat"));
    InstallFontSubstitutions();
    QApplication::setFont(FormFont());
    fonts.Wait();
    try {
        const std::string settings = std::get<QString>(command).isEmpty() ? std::string() : SettingsArgument(argc, argv);
        const AppLocations locations = ChooseAppLocations(ExecutablePath(), settings, ProcessEnvironment());
        // A second start on the same settings file hands over to the first.
        SingleInstance instance(locations.SettingsFile);
        if (instance.Result() == SingleInstance::State::Refused) {
            // Running unchecked could let two programs overwrite each other's settings.
            std::fprintf(stderr, "kvchat: %s\n", qPrintable(instance.Problem()));
            ShowStandardError(instance.Problem());
            return 1;
        }
        if (instance.OtherRuns()) {
            if (instance.AskOtherToRaise(RaiseTimeoutMs, [&] { return quitOnSignal.Requested(); })
                || quitOnSignal.Requested())
                return 0;
            std::fprintf(stderr, "kvchat: %s は別の kvchat が使っていますが、応答がありません\n",
                         locations.SettingsFile.c_str());
            return 1;
        }
        auto mainWindow = OpenApplicationWindows(locations, [&] { return quitOnSignal.Requested(); });
        if (mainWindow && !quitOnSignal.Requested()) {
            QObject::connect(&instance, &SingleInstance::RaiseRequested, mainWindow.get(),
                             [window = mainWindow.get()](const QString& token) { BringToFront(window, token); });
            mainWindow->show();
            app.exec();
        }
        // Destroying the main window saves the settings.
        mainWindow.reset();
        ForgetApplicationWindows();
    } catch (const std::exception& e) {
        ShowStandardError(QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
